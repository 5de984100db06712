// What the line can hand the program, played by the probe simulator on COM2: stray bytes,
// truncated frames, every combination of the status bits, ADC values at and past the edges of
// the filter's range, and an adapter that is pulled out and plugged in again. The program must
// keep running, show and record exactly what the frames give, and keep its files consistent.

#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QFile>

#include <cstdint>
#include <memory>
#include <vector>

using sylvane::app::frmSylvane;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProbeSimProcess;
using sylvane::testing::ProgramFolder;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;

namespace {

constexpr int kWait = 30000;
// The ADC value and status of the last line of every script: not valid, so never recorded, but
// shown, which tells the test that the program has read everything before it.
constexpr int kEndMarkAdc = 1234;

struct Session {
    ProgramFolder folder;
    frmSylvane w{{folder.path(), {}}};
    MessageRecorder messages;
    std::unique_ptr<ProbeSimProcess> sim;

    Session() {
        w.LblParams[5]->setCaption(QStringLiteral("2"));
        w.awaitingStartValue = true;
        w.layoutReason = 1;
    }
    QByteArray file(const char* name) const { return readFileBytes(folder.file(name)); }
    bool running() const { return !w.mnuStart->isEnabled(); }

    // Starts a simulator on COM2 that sends the lines, one per frame time at the line's full
    // rate, then stays silent; then starts a session.
    bool startScript(const QStringList& lines) {
        const QString script = folder.file(QStringLiteral("frames.txt"));
        QFile f(script);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(lines.join(QLatin1Char('\n')).toLatin1() + "\n");
        f.close();
        sim = std::make_unique<ProbeSimProcess>(folder.path(), 2,
                                                QStringList{"--frames", script, "--rate", "53"});
        if (!sim->start()) return false;
        w.mnuStart_Click();
        return running();
    }
    QString simError() { return sim ? sim->errorString() + sim->log() : QString(); }
};

// One frame as the probe sends it, as a line of a frames file.
QString frameLine(int adc, int status = 4) {
    return QStringLiteral("AA AA 01 00 %1 %2 %3 00 00")
        .arg(adc & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((adc >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(status, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QStringList repeated(const QString& line, int count) {
    QStringList out;
    for (int i = 0; i < count; ++i) out << line;
    return out;
}

// Plays the lines and then the end mark, and waits until the program has read them all.
bool playScript(Session& s, QStringList lines) {
    lines << frameLine(kEndMarkAdc, 0);
    return s.startScript(lines) &&
           waitUntil([&] { return s.w.LblShnStf[7]->caption() == QString::number(kEndMarkAdc); },
                     kWait);
}

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

QByteArray txtLines(const std::vector<std::int32_t>& values) {
    QByteArray out;
    for (std::int32_t v : values) out += QByteArray::number(v) + "\r\n";
    return out;
}

// After Stop: the .tst holds exactly the expected records, the .txt the same as lines, and the
// header the extremes of the session's means.
void expectFiles(const Session& s, const std::vector<std::int32_t>& records, int minADC, int maxADC,
                 const std::string& label) {
    EXPECT_EQ(s.file("tempdata.tst").size() % 4, 0) << label;
    EXPECT_EQ(tstRecords(s.file("tempdata.tst")), records) << label;
    EXPECT_EQ(s.file("tempdata.txt"), txtLines(records)) << label;
    const QByteArray header = "\"MinADC\"\r\n\" " + QByteArray::number(minADC) +
                              "\"\r\n\"MaxADC\"\r\n\" " + QByteArray::number(maxADC) +
                              "\"\r\n\"Place session comments here.\"\r\n";
    EXPECT_EQ(s.file("tempdata.hdr"), header) << label;
}

} // namespace

TEST(LineFaults, AdcValuesAtTheEdgesAreFilteredShownAndRecorded) {
    // Six steady frames (five fill the filter; the sixth is the first to pass it, and finding no
    // reference reading to scale the graph by, it is neither drawn nor recorded), the value, six
    // steady frames. A value outside 80..4000 that reaches the filter's window keeps the next
    // five readings from being recorded; 0 never reaches it; a jump is cut to 201 from the mean.
    // The header's extremes are the filter's, the unrecorded reading's included.
    const struct {
        int steady;
        int value;
        std::vector<std::int32_t> records;
        int minADC, maxADC;
    } rows[] = {
        {100, 79, {96, 100}, 96, 100},
        {100, 80, {96, 96, 96, 96, 96, 100, 100}, 96, 100},
        {3950, 4000, {3960, 3960, 3960, 3960, 3960, 3950, 3950}, 3950, 3960},
        {3950, 4001, {3960, 3950}, 3950, 3960},
        {3950, 4095, {3979, 3950}, 3950, 3979},
        {3950, 65535, {3990, 3950}, 3950, 3990},
        {1500, 0, {1500, 1500, 1500, 1500, 1500, 1500}, 1500, 1500},
    };
    for (const auto& r : rows) {
        const std::string label =
            "value " + std::to_string(r.value) + " after " + std::to_string(r.steady);
        Session s;
        QStringList lines = repeated(frameLine(r.steady), 6);
        lines << frameLine(r.value) << repeated(frameLine(r.steady), 6);
        ASSERT_TRUE(playScript(s, lines)) << label << " " << s.simError().toStdString();
        EXPECT_TRUE(s.running()) << label;
        s.w.mnuStop_Click();
        expectFiles(s, r.records, r.minADC, r.maxADC, label);
        EXPECT_TRUE(s.messages.messages.empty()) << label;
    }
}

TEST(LineFaults, EveryStatusCombinationShowsItsBitsAndOnlyValidReadingsAreRecorded) {
    const struct {
        int status;
        bool recorded;
        const char* probe;
        const char* battery;
    } rows[] = {
        {0x00, false, "Probe OK", "Battery OK"},
        {0x01, false, "Probe error", "Battery OK"},
        {0x02, false, "Probe OK", "Need to replace Battery"},
        {0x03, false, "Probe error", "Need to replace Battery"},
        {0x04, true, "Probe OK", "Battery OK"},
        {0x05, true, "Probe error", "Battery OK"},
        {0x06, true, "Probe OK", "Need to replace Battery"},
        {0x07, true, "Probe error", "Need to replace Battery"},
        // Bits 3 to 7 mean nothing.
        {0xF8, false, "Probe OK", "Battery OK"},
        {0xFC, true, "Probe OK", "Battery OK"},
        {0xFF, true, "Probe error", "Need to replace Battery"},
    };
    for (const auto& r : rows) {
        const std::string label = "status " + std::to_string(r.status);
        Session s;
        // Six valid frames of 2000 (the sixth passes the filter, unrecorded for want of a
        // reference reading), then 2001 and 2002 with the status: the readouts show each frame's
        // bits before the filter decides on its reading.
        QStringList lines = repeated(frameLine(2000), 6);
        lines << frameLine(2001, r.status) << frameLine(2002, r.status);
        ASSERT_TRUE(s.startScript(lines)) << label << " " << s.simError().toStdString();
        ASSERT_TRUE(waitUntil([&] { return s.w.LblShnStf[7]->caption() == "2002"; }, kWait))
            << label;
        EXPECT_EQ(s.w.recordNumber, r.recorded ? 3 : 1) << label;
        EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), r.probe) << label;
        EXPECT_EQ(s.w.LblShnStf[9]->toolTipText(), r.battery) << label;
        EXPECT_EQ(s.w.LblShnStf[7]->backColor(),
                  QString(r.probe) == "Probe OK" ? 0x0080FF80u : 0x008080FFu)
            << label;
        EXPECT_EQ(s.w.LblShnStf[9]->backColor(),
                  QString(r.battery) == "Battery OK" ? 0x0080FF80u : 0x008080FFu)
            << label;
        s.w.mnuStop_Click();
        expectFiles(
            s, r.recorded ? std::vector<std::int32_t>{2000, 2001} : std::vector<std::int32_t>{},
            2000, r.recorded ? 2001 : 2000, label);
        EXPECT_TRUE(s.messages.messages.empty()) << label;
    }
}

TEST(LineFaults, StrayBytesAndATruncatedFrameCostOnlyTheReadingsTheyCut) {
    Session s;
    // Two stray bytes (one of them the frame type) shift every later read by two; a frame cut
    // after its ADC value shifts them again and spoils the two reads that hold it; a last
    // stray byte brings the end mark back to a whole read. Each read still holds one sync.
    QStringList lines = repeated(frameLine(1500), 6);
    lines << QStringLiteral("55 01") << repeated(frameLine(1500), 4)
          << QStringLiteral("AA AA 01 00 DC 05") << repeated(frameLine(1500), 4)
          << QStringLiteral("00");
    ASSERT_TRUE(playScript(s, lines)) << s.simError().toStdString();
    EXPECT_TRUE(s.running());
    EXPECT_EQ(s.w.recordNumber, 8);
    EXPECT_EQ(s.w.LblShnStf[7]->toolTipText(), "Probe OK");
    s.w.mnuStop_Click();
    // Eight readings pass the filter; the first, as always, before there is a reference.
    expectFiles(s, std::vector<std::int32_t>(7, 1500), 1500, 1500, "stray and truncated");
    EXPECT_TRUE(s.messages.messages.empty()) << s.messages.prompts().join("|").toStdString();
}

TEST(LineFaults, APulledAdapterEndsTheSessionAndAPluggedOneStartsAgain) {
    Session s;
    {
        ProbeSimProcess sim(s.folder.path(), 2,
                            {"--adc", "1700", "--rate", "53", "--vanish-after", "1"});
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        s.w.mnuStart_Click();
        ASSERT_TRUE(s.running());
        ASSERT_TRUE(waitUntil([&] { return !s.running(); }, kWait)) << sim.log().toStdString();
    }
    ASSERT_EQ(s.messages.messages.size(), 1u);
    EXPECT_EQ(s.messages.messages[0].title, "Serial port error");
    const int first = s.w.recordNumber - 1;
    EXPECT_GT(first, 10);
    expectFiles(s, std::vector<std::int32_t>(static_cast<std::size_t>(first), 1700), 1700, 1700,
                "pulled");

    // Start while the adapter is still out: a clear refusal, nothing changed on disk.
    const QByteArray tstBefore = s.file("tempdata.tst");
    s.w.mnuStart_Click();
    EXPECT_FALSE(s.running());
    ASSERT_EQ(s.messages.messages.size(), 2u);
    EXPECT_TRUE(s.messages.messages[1].prompt.endsWith("Session not started."));
    EXPECT_EQ(s.file("tempdata.tst"), tstBefore);

    // Plugged in again (a new device behind the same COM number): a session as before.
    ProbeSimProcess again(s.folder.path(), 2, {"--adc", "1750", "--rate", "53", "--count", "20"});
    ASSERT_TRUE(again.start()) << again.errorString().toStdString();
    s.w.mnuStart_Click();
    ASSERT_TRUE(s.running()) << s.messages.prompts().join("|").toStdString();
    // The filter's window still holds 1700s: every frame passes it, moving up to 1750; the
    // first (1710) is not recorded, the new session having no reference reading yet.
    ASSERT_TRUE(waitUntil([&] { return s.w.recordNumber == 20; }, kWait));
    s.w.mnuStop_Click();
    expectFiles(s,
                {1720, 1730, 1740, 1750, 1750, 1750, 1750, 1750, 1750, 1750, 1750, 1750, 1750, 1750,
                 1750, 1750, 1750, 1750, 1750},
                1710, 1750, "plugged again");
    EXPECT_EQ(s.messages.messages.size(), 2u);
}

SYLVANE_GTEST_QT_MAIN
