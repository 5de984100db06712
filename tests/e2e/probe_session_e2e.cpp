// Sessions against the probe simulator: the program's COM2 is the simulator's pseudo-terminal,
// and what the simulator sends must end up on the readouts and in the working files.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QAction>

using sylvane::app::frmSylvane;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProbeSimProcess;
using sylvane::testing::ProgramFolder;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;

namespace {

constexpr int kWait = 30000;

struct Session {
    ProgramFolder folder;
    frmSylvane w{{folder.path(), {}}};
    MessageRecorder messages;

    Session() {
        w.LblParams[5]->setCaption(QStringLiteral("2"));
        w.awaitingStartValue = true;
        w.layoutReason = 1;
    }
    QByteArray file(const char* name) const { return readFileBytes(folder.file(name)); }
    bool running() const { return !w.mnuStart->isEnabled(); }
};

QByteArray repeated(const QByteArray& item, int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) out += item;
    return out;
}

} // namespace

TEST(ProbeSession, SteadyProbeIsRecordedLatchedAndShown) {
    Session s;
    ProbeSimProcess sim(s.folder.path(), 2, {"--adc", "1500", "--rate", "53", "--count", "40"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();

    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.messages.prompts().join("|").toStdString();
    // Forty frames: five fill the window, the first mean finds the graph's labels changed
    // and is not recorded (no reference yet), 34 are recorded.
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 35; }, kWait))
        << s.w.recordNumber << "\n"
        << sim.log().toStdString();
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1500");
    EXPECT_EQ(s.w.LblShnStf[3]->caption(), "813kOhms");
    EXPECT_EQ(s.w.LblShnStf[5]->caption(), "1.22 uS");
    EXPECT_EQ(s.w.LblShnStf[1]->caption(), "0 %");
    EXPECT_EQ(s.w.LblShnStf[7]->caption(), "1500");
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "Probe OK");
    EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(), "Battery OK");

    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.tst"), repeated(QByteArray("\xDC\x05\x00\x00", 4), 34));
    EXPECT_EQ(s.file("tempdata.txt"), repeated("1500\r\n", 34));
    EXPECT_EQ(s.file("tempdata.hdr"), "\"MinADC\"\r\n\" 1500\"\r\n\"MaxADC\"\r\n\" 1500\"\r\n"
                                      "\"Place session comments here.\"\r\n");
    EXPECT_TRUE(s.messages.messages.empty());
}

TEST(ProbeSession, ProbeFaultsShowOnTheStatusLabelsUntilStop) {
    Session s;
    ProbeSimProcess sim(s.folder.path(), 2,
                        {"--adc", "2048", "--rate", "53", "--probe-error", "--battery-low"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    s.w.mnuStart_Click();
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber > 3; }, kWait));
    EXPECT_EQ(s.w.LblShnStf[3]->caption(), "469kOhms");
    EXPECT_EQ(s.w.LblShnStf[5]->caption(), "2.12 uS");
    EXPECT_EQ(s.w.LblShnStf[7]->backColor(), 0x008080FFu);
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "Probe error");
    EXPECT_EQ(s.w.LblShnStf[9]->backColor(), 0x008080FFu);
    EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(), "Need to replace Battery");
    // A probe error holds the colour level.
    s.w.targetColorLevel = 100;
    s.w.Timer1_Timer();
    EXPECT_EQ(s.w.colorLevel, 255.0f);
    s.w.mnuStop_Click();
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "");
    EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(), "");
}

TEST(ProbeSession, UnpluggedSimulatorEndsTheSessionWithItsReadingsOnDisk) {
    Session s;
    ProbeSimProcess sim(s.folder.path(), 2,
                        {"--adc", "1600", "--rate", "53", "--vanish-after", "1"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait)) << sim.log().toStdString();
    ASSERT_EQ(s.messages.messages.size(), 1u);
    EXPECT_TRUE(s.messages.messages[0].prompt.contains("COM2"));
    EXPECT_FALSE(s.w.MSComm1->isOpen());
    const int recorded = s.w.recordNumber - 1;
    EXPECT_GT(recorded, 10);
    EXPECT_EQ(s.file("tempdata.tst"), repeated(QByteArray("\x40\x06\x00\x00", 4), recorded));
    EXPECT_EQ(s.file("tempdata.txt"), repeated("1600\r\n", recorded));
    EXPECT_EQ(s.file("tempdata.hdr"), "\"MinADC\"\r\n\" 1600\"\r\n\"MaxADC\"\r\n\" 1600\"\r\n"
                                      "\"Place session comments here.\"\r\n");
}

SYLVANE_GTEST_QT_MAIN
