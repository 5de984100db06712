// What the line can hand the program, played by the probe simulator on COM2: the program must
// keep running and show and record exactly what the frames give.

#include "acquisition/serial_link.h"
#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QDialog>
#include <QFile>

#include <memory>

using namespace sylvane::testing;

namespace {

constexpr int kWait = 30000;

QStringList repeated(const QString& line, int count) {
    QStringList out;
    for (int i = 0; i < count; ++i) out << line;
    return out;
}

void setReconnectWait(const LiveSession& s, const char* seconds) {
    QFile ini(s.path("sylvane-extra.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QByteArray("ReconnectWaitSeconds=") + seconds + "\r\n");
}

void expectFiles(const LiveSession& s, const std::vector<int>& records, int minADC, int maxADC) {
    EXPECT_EQ(s.file("tempdata.tst"), tstOf(records));
    EXPECT_EQ(s.file("tempdata.txt"), txtOf(records));
    EXPECT_EQ(s.file("tempdata.hdr"), hdrOf(minADC, maxADC));
}

} // namespace

TEST(LineFaults, EdgeValuesStatusBitsStrayBytesAndCutFramesAreShownAndRecordedExactly) {
    struct Row {
        std::string name;
        QStringList lines;
        std::vector<int> records;
        int minADC, maxADC;
        bool probeError = false, batteryLow = false;
        bool levelHeld = false; // the colour level waits for a valid reading without a probe error
    };
    std::vector<Row> rows;
    // Six steady frames (the sixth is the first to pass the filter and, finding no reference
    // reading, is neither drawn nor recorded), the value, six steady frames. A value outside
    // 80..4000 that reaches the filter's window keeps the next five readings from being
    // recorded; 0 never reaches it; a jump is cut to 201 from the mean. The header's extremes
    // are the filter's, the unrecorded reading's included.
    const struct {
        int steady, value;
        std::vector<int> records;
        int minADC, maxADC;
    } edges[] = {
        {100, 79, {96, 100}, 96, 100},
        {100, 80, {96, 96, 96, 96, 96, 100, 100}, 96, 100},
        {3950, 4000, {3960, 3960, 3960, 3960, 3960, 3950, 3950}, 3950, 3960},
        {3950, 4001, {3960, 3950}, 3950, 3960},
        {3950, 4095, {3979, 3950}, 3950, 3979},
        {3950, 65535, {3990, 3950}, 3950, 3990},
        {1500, 0, {1500, 1500, 1500, 1500, 1500, 1500}, 1500, 1500},
    };
    for (const auto& e : edges)
        rows.push_back({"ADC " + std::to_string(e.value),
                        repeated(frameLine(e.steady), 6)
                            << frameLine(e.value) << repeated(frameLine(e.steady), 6),
                        e.records, e.minADC, e.maxADC});
    // Bit 2 valid, bit 0 probe error, bit 1 battery low; bits 3 to 7 mean nothing. The readouts
    // show each frame's bits before the filter decides on its reading.
    for (int status : {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8, 0xFC, 0xFF}) {
        const bool valid = status & 4;
        rows.push_back(
            {"status " + std::to_string(status),
             repeated(frameLine(2000), 6) << frameLine(2001, status) << frameLine(2002, status),
             valid ? std::vector<int>{2000, 2001} : std::vector<int>{}, 2000, valid ? 2001 : 2000,
             (status & 1) != 0, (status & 2) != 0, !valid || (status & 1) != 0});
    }
    // Two stray bytes shift every later read by two; a frame cut after its ADC value shifts
    // them again and spoils the two reads that hold it; a last stray byte ends on a whole read.
    rows.push_back({"stray bytes and a cut frame",
                    repeated(frameLine(1500), 6)
                        << "55 01" << repeated(frameLine(1500), 4) << "AA AA 01 00 DC 05"
                        << repeated(frameLine(1500), 4) << "00",
                    std::vector<int>(7, 1500), 1500, 1500});

    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        LiveSession s;
        ProbeSimProcess sim(
            s.folder, 2,
            {"--frames", ProbeSimProcess::framesFile(s.folder, r.lines), "--rate", "53"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        int events = 0;
        QObject::connect(s.w.MSComm1, &sylvane::acquisition::SerialLink::OnComm, [&] { ++events; });
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running()) << s.said();
        const int bytes = static_cast<int>(r.lines.join(' ').split(' ').size());
        ASSERT_TRUE(waitUntil([&] { return events == bytes / 9; }, kWait))
            << sim.log().toStdString();

        EXPECT_TRUE(s.running());
        EXPECT_EQ(s.w.engine.state().recordNumber, static_cast<int>(r.records.size()) + 1);
        EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), r.probeError ? "Probe error" : "Probe OK");
        EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(),
                  r.batteryLow ? "Need to replace Battery" : "Battery OK");
        EXPECT_EQ(s.w.LblShnStf[7]->backColor(), r.probeError ? 0x008080FFu : 0x0080FF80u);
        EXPECT_EQ(s.w.LblShnStf[9]->backColor(), r.batteryLow ? 0x008080FFu : 0x0080FF80u);
        const float level = s.w.engine.state().colorLevel;
        s.w.engine.state().targetColorLevel = level + 300;
        s.w.Timer1_Timer();
        EXPECT_EQ(s.w.engine.state().colorLevel == level, r.levelHeld);
        s.w.mnuStop_Click();
        expectFiles(s, r.records, r.minADC, r.maxADC);
        EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    }
}

TEST(LineFaults, APulledAdapterEndsTheSessionAndAPluggedOneStartsAgain) {
    LiveSession s;
    setReconnectWait(s, "0");
    {
        ProbeSimProcess sim(s.folder, 2, {"--adc", "1700", "--rate", "53", "--vanish-after", "1"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running());
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait)) << sim.log().toStdString();
    }
    ASSERT_EQ(s.messages.messages.size(), 1u);
    EXPECT_EQ(s.messages.messages[0].title, "Serial port error");
    EXPECT_TRUE(s.messages.messages[0].prompt.contains("COM2")) << s.said();
    EXPECT_TRUE(s.messages.messages[0].prompt.endsWith("Session Stopped !!")) << s.said();
    EXPECT_FALSE(s.w.MSComm1->isOpen());
    const int first = s.w.engine.state().recordNumber - 1;
    EXPECT_GT(first, 10);
    expectFiles(s, std::vector<int>(static_cast<std::size_t>(first), 1700), 1700, 1700);

    // Nothing more happens while the ticks go on; Start while the adapter is out is refused
    // and changes nothing on disk.
    for (int i = 0; i < 150; ++i) s.w.Timer1_Timer();
    const QByteArray tstBefore = s.file("tempdata.tst");
    s.w.mnuStart_Click();
    EXPECT_FALSE(s.running());
    ASSERT_EQ(s.messages.messages.size(), 2u) << s.said();
    EXPECT_TRUE(s.messages.messages[1].prompt.endsWith("Session not started.")) << s.said();
    EXPECT_EQ(s.file("tempdata.tst"), tstBefore);

    // Plugged in again (a new device behind the same COM number). The filter's window still
    // holds 1700s: every frame passes it, moving up to 1750; the first is not recorded, the new
    // session having no reference reading yet.
    ProbeSimProcess again(s.folder, 2, {"--adc", "1750", "--rate", "53", "--count", "20"});
    ASSERT_TRUE(again.start()) << again.errorString().toStdString();
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.said();
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber == 20; }, kWait));
    s.w.mnuStop_Click();
    std::vector<int> records = {1720, 1730, 1740};
    records.resize(19, 1750);
    expectFiles(s, records, 1710, 1750);
    EXPECT_EQ(s.messages.messages.size(), 2u) << s.said();
}

TEST(LineFaults, AnAdapterPluggedInAgainWithinTheWaitGoesOnInTheSameSession) {
    LiveSession s;
    const auto lostMessage = [&] {
        return s.messages.messages.size() == 1 &&
               s.messages.messages[0].title == "Serial port error" &&
               s.messages.messages[0].prompt.endsWith("Session Stopped !!");
    };
    // Not back within the wait: the session ends through Stop as it does without one.
    setReconnectWait(s, "1");
    {
        ProbeSimProcess sim(s.folder, 2, {"--adc", "1700", "--rate", "53", "--vanish-after", "1"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        s.w.mnuStart_Click();
        ASSERT_TRUE(waitUntil([&] { return s.w.waitingForProbe(); }, kWait));
        EXPECT_TRUE(s.running());
        EXPECT_TRUE(s.messages.messages.empty()) << s.said();
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait)) << sim.log().toStdString();
    }
    EXPECT_TRUE(lostMessage()) << s.said();
    EXPECT_FALSE(s.w.waitingForProbe());
    const int lost = s.w.engine.state().recordNumber - 1;
    expectFiles(s, std::vector<int>(static_cast<std::size_t>(lost), 1700), 1700, 1700);

    // Back after 2 s of the default 60: the same session goes on, every reading in its files,
    // one marker at the gap. The link watch, which ends a session silent for 100 ticks, ticks
    // faster than the real timer meanwhile and must not end it.
    QFile::remove(s.path("sylvane-extra.ini"));
    s.messages.messages.clear();
    ProbeSimProcess sim(
        s.folder, 2,
        {"--adc", "1700", "--rate", "53", "--vanish-after", "1", "--reappear-after", "2"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    s.w.mnuStart_Click();
    ASSERT_TRUE(waitUntil([&] { return s.w.waitingForProbe(); }, kWait));
    const int before = s.w.engine.state().recordNumber - 1;
    EXPECT_GT(before, 10);
    EXPECT_TRUE(s.w.LblParams[6]->isVisibleTo(s.w.FrameParams));
    EXPECT_TRUE(s.w.LblParams[6]->caption().startsWith("Waiting for the probe: ")) << s.said();
    for (int i = 0; i < 2000 && s.w.waitingForProbe(); ++i) {
        s.w.Timer1_Timer();
        if (i % 5 == 0) sylvane::testing::pump(50);
    }
    ASSERT_FALSE(s.w.waitingForProbe()) << sim.log().toStdString();
    ASSERT_TRUE(s.running()) << s.said();
    EXPECT_FALSE(s.w.LblParams[6]->isVisibleTo(s.w.FrameParams));
    ASSERT_TRUE(waitUntil([&] { return s.w.engine.state().recordNumber > before + 50; }, kWait));
    s.w.mnuStop_Click();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    const int recorded = s.w.engine.state().recordNumber - 1;
    expectFiles(s, std::vector<int>(static_cast<std::size_t>(recorded), 1700), 1700, 1700);
    // The window's clock stands still in this test.
    EXPECT_EQ(s.file("tempdata.mrk"),
              QByteArray::number(before) + ",0.000,\"probe reconnected\"\r\n");
}

SYLVANE_GTEST_QT_MAIN
