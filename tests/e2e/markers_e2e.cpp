// Event markers through the real window and the probe simulator on COM2: marked by the M key, a
// Ctrl+click on the graph and Session > Mark while frames keep being recorded, drawn on the live
// graph, saved beside the session and drawn again by the saved-session display; a saved marker
// file that is cut or holds bad lines is drawn as far as it is sound, with one message.

#include "acquisition/session_markers.h"
#include "platform/picture_box.h"
#include "storage/marker_file.h"
#include "storage/saved_sessions.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>

using namespace sylvane::testing;

namespace {

// Types text into the open marker box and closes it with the key.
void answerMarkerBox(const LiveSession& s, const QString& text, Qt::Key key) {
    ASSERT_TRUE(waitUntil([&] { return s.w.markerBox() && s.w.markerBox()->isVisible(); }));
    EXPECT_FALSE(s.w.markerBox()->isModal());
    auto* edit = s.w.markerBox()->findChild<QLineEdit*>(QStringLiteral("txtMarker"));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, key);
    EXPECT_TRUE(waitUntil([&] { return s.w.markerBox() == nullptr; }));
}

} // namespace

TEST(Markers, MarkedWhileRecordingSavedAndDrawnAgainByTheDisplay) {
    LiveSession s;
    s.w.module1.appPath = s.folder;
    ProbeSimProcess sim(s.folder, 2, {"--adc", "1700", "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    s.w.show();
    s.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&s.w));
    s.w.mnuStart_Click();
    const auto& state = s.w.engine.state();
    const auto recorded = [&](int n) {
        ASSERT_TRUE(waitUntil([&] { return state.recordNumber > n; }, 30000));
    };
    recorded(20);

    // The M key: the marker stands at the last recorded reading, and readings go on being
    // recorded while the box is open.
    const int first = state.recordNumber - 1;
    QTest::keyClick(&s.w, Qt::Key_M);
    ASSERT_NE(s.w.markerBox(), nullptr);
    recorded(first + 30);
    answerMarkerBox(s, "stimulus, \"loud\"", Qt::Key_Return);
    // A Ctrl+click on the graph; Escape drops a marker, Enter with no text keeps one.
    QTest::mouseClick(s.w.pixXYgraf, Qt::LeftButton, Qt::ControlModifier, {5, 5});
    answerMarkerBox(s, "dropped", Qt::Key_Escape);
    recorded(first + 60);
    QTest::mouseClick(s.w.pixXYgraf, Qt::LeftButton, Qt::ControlModifier, {5, 5});
    answerMarkerBox(s, "", Qt::Key_Return);
    // Session > Mark, then Stop with the box open: the marker goes in as typed.
    s.w.mnuMark->trigger();
    ASSERT_NE(s.w.markerBox(), nullptr);
    QTest::keyClicks(s.w.markerBox()->findChild<QLineEdit*>(), "at stop");
    s.w.mnuStop_Click();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();

    const int records = state.recordNumber - 1;
    const QByteArray mrk = s.file("tempdata.mrk");
    const auto read = sylvane::storage::readMarkers(mrk.toStdString(), records);
    EXPECT_TRUE(read.badLines.empty()) << mrk.toStdString();
    ASSERT_EQ(read.markers.size(), 3u) << mrk.toStdString();
    EXPECT_EQ(read.markers[0].record, first);
    EXPECT_EQ(read.markers[0].text, "stimulus, \"loud\"");
    EXPECT_EQ(read.markers[1].text, "");
    EXPECT_EQ(read.markers[2].text, "at stop");
    EXPECT_GE(read.markers[1].record, first + 60);
    // Drawn as lines across the graph: live in the marker colour, saved in the trace's colour.
    const auto expectLines = [&](std::uint32_t colour, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const int x =
                sylvane::acquisition::stepOfRecord(read.markers[i].record, state.readingsPerStep);
            EXPECT_GT(s.pixels(colour, x), s.w.pixXYgraf->height() / 2) << read.markers[i].record;
        }
    };
    expectLines(sylvane::acquisition::kLiveMarkerColor, 3);

    answerFileManager({"marked"});
    s.w.mnuSaveFile->trigger();
    ASSERT_EQ(s.file("marked.Mrk"), mrk) << s.said();
    answerFileManager({"marked"});
    s.w.mnuDisplayOld->trigger();
    ASSERT_TRUE(s.w.module1.displayMode) << s.said();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    const std::uint32_t cyan = sylvane::storage::kTraceColors[0];
    expectLines(cyan, 3);
    const int between =
        (sylvane::acquisition::stepOfRecord(first, state.readingsPerStep) +
         sylvane::acquisition::stepOfRecord(read.markers[1].record, state.readingsPerStep)) /
        2;
    EXPECT_LT(s.pixels(cyan, between), 5) << "only the trace crosses other columns";

    // A marker file that lost its end and gained bad lines: the sound markers are drawn, one
    // message names the file and the lines.
    ASSERT_TRUE(writeFileBytes(s.path("marked.Mrk"),
                               mrk.left(mrk.indexOf('\n') + 1) + "not a marker\r\n" +
                                   QByteArray::number(records + 5) + ",1.000,\"past the end\"\r\n" +
                                   mrk.mid(mrk.indexOf('\n') + 1).chopped(3)));
    s.w.pixXYgraf->Cls();
    answerFileManager({"marked"});
    s.w.mnuDisplayOld->trigger();
    ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
    const QString said = s.messages.messages[0].prompt;
    EXPECT_TRUE(said.contains(s.path("marked.Mrk"))) << said.toStdString();
    EXPECT_TRUE(said.contains("Lines 2, 3, 5 ")) << said.toStdString();
    expectLines(cyan, 2);
}

SYLVANE_GTEST_QT_MAIN
