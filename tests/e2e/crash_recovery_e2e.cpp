// The program killed outright (SIGKILL) in the middle of a session: every reading it had
// recorded is in tempdata.tst and tempdata.txt, in step with each other, and the next start
// clears the readings and header files and leaves the text file as it was.
//
// The program runs as a child process (tests/drivers/session_driver.cpp: the real window with a
// session on COM2) reading the probe simulator, and reports how many readings it has recorded.

#include "app/frm_sylvane.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

#include <cstdint>
#include <vector>

using sylvane::app::frmSylvane;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProbeSimProcess;
using sylvane::testing::ProgramFolder;
using sylvane::testing::readFileBytes;

namespace {

constexpr int kWait = 60000;

// Reads the driver's report lines as they come.
class SessionDriver {
public:
    explicit SessionDriver(const QString& folder) {
        m_process.start(QStringLiteral(SYLVANE_SESSION_DRIVER),
                        {QStringLiteral("--folder"), folder});
    }
    ~SessionDriver() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    SessionDriver(const SessionDriver&) = delete;
    SessionDriver& operator=(const SessionDriver&) = delete;

    // Waits until the driver reports at least `count` recorded readings; false when it ended or
    // the time ran out first.
    bool waitForRecorded(std::int32_t count, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (m_recorded < count) {
            if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) return false;
            m_process.waitForReadyRead(50);
            readLines();
        }
        return true;
    }

    void killHard() {
        m_process.kill(); // SIGKILL
        m_process.waitForFinished(10000);
        readLines();
    }

    std::int32_t recorded() const { return m_recorded; }
    QProcess& process() { return m_process; }
    QString transcript() const { return QString::fromLocal8Bit(m_transcript); }

private:
    void readLines() {
        m_buffer += m_process.readAllStandardOutput();
        qsizetype eol;
        while ((eol = m_buffer.indexOf('\n')) >= 0) {
            const QByteArray line = m_buffer.left(eol);
            m_buffer.remove(0, eol + 1);
            m_transcript += line + '\n';
            if (line.startsWith("recorded ")) m_recorded = line.mid(9).toInt();
        }
    }

    QProcess m_process;
    QByteArray m_buffer;
    QByteArray m_transcript;
    std::int32_t m_recorded = 0;
};

std::vector<std::int32_t> tstRecords(const QByteArray& bytes) {
    std::vector<std::int32_t> out;
    for (qsizetype i = 0; i + 4 <= bytes.size(); i += 4) {
        std::uint32_t u = 0;
        for (int k = 0; k < 4; ++k)
            u |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + k])) << (8 * k);
        out.push_back(static_cast<std::int32_t>(u));
    }
    return out;
}

std::vector<std::int32_t> txtValues(const QByteArray& text) {
    std::vector<std::int32_t> out;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        out.push_back(line.trimmed().toInt());
    }
    return out;
}

// A settings file as the program writes it, so that the next start is an ordinary one.
void writeSettings(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\"Port # \"\r\n\"2\"\r\n\"Sensitivty = \"\r\n\"25\"\r\n"
            "\"Picture graph visibilty = \"\r\n\"True\"\r\n"
            "\"Color graph visibilty = \"\r\n\"True\"\r\n"
            "\"Bar graph visibilty = \"\r\n\"True\"\r\n"
            "\"Internal status visibilty = \"\r\n\"True\"\r\n"
            "\"Session comments visibilty = \"\r\n\"True\"\r\n"
            "\"Time etc. visibilty = \"\r\n\"True\"\r\n"
            "\"Form Width = \"\r\n8445\r\n\"Form Height = \"\r\n6330\r\n"
            "\"Form Top = \"\r\n1200\r\n\"Form Left = \"\r\n1500\r\n");
}

} // namespace

TEST(CrashRecovery, KilledMidSessionKeepsEveryRecordedReadingAndTheNextStartClearsAsDescribed) {
    ProgramFolder folder;
    // A living signal at the line's full rate, so that consecutive readings differ.
    ProbeSimProcess sim(folder.path(), 2, {"--rate", "53", "--seed", "11"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();

    SessionDriver driver(folder.path());
    ASSERT_TRUE(driver.waitForRecorded(80, kWait))
        << driver.transcript().toStdString() << driver.process().readAllStandardError().data();
    driver.killHard();
    const std::int32_t reported = driver.recorded();
    EXPECT_EQ(driver.process().exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(driver.transcript().contains("message")) << driver.transcript().toStdString();

    const QByteArray tst = readFileBytes(folder.file("tempdata.tst"));
    const QByteArray txt = readFileBytes(folder.file("tempdata.txt"));
    // Whole records and whole lines only.
    EXPECT_EQ(tst.size() % 4, 0);
    EXPECT_TRUE(txt.endsWith("\r\n"));
    const auto records = tstRecords(tst);
    const auto lines = txtValues(txt);
    // Every reading reported as recorded is in both files. The kill may fall between the two
    // writes of one reading: the .tst is then one record ahead.
    EXPECT_GE(static_cast<std::int32_t>(lines.size()), reported);
    ASSERT_GE(records.size(), lines.size());
    EXPECT_LE(records.size(), lines.size() + 1);
    EXPECT_EQ(std::vector<std::int32_t>(records.begin(),
                                        records.begin() + static_cast<long>(lines.size())),
              lines);
    for (const std::int32_t v : records) {
        EXPECT_GE(v, 80);
        EXPECT_LE(v, 4095);
    }
    // The header is written at Stop, which never came.
    EXPECT_TRUE(QFile::exists(folder.file("tempdata.hdr")));
    EXPECT_EQ(readFileBytes(folder.file("tempdata.hdr")), "");

    // The next start: the readings and the header go, the text stays.
    writeSettings(folder.file("sylvane.ini"));
    MessageRecorder messages;
    frmSylvane next({folder.path(), {}});
    next.Form_Load();
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    EXPECT_FALSE(QFile::exists(folder.file("tempdata.tst")));
    EXPECT_FALSE(QFile::exists(folder.file("tempdata.hdr")));
    EXPECT_EQ(readFileBytes(folder.file("tempdata.txt")), txt);
    // The killed program let go of the port: a session starts on it.
    next.mnuStart_Click();
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    EXPECT_TRUE(sylvane::testing::waitUntil([&] { return next.recordNumber > 5; }, kWait));
    next.mnuStop_Click();
}

SYLVANE_GTEST_QT_MAIN
