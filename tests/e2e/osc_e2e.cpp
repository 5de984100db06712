// OSC through the real window with liblo's own tools, and File > Preferences... .

#include "acquisition/osc_link.h"
#include "dialogs/frm_preferences.h"
#include "storage/extra_settings.h"
#include "storage/marker_file.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUdpSocket>
#include <QtEndian>

#include <array>

using namespace sylvane::testing;
using namespace std::string_literals;
namespace storage = sylvane::storage;
namespace dialogs = sylvane::dialogs;

namespace {

// A UDP port of loopback that nothing holds now.
quint16 freePort() {
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}

void sendTo(quint16 port, const std::string& bytes) {
    QUdpSocket s;
    s.writeDatagram(bytes.data(), static_cast<qint64>(bytes.size()), QHostAddress::LocalHost, port);
}

std::string markerPacket(const std::string& text) {
    std::string p = "/sylvane/marker\0,s\0\0"s + text;
    p.append(4 - text.size() % 4, '\0');
    return p;
}

// liblo's oscdump listening on a port, one line a message.
struct OscDump {
    QProcess p;
    QByteArray out;
    explicit OscDump(quint16 port) {
        p.start(QStringLiteral("oscdump"), {QStringLiteral("-L"), QString::number(port)});
        p.waitForStarted();
        // It has no word for being ready: it is once it prints what it is sent.
        waitUntil(
            [&] {
                sendTo(port, "/ready\0\0,\0\0\0"s);
                return lines().contains("/ready");
            },
            10000);
    }
    ~OscDump() {
        p.kill();
        p.waitForFinished();
    }
    QString lines() {
        out += p.readAllStandardOutput();
        return QString::fromUtf8(out);
    }
};

} // namespace

// A minute at 53 readings a second to oscdump, by a name looked up at Start: every reading once, in
// order, at its recorded time. The marker port, open from the start, takes markers only in a
// session, 50 in any second (their texts are the unit tests'). Then the preferences.
TEST(Osc, AMinuteStreamedToOscdumpMarkersFromOscsendOrRefusedThenThePreferences) {
    if (QStandardPaths::findExecutable(QStringLiteral("oscdump")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("oscsend")).isEmpty())
        GTEST_SKIP() << "liblo-tools (oscdump, oscsend) is not installed";
    const quint16 dumpPort = freePort();
    const quint16 markerPort = freePort();
    OscDump dump(dumpPort);
    ASSERT_TRUE(dump.lines().contains("/ready")) << "oscdump did not start";
    // Written by hand, before the window, which takes the marker port as it is made.
    const auto handWritten = [&](quint16 port) {
        return "; my lab\nReconnectWaitSeconds = 30\nOscMarkerPort=" + QByteArray::number(port) +
               "\nOscSendTo=localhost:" + QByteArray::number(dumpPort) + "\n# end\n";
    };
    ProgramFolder folder;
    const QString ini = folder.file(storage::kExtraSettingsFileName);
    writeFileBytes(ini, handWritten(markerPort));
    LiveSession p(folder.path());
    auto& w = p.w;
    p.load(settingsOf("2", "25"));
    ASSERT_TRUE(p.showSettled());
    const auto counts = [&] { return w.oscLink->counts(); };
    const auto now = [&] { return w.engine.secondsFromStart(w.engine.steadyNow()); };
    const auto refusedReach = [&](std::int64_t n) {
        EXPECT_TRUE(waitUntil([&] { return counts().refused == n; }))
            << w.oscStatus().toStdString();
    };
    sendTo(markerPort, markerPacket("early"));
    refusedReach(1);
    EXPECT_FALSE(QFile::exists(p.path(storage::kWorkingMrk)));

    ProbeSimProcess sim(p.folder, 2, {"--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    w.mnuStart->trigger();
    ASSERT_TRUE(p.running()) << p.said();
    QElapsedTimer session;
    session.start();

    // Two markers from oscsend, as stimulus software sends them.
    const QStringList texts = {"stimulus A", "odd, \"quoted\" \xC3\xA9t\xC3\xA9"};
    std::vector<std::pair<double, double>> sentBetween;
    for (int k = 0; k < 2; ++k) {
        pump(15000);
        const double before = now();
        QProcess::execute(QStringLiteral("oscsend"), {"127.0.0.1", QString::number(markerPort),
                                                      "/sylvane/marker", "s", texts[k]});
        ASSERT_TRUE(waitUntil([&] { return w.markers.markers().size() == std::size_t(k) + 1; }))
            << "marker " << k + 1 << " not taken; " << w.oscStatus().toStdString();
        sentBetween.emplace_back(before, now());
    }

    // Bad packets while the session runs: no marker, no file changed or made, each refused.
    const QByteArray mrkBefore = p.file(storage::kWorkingMrk);
    const QStringList filesBefore = QDir(p.folder).entryList(QDir::Files);
    // Every cut of a marker, and the marker with other types.
    const std::string good = markerPacket(std::string(40, 'm'));
    for (std::size_t n = 0; n < good.size(); ++n) sendTo(markerPort, good.substr(0, n));
    for (const char t : "ifdhSbcmTFNIx["s)
        sendTo(markerPort, good.substr(0, 17) + t + good.substr(18));
    const auto refused = static_cast<std::int64_t>(good.size()) + 14 + 1;
    refusedReach(refused);
    EXPECT_EQ(counts().taken, 2);
    EXPECT_EQ(p.file(storage::kWorkingMrk), mrkBefore);
    EXPECT_EQ(QDir(p.folder).entryList(QDir::Files), filesBefore);

    // A second later, 80 at once: 50 taken, 30 over the rate.
    pump(1100);
    for (int i = 1; i <= 80; ++i) sendTo(markerPort, markerPacket("burst " + std::to_string(i)));
    refusedReach(refused + 30);
    EXPECT_EQ(counts().taken, 52);
    EXPECT_EQ(counts().overRate, 30);
    EXPECT_EQ(w.markers.markers().back().text, "burst 50");
    pump(static_cast<int>(std::max<qint64>(0, 60000 - session.elapsed())));
    w.mnuStop->trigger();
    ASSERT_TRUE(p.messages.messages.empty()) << p.said();
    ASSERT_TRUE(waitUntil([&] { return dump.lines().contains("/sylvane/session s \"stop\""); }));

    // What was recorded: values, times (ms from Start), markers.
    std::vector<int> values;
    for (const QByteArray& line : p.file("tempdata.txt").split('\n'))
        if (!line.trimmed().isEmpty()) values.push_back(line.trimmed().toInt());
    const QByteArray tms = p.file(storage::kWorkingTms);
    ASSERT_EQ(tms.size(), static_cast<qsizetype>(values.size()) * 4);
    ASSERT_GT(values.size(), 50u * 55) << "a minute at 53 a second";
    const auto msOf = [&](std::size_t record) {
        return qFromLittleEndian<quint32>(tms.constData() + 4 * (record - 1));
    };
    const storage::MarkerFile mrk =
        storage::readMarkers(p.file(storage::kWorkingMrk).toStdString());
    ASSERT_EQ(mrk.markers.size(), 52u);
    EXPECT_TRUE(mrk.badLines.empty());

    // oscdump's lines: "<time tag> <address> <types> <arguments>", 6 decimals. Start (kept while
    // the name was looked up), each reading once in order, markers after theirs, Stop.
    QStringList lines = dump.lines().split('\n', Qt::SkipEmptyParts);
    for (QString& line : lines) line = line.section(' ', 1).trimmed();
    lines.removeAll(QStringLiteral("/ready"));
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.front(), "/sylvane/session s \"start\"");
    EXPECT_EQ(lines.back(), "/sylvane/session s \"stop\"");
    std::size_t record = 0;
    std::size_t markerIndex = 0;
    for (int i = 1; i + 1 < lines.size(); ++i) {
        const QStringList f = lines[i].split(' ');
        if (f[0] == "/sylvane/marker") {
            ASSERT_LT(markerIndex, mrk.markers.size()) << lines[i].toStdString();
            const storage::Marker& m = mrk.markers[markerIndex];
            EXPECT_EQ(lines[i], QStringLiteral("/sylvane/marker is %1 \"%2\"")
                                    .arg(m.record)
                                    .arg(QString::fromStdString(m.text)));
            EXPECT_EQ(static_cast<std::size_t>(m.record), record) << "after its reading";
            ++markerIndex;
            continue;
        }
        ASSERT_EQ(f.size(), 7) << lines[i].toStdString();
        ASSERT_EQ(f[0] + ' ' + f[1], "/sylvane/reading idiff");
        ++record;
        ASSERT_EQ(f[2].toULongLong(), record) << "every reading once, in order";
        ASSERT_LE(record, values.size());
        EXPECT_NEAR(f[3].toDouble(), msOf(record) / 1000.0, 0.0005) << "record " << record;
        const int adc = values[record - 1];
        EXPECT_EQ(f[4].toInt(), adc) << "record " << record;
        const auto ohms = static_cast<float>(1924650000.0 / adc - 470000.0);
        EXPECT_NEAR(f[5].toDouble(), ohms, 0.0000005 + ohms * 1e-7) << "record " << record;
        EXPECT_NEAR(f[6].toDouble(), 1e6 / ohms, 0.000001) << "record " << record;
    }
    EXPECT_EQ(record, values.size()) << "every recorded reading was sent";
    EXPECT_EQ(markerIndex, 52u);

    // oscsend's markers: their texts, at the last reading when they came, at their arrival times.
    for (std::size_t k = 0; k < 2; ++k) {
        const storage::Marker& m = mrk.markers[k];
        EXPECT_EQ(QString::fromStdString(m.text), texts[static_cast<qsizetype>(k)]);
        EXPECT_GE(m.seconds, sentBetween[k].first - 0.0005);
        EXPECT_LE(m.seconds, sentBetween[k].second + 0.0005);
        EXPECT_GE(m.seconds, msOf(static_cast<std::size_t>(m.record)) / 1000.0 - 0.0005);
        EXPECT_LT(m.seconds, msOf(static_cast<std::size_t>(m.record)) / 1000.0 + 0.2);
    }
    EXPECT_EQ(w.oscStatus(),
              QStringLiteral("OSC: 52 markers taken, %1 refused (30 over 50 a second); listening "
                             "on 127.0.0.1 port %2.\nOSC: %3 packets sent, 0 dropped to "
                             "localhost:%4.")
                  .arg(refused + 30)
                  .arg(markerPort)
                  .arg(values.size() + 54)
                  .arg(dumpPort));

    // A bad value is named with what its row takes; OK writes the changed rows, in their lines.
    const quint16 port = freePort();
    QStringList shown;
    QString status;
    whenModalShown<dialogs::frmPreferences>([&](dialogs::frmPreferences* d) {
        for (const auto& f : dialogs::preferenceFields()) shown << d->field(f.key)->text();
        status = d->lblStatus->text();
        // Each bad value, then a good one; the address, as it was but for padding, stays unwritten.
        const std::array<QString, 3> rows[] = {
            {storage::kOscMarkerPortKey, "70000", QString::number(port)},
            {storage::kOscMarkerAddressKey, "localhost", " 127.0.0.1 "}};
        for (const auto& [key, bad, good] : rows) {
            QLineEdit* edit = d->field(key.toStdString());
            edit->setText(bad);
            d->cmdOK->click();
            EXPECT_TRUE(d->isVisible()) << key.toStdString();
            edit->setText(good);
        }
        d->cmdOK->click();
    });
    w.mnuPreferences->trigger();
    EXPECT_EQ(shown,
              (QStringList{"30", "0.05", "1,4", QString::number(markerPort), "127.0.0.1",
                           "localhost:" + QString::number(dumpPort), "440", "1", "40", "100"}));
    EXPECT_TRUE(status.startsWith(w.oscStatus())) << status.toStdString();
    EXPECT_EQ(p.messages.prompts(),
              (QStringList{"OSC markers: UDP port: \"70000\" is not a UDP port from 1 to 65535, or "
                           "0 to take no markers.",
                           "OSC markers: address: \"localhost\" is not an IP address of this "
                           "computer, such as 127.0.0.1 (this computer only), 0.0.0.0 (every "
                           "network) or ::1."}));
    EXPECT_EQ(readFileBytes(ini), handWritten(port));
    p.messages.messages.clear();

    // Cancel writes nothing.
    whenModalShown<dialogs::frmPreferences>([&](dialogs::frmPreferences* d) {
        d->field(storage::kReconnectWaitKey)->setText(QStringLiteral("5"));
        d->cmdCancel->click();
    });
    w.mnuPreferences->trigger();
    EXPECT_EQ(readFileBytes(ini), handWritten(port));

    // Taken at the next Start: the port listened on.
    EXPECT_EQ(w.oscLink->listeningPort(), markerPort);
    w.mnuStart->trigger();
    ASSERT_TRUE(p.running()) << p.said();
    EXPECT_EQ(w.oscLink->listeningPort(), port);
    w.mnuStop->trigger();

    // A file that cannot be rewritten: said, the dialog stays; a bad setting: told, Start runs.
    QFile::remove(ini);
    QDir(p.folder).mkdir(storage::kExtraSettingsFileName);
    whenModalShown<dialogs::frmPreferences>([&](dialogs::frmPreferences* d) {
        d->field(storage::kReconnectWaitKey)->setText(QStringLiteral("5"));
        d->cmdOK->click();
        EXPECT_TRUE(d->isVisible());
        d->cmdCancel->click();
    });
    w.mnuPreferences->trigger();
    ASSERT_EQ(p.messages.prompts().size(), 1);
    EXPECT_EQ(p.messages.prompts()[0],
              "The settings could not be written:\r\n" + ini + ": not a file");
    QDir(p.folder).rmdir(storage::kExtraSettingsFileName);
    writeFileBytes(ini, "OscMarkerPort=" + QByteArray::number(port) + "\nOscSendTo=nowhere\n");
    p.messages.messages.clear();
    w.mnuStart->trigger();
    EXPECT_TRUE(p.running());
    ASSERT_EQ(p.messages.prompts().size(), 1);
    EXPECT_TRUE(p.messages.prompts()[0].startsWith(
        "sylvane-extra.ini: OscSendTo \"nowhere\" is not host:port (such as 127.0.0.1:9001,"));
    w.mnuStop->trigger();
}

SYLVANE_GTEST_QT_MAIN
