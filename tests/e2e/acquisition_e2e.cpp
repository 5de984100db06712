// Live acquisition through the real window: a probe on a pseudo-terminal mapped to COM2, Start,
// frames, Stop, and the working files and readouts they must give; the link timeout, a device
// that vanishes, a port or a folder that refuses, a disk that refuses, Restart and midnight.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/vb_colors.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

using sylvane::app::frmSylvane;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProgramFolder;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;

namespace {

using Read = std::array<std::uint8_t, 9>;

// A probe on the master side of a pseudo-terminal whose slave is COM n of a program folder.
class PtyProbe {
public:
    PtyProbe(const QString& folder, int comPort) {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
        termios tio{};
        ::tcgetattr(m_master, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_master, TCSANOW, &tio);
        m_slave = QString::fromLocal8Bit(::ptsname(m_master));
        QDir(folder).mkpath(QStringLiteral("ports"));
        m_link = QStringLiteral("%1/ports/com%2").arg(folder).arg(comPort);
        QFile::remove(m_link);
        QFile::link(m_slave, m_link);
    }
    ~PtyProbe() { unplug(); }
    PtyProbe(const PtyProbe&) = delete;
    PtyProbe& operator=(const PtyProbe&) = delete;

    bool ok() const { return m_master >= 0 && QFileInfo(m_link).isSymLink(); }

    void send(const std::vector<Read>& reads) {
        std::vector<std::uint8_t> bytes;
        for (const Read& r : reads) bytes.insert(bytes.end(), r.begin(), r.end());
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    }

    // The adapter is pulled out: the slave side sees a hang-up.
    void unplug() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slave;
    QString m_link;
};

// One frame as the probe sends it, read `late` bytes after its start.
Read frame(int adc, int status = 4, int late = 0) {
    const Read f = {0xAA,
                    0xAA,
                    0x01,
                    0x03,
                    static_cast<std::uint8_t>(adc & 0xFF),
                    static_cast<std::uint8_t>((adc >> 8) & 0xFF),
                    static_cast<std::uint8_t>(status),
                    0x00,
                    0x07};
    Read r{};
    for (int k = 0; k < 9; ++k)
        r[static_cast<std::size_t>(k)] = f[static_cast<std::size_t>((k + late) % 9)];
    return r;
}

std::vector<Read> frames(int count, int adc, int status = 4) {
    std::vector<Read> out;
    for (int i = 0; i < count; ++i) out.push_back(frame(adc, status, i % 9));
    return out;
}

QByteArray records(std::initializer_list<std::int32_t> values) {
    QByteArray out;
    for (std::int32_t v : values) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k) out.append(static_cast<char>((u >> (8 * k)) & 0xFF));
    }
    return out;
}

QByteArray header(const char* minText, const char* maxText, const char* comments) {
    return QByteArray("\"MinADC\"\r\n\"") + minText + "\"\r\n\"MaxADC\"\r\n\"" + maxText +
           "\"\r\n\"" + comments + "\"\r\n";
}

struct Session {
    ProgramFolder folder;
    double clock = 36000.0;
    frmSylvane w{{folder.path(), [this] { return clock; }}};
    MessageRecorder messages;

    Session() {
        // What start-up leaves for a session: the port and sensitivity captions as read from
        // the settings, the reference latch waiting.
        w.LblParams[5]->setCaption(QStringLiteral("2"));
        w.awaitingStartValue = true;
        // The window is never laid out here: keep the resize watch out of the way.
        w.layoutReason = 1;
    }
    QByteArray file(const char* name) const { return readFileBytes(folder.file(name)); }
    bool running() const { return !w.mnuStart->isEnabled(); }
};

void expectStoppedMenus(const frmSylvane& w) {
    EXPECT_TRUE(w.mnuStart->isEnabled());
    EXPECT_TRUE(w.mnuSetComPort->isEnabled());
    EXPECT_FALSE(w.mnuStop->isEnabled());
    EXPECT_FALSE(w.mnuRestart->isEnabled());
    EXPECT_TRUE(w.mnuSaveFile->isEnabled());
    EXPECT_TRUE(w.mnuDisplayOld->isEnabled());
    EXPECT_EQ(w.LblParams[5]->backColor(), sylvane::platform::kWindowBackground);
    EXPECT_EQ(w.LblParams[5]->toolTipText(), "Click here to select port number");
}

constexpr int kWait = 20000;

} // namespace

TEST(Acquisition, SessionRecordsWhatTheFramesGiveAndShowsTheReadouts) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    s.w.graphSensitivity = 25;
    s.w.TxtSeshnComnts->setText(QStringLiteral("Left hand, \"relaxed\""));

    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.messages.prompts().join("|").toStdString();
    EXPECT_TRUE(s.messages.messages.empty());
    EXPECT_TRUE(s.w.MSComm1->isOpen());
    EXPECT_EQ(s.w.MSComm1->commPort(), 2);
    EXPECT_EQ(s.w.MSComm1->settings(), "4800,N,8,1");
    EXPECT_FALSE(s.w.MSComm1->dtrEnable());
    EXPECT_TRUE(s.w.MSComm1->rtsEnable());
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    EXPECT_EQ(s.w.LblParams[5]->backColor(), 0x80000013u);
    EXPECT_FALSE(s.w.mnuSaveFile->isEnabled());
    EXPECT_FALSE(s.w.mnuDisplayOld->isEnabled());
    EXPECT_EQ(s.file("tempdata.tst"), "");

    // 15 steady frames read at every offset: the first five fill the window, the next ten are
    // recorded, and the 12th event latches the reference.
    std::vector<Read> reads = frames(15, 2000);
    const std::vector<Read> rest = {frame(2100), frame(2100, 4, 4), frame(1500, 4, 8),
                                    // Not valid, then no frame at all: neither is recorded.
                                    frame(2600, 0), Read{1, 2, 3, 4, 5, 6, 7, 8, 9},
                                    frame(2050, 4, 2)};
    reads.insert(reads.end(), rest.begin(), rest.end());
    probe.send(reads);
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 15; }, kWait)) << s.w.recordNumber;

    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 2000");
    EXPECT_EQ(s.w.smoothedADC, 2018);
    // The readouts show the mean left by the previous frame (2008) and the latest raw value.
    EXPECT_EQ(s.w.LblShnStf[3]->caption(), "488kOhms");
    EXPECT_EQ(s.w.LblShnStf[5]->caption(), "2.04 uS");
    EXPECT_EQ(s.w.LblShnStf[1]->caption(), "-0.7 %");
    EXPECT_EQ(s.w.LblShnStf[7]->caption(), "2050");
    EXPECT_EQ(s.w.LblShnStf[7]->backColor(), 0x0080FF80u);
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "Probe OK");
    EXPECT_EQ(s.w.LblShnStf[9]->backColor(), 0x0080FF80u);
    EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(), "Battery OK");
    EXPECT_EQ(s.w.targetColorLevel, 262.0f);

    // Every record is on disk while the session still runs.
    const QByteArray expected = records(
        {2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 2020, 2040, 2008, 2018});
    EXPECT_EQ(s.file("tempdata.tst"), expected);
    EXPECT_EQ(s.file("tempdata.hdr"), "");

    s.w.mnuStop_Click();
    expectStoppedMenus(s.w);
    EXPECT_FALSE(s.w.MSComm1->isOpen());
    EXPECT_EQ(s.w.LblShnStf[7]->backColor(), sylvane::platform::kButtonFace);
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "");
    EXPECT_EQ(s.w.LblShnStf[9]->backColor(), sylvane::platform::kButtonFace);
    EXPECT_EQ(s.file("tempdata.tst"), expected);
    EXPECT_EQ(s.file("tempdata.txt"), "2000\r\n2000\r\n2000\r\n2000\r\n2000\r\n2000\r\n2000\r\n"
                                      "2000\r\n2000\r\n2000\r\n2020\r\n2040\r\n2008\r\n2018\r\n");
    EXPECT_EQ(s.file("tempdata.hdr"), header(" 2000", " 2040", "\\=Left hand, \\qrelaxed\\q"));
    EXPECT_TRUE(s.messages.messages.empty());
}

TEST(Acquisition, StopWithNoReadingAndNoCommentWritesTheStartValues) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    s.w.TxtSeshnComnts->setText(QString());
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    s.w.mnuStop_Click();
    EXPECT_EQ(s.w.TxtSeshnComnts->Text(), " ");
    EXPECT_EQ(s.file("tempdata.hdr"), header(" 4095", " 0", " "));
    EXPECT_EQ(s.file("tempdata.tst"), "");
    EXPECT_EQ(s.file("tempdata.txt"), "");
}

TEST(Acquisition, SilenceGivesOneTimeoutMessageAndOneStop) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    // Five frames fill the filter; the first mean finds the graph's labels changed and is not
    // recorded (no reference yet); the next one is.
    probe.send(frames(7, 1500));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 2; }, kWait));

    // The timer keeps ticking while the message is open, and readings that come then are
    // still recorded.
    int headersWhileOpen = -1;
    s.messages.whileOpen = [&](const sylvane::platform::MessageRequest&) {
        probe.send(frames(2, 1500));
        waitUntil([&] { return s.w.recordNumber == 4; }, kWait);
        sylvane::testing::pump(400);
        headersWhileOpen = s.file("tempdata.hdr").size();
    };
    s.w.Timer1->start(5);
    ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));
    sylvane::testing::pump(300);
    s.w.Timer1->stop();

    ASSERT_EQ(s.messages.messages.size(), 1u);
    EXPECT_EQ(s.messages.messages[0].prompt,
              "No data detected\r\non serial port .\r\nSession Stopped !!");
    EXPECT_EQ(s.messages.messages[0].title, "Serial port timeout");
    EXPECT_EQ(s.messages.messages[0].style, sylvane::platform::vbOKOnly);
    // Stop runs after the message is closed, once.
    EXPECT_EQ(headersWhileOpen, 0);
    EXPECT_EQ(s.w.silenceTicks, 0);
    expectStoppedMenus(s.w);
    EXPECT_EQ(s.file("tempdata.hdr"), header(" 1500", " 1500", "Place session comments here."));
    EXPECT_EQ(s.file("tempdata.tst"), records({1500, 1500, 1500}));
}

TEST(Acquisition, LinkWatchCountsTicksWithoutDataOnly) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    // Ticks outside a session do not count.
    for (int i = 0; i < 150; ++i) s.w.Timer1_Timer();
    EXPECT_EQ(s.w.silenceTicks, 0);
    s.w.mnuStart_Click();
    for (int i = 0; i < 100; ++i) s.w.Timer1_Timer();
    EXPECT_TRUE(s.running());
    EXPECT_EQ(s.w.silenceTicks, 100);
    // A receive event clears the count, frame or not.
    probe.send({Read{}});
    ASSERT_TRUE(waitUntil([&] { return s.w.silenceTicks == 0; }, kWait));
    for (int i = 0; i < 100; ++i) s.w.Timer1_Timer();
    EXPECT_TRUE(s.messages.messages.empty());
    s.w.Timer1_Timer();
    EXPECT_EQ(s.messages.titles(), QStringList{"Serial port timeout"});
    EXPECT_FALSE(s.running());
}

TEST(Acquisition, VanishedDeviceEndsTheSessionThroughStopWithEveryReadingKept) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    probe.send(frames(9, 1800));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 4; }, kWait));

    probe.unplug();
    ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));
    ASSERT_EQ(s.messages.messages.size(), 1u);
    const QString prompt = s.messages.messages[0].prompt;
    EXPECT_TRUE(prompt.contains("COM2")) << prompt.toStdString();
    EXPECT_TRUE(prompt.endsWith("Session Stopped !!")) << prompt.toStdString();
    expectStoppedMenus(s.w);
    EXPECT_FALSE(s.w.MSComm1->isOpen());
    EXPECT_EQ(s.file("tempdata.tst"), records({1800, 1800, 1800}));
    EXPECT_EQ(s.file("tempdata.txt"), "1800\r\n1800\r\n1800\r\n");
    EXPECT_EQ(s.file("tempdata.hdr"), header(" 1800", " 1800", "Place session comments here."));

    // Nothing more happens: no second message, and the ticks go on quietly.
    for (int i = 0; i < 150; ++i) s.w.Timer1_Timer();
    sylvane::testing::pump(200);
    EXPECT_EQ(s.messages.messages.size(), 1u);
}

TEST(Acquisition, StartOnAPortThatCannotBeOpenedReturnsToTheStoppedState) {
    const struct {
        const char* name;
        const char* caption;
        bool linkToNothing;
        const char* port;
    } rows[] = {
        {"a link to a device that is gone", "3", true, "COM3"},
        {"port number 0 becomes 2", "0", true, "COM2"},
    };
    for (const auto& r : rows) {
        Session s;
        // The last session's files survive a Start that could not open the port.
        QFile old(s.folder.file("tempdata.tst"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(records({1234}));
        old.close();
        if (r.linkToNothing) {
            QDir(s.folder.path()).mkpath("ports");
            QFile::link(
                s.folder.file("no-such-device"),
                s.folder.file(QStringLiteral("ports/com") + QString::fromLatin1(r.port).mid(3)));
        }
        s.w.LblParams[5]->setCaption(QString::fromLatin1(r.caption));
        s.w.mnuStart_Click();

        EXPECT_FALSE(s.running()) << r.name;
        expectStoppedMenus(s.w);
        EXPECT_FALSE(s.w.MSComm1->isOpen()) << r.name;
        ASSERT_EQ(s.messages.messages.size(), 1u) << r.name;
        const QString prompt = s.messages.messages[0].prompt;
        EXPECT_TRUE(prompt.contains(QString::fromLatin1(r.port))) << prompt.toStdString();
        EXPECT_TRUE(prompt.endsWith("Session not started.")) << prompt.toStdString();
        EXPECT_EQ(s.w.LblParams[5]->caption(), QString::fromLatin1(r.port).mid(3)) << r.name;
        EXPECT_EQ(s.file("tempdata.tst"), records({1234})) << r.name;
        EXPECT_FALSE(QFile::exists(s.folder.file("tempdata.hdr"))) << r.name;
    }
}

TEST(Acquisition, StartOnABusyPortSaysSoAndStartsOnceItIsFree) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    sylvane::acquisition::SerialLink other(s.folder.path());
    other.setCommPort(2);
    other.setSettings(QStringLiteral("4800,N,8,1"));
    ASSERT_TRUE(other.open()) << other.errorString().toStdString();

    s.w.mnuStart_Click();
    EXPECT_FALSE(s.running());
    expectStoppedMenus(s.w);
    ASSERT_EQ(s.messages.messages.size(), 1u);
    const QString prompt = s.messages.messages[0].prompt;
    EXPECT_TRUE(prompt.contains("COM2")) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains("in use")) << prompt.toStdString();
    EXPECT_EQ(s.messages.messages[0].title, "Serial port error");

    other.close();
    s.w.mnuStart_Click();
    EXPECT_TRUE(s.running());
    probe.send(frames(7, 1400));
    EXPECT_TRUE(waitUntil([&] { return s.w.recordNumber == 2; }, kWait));
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.tst"), records({1400}));
}

TEST(Acquisition, StartInAFolderWhereTheFilesCannotBeCreatedReturnsToTheStoppedState) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    ASSERT_TRUE(QDir(s.folder.path()).mkdir("tempdata.tst"));
    s.w.mnuStart_Click();
    EXPECT_FALSE(s.running());
    expectStoppedMenus(s.w);
    EXPECT_FALSE(s.w.MSComm1->isOpen());
    ASSERT_EQ(s.messages.messages.size(), 1u);
    const QString prompt = s.messages.messages[0].prompt;
    EXPECT_TRUE(prompt.contains("tempdata.tst")) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains("Is a directory")) << prompt.toStdString();

    // Once the folder is fixed, the program starts as usual.
    ASSERT_TRUE(QDir(s.folder.path()).rmdir("tempdata.tst"));
    s.w.mnuStart_Click();
    EXPECT_TRUE(s.running());
    EXPECT_TRUE(s.w.MSComm1->isOpen());
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.hdr"), header(" 4095", " 0", "Place session comments here."));
}

TEST(Acquisition, RefusedRecordEndsTheSessionWithTheFilesConsistent) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to refuse writes";
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    ASSERT_TRUE(QFile::link("/dev/full", s.folder.file("tempdata.txt")));
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    probe.send(frames(12, 1600));
    ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait));
    sylvane::testing::pump(200);

    ASSERT_EQ(s.messages.messages.size(), 1u) << s.messages.prompts().join("|").toStdString();
    const QString prompt = s.messages.messages[0].prompt;
    EXPECT_TRUE(prompt.contains("tempdata.txt")) << prompt.toStdString();
    EXPECT_TRUE(prompt.contains("No space left on device")) << prompt.toStdString();
    EXPECT_EQ(s.messages.messages[0].title, "Recording error");
    expectStoppedMenus(s.w);
    EXPECT_EQ(s.w.recordNumber, 1);
    EXPECT_EQ(s.file("tempdata.tst"), "");
    EXPECT_EQ(s.file("tempdata.hdr"), header(" 1600", " 1600", "Place session comments here."));

    // The program stays usable.
    ASSERT_TRUE(QFile::remove(s.folder.file("tempdata.txt")));
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    probe.send(frames(2, 1600));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 3; }, kWait));
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.txt"), "1600\r\n1600\r\n");
    EXPECT_EQ(s.messages.messages.size(), 1u);
}

TEST(Acquisition, RestartDiscardsTheSessionAndLatchesTheReferenceAgain) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    s.w.mnuStart_Click();
    probe.send(frames(20, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 15; }, kWait));
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1700");

    s.w.mnuRestart_Click();
    EXPECT_TRUE(s.running());
    EXPECT_TRUE(s.w.MSComm1->isOpen());
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    EXPECT_EQ(s.w.recordNumber, 1);
    EXPECT_EQ(s.file("tempdata.tst"), "");
    EXPECT_EQ(s.file("tempdata.txt"), "");
    EXPECT_EQ(s.file("tempdata.hdr"), "");

    // The filter's window carries over, so the first reading is filtered at once, but the
    // graph finds the reference label blanked and records from the second one on. The
    // candidate is still 1700, so eleven equal events latch it.
    probe.send(frames(11, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 11; }, kWait));
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1700");
    s.w.mnuStop_Click();
    EXPECT_EQ(s.file("tempdata.tst").size(), 40);
    EXPECT_EQ(s.file("tempdata.hdr"), header(" 1700", " 1700", "Place session comments here."));
}

TEST(Acquisition, RegressionAnUnfinishedStepOfTheLastSessionDoesNotWidenTheNextOne) {
    Session s;
    s.w.show();
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    s.w.mnuStart_Click();
    probe.send(frames(15, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 10; }, kWait));
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " 1700");
    s.w.mnuStop_Click();
    // As if the session had ended in the middle of a step of several readings.
    s.w.stepSum = 3.0e6f;

    s.w.mnuStart_Click();
    // Before the new reference is latched, readings are drawn at the last session's scale,
    // where this steady signal sits on the middle line.
    probe.send(frames(8, 1700));
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber >= 7; }, kWait));
    sylvane::testing::pump(300);
    EXPECT_EQ(s.w.lblSysADCstart->caption(), " ");
    EXPECT_EQ(s.w.LblParams[3]->caption(), "25");
    EXPECT_FALSE(s.w.lblGrafError->isVisible());
    s.w.mnuStop_Click();
}

TEST(Acquisition, SessionClockRunsOnAcrossMidnight) {
    Session s;
    PtyProbe probe(s.folder.path(), 2);
    ASSERT_TRUE(probe.ok());
    s.clock = 86390.0;
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running());
    s.clock = 86399.5;
    s.w.Timer1_Timer();
    EXPECT_EQ(s.w.LblParams[1]->caption(), "00:00:10");
    s.clock = 5.0;
    s.w.Timer1_Timer();
    EXPECT_EQ(s.w.LblParams[1]->caption(), "00:00:15");
    s.clock = 3725.0;
    s.w.Timer1_Timer();
    EXPECT_EQ(s.w.LblParams[1]->caption(), "01:02:15");
    s.w.mnuStop_Click();
    // The label keeps the last elapsed time after Stop.
    s.clock = 7000.0;
    s.w.Timer1_Timer();
    EXPECT_EQ(s.w.LblParams[1]->caption(), "01:02:15");
}

SYLVANE_GTEST_QT_MAIN
