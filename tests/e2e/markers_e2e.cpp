// Event markers through the real window and the probe simulator on COM2: marked by the M key, a
// Ctrl+click on the graph and Session > Mark while frames keep being recorded, drawn on the live
// graph, saved beside the session and drawn again by the saved-session display; a saved marker
// file that is cut or holds bad lines is drawn as far as it is sound, with one message.

#include "acquisition/session_markers.h"
#include "dialogs/frm_file_manager.h"
#include "platform/picture_box.h"
#include "platform/vb_colors.h"
#include "storage/marker_file.h"
#include "storage/saved_sessions.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"
#include "tests/support/probe_sim_process.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace sylvane::testing;
using sylvane::dialogs::frmFileManager;

namespace {

constexpr int kWait = 30000;

// Pixels of the colour in column x of the picture.
int columnPixels(const sylvane::app::frmSylvane& w, int x, std::uint32_t vbColor) {
    const QColor wanted = sylvane::platform::toQColor(vbColor);
    int pixels = 0;
    for (int y = 0; y < w.pixXYgraf->height(); ++y)
        pixels += w.pixXYgraf->image().pixelColor(x, y) == wanted;
    return pixels;
}

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

void displaySaved(LiveSession& s, const QString& name) {
    whenModalShown<frmFileManager>([name](frmFileManager* d) {
        QTest::keyClicks(d->txtFM, name);
        QTest::keyClick(d->txtFM, Qt::Key_Return);
        QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
        if (d->isVisible()) d->close();
    });
    s.w.mnuDisplayOld->trigger();
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
    ASSERT_TRUE(s.running()) << s.said();
    const auto& state = s.w.engine.state();
    ASSERT_TRUE(waitUntil([&] { return state.recordNumber > 20; }, kWait));

    // The M key: the marker stands at the last recorded reading, and readings go on being
    // recorded while the box is open.
    const int first = state.recordNumber - 1;
    QTest::keyClick(&s.w, Qt::Key_M);
    ASSERT_NE(s.w.markerBox(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return state.recordNumber > first + 30; }, kWait));
    answerMarkerBox(s, "stimulus, \"loud\"", Qt::Key_Return);
    // A Ctrl+click on the graph; Escape drops a marker, Enter with no text keeps one.
    QTest::mouseClick(s.w.pixXYgraf, Qt::LeftButton, Qt::ControlModifier, {5, 5});
    answerMarkerBox(s, "dropped", Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return state.recordNumber > first + 60; }, kWait));
    QTest::mouseClick(s.w.pixXYgraf, Qt::LeftButton, Qt::ControlModifier, {5, 5});
    answerMarkerBox(s, "", Qt::Key_Return);
    // Session > Mark, then Stop with the box open: the marker goes in as typed.
    s.w.mnuMark->trigger();
    ASSERT_NE(s.w.markerBox(), nullptr);
    QTest::keyClicks(s.w.markerBox()->findChild<QLineEdit*>(), "at stop");
    s.w.mnuStop_Click();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    EXPECT_FALSE(s.w.mnuMark->isEnabled());

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
    EXPECT_GE(read.markers[2].record, read.markers[1].record);
    // Drawn on the live graph as yellow lines across it.
    const int perStep = state.readingsPerStep;
    for (const auto& m : read.markers) {
        const int x = sylvane::acquisition::stepOfRecord(m.record, perStep);
        EXPECT_GT(columnPixels(s.w, x, sylvane::acquisition::kLiveMarkerColor),
                  s.w.pixXYgraf->height() / 2)
            << m.record;
    }

    // Saved beside the session, and drawn in the trace's colour by the display.
    whenModalShown<frmFileManager>([](frmFileManager* d) {
        QTest::keyClicks(d->txtFM, "marked");
        QTest::keyClick(d->txtFM, Qt::Key_Return);
    });
    s.w.mnuSaveFile->trigger();
    ASSERT_EQ(s.file("marked.Mrk"), mrk) << s.said();
    displaySaved(s, "marked");
    ASSERT_TRUE(s.w.module1.displayMode) << s.said();
    EXPECT_TRUE(s.messages.messages.empty()) << s.said();
    const auto savedX = [&](const sylvane::storage::Marker& m) {
        return sylvane::acquisition::stepOfRecord(m.record, s.w.engine.state().readingsPerStep);
    };
    const std::uint32_t cyan = sylvane::storage::kTraceColors[0];
    for (const auto& m : read.markers)
        EXPECT_GT(columnPixels(s.w, savedX(m), cyan), s.w.pixXYgraf->height() / 2) << m.record;
    const int between = (savedX(read.markers[0]) + savedX(read.markers[1])) / 2;
    EXPECT_LT(columnPixels(s.w, between, cyan), 5) << "only the trace crosses other columns";

    // A marker file that lost its end and gained a bad line: the sound markers are drawn, one
    // message names the file and the lines.
    QFile cut(s.path("marked.Mrk"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cut.write(mrk.left(mrk.indexOf('\n') + 1) + "not a marker\r\n" +
              QByteArray::number(records + 5) + ",1.000,\"past the end\"\r\n" +
              mrk.mid(mrk.indexOf('\n') + 1).chopped(3));
    cut.close();
    s.w.pixXYgraf->Cls();
    displaySaved(s, "marked");
    ASSERT_EQ(s.messages.messages.size(), 1u) << s.said();
    const QString said = s.messages.messages[0].prompt;
    EXPECT_TRUE(said.contains(s.path("marked.Mrk"))) << said.toStdString();
    EXPECT_TRUE(said.contains("Lines 2, 3, 5 ")) << said.toStdString();
    EXPECT_GT(columnPixels(s.w, savedX(read.markers[0]), cyan), s.w.pixXYgraf->height() / 2);
    EXPECT_GT(columnPixels(s.w, savedX(read.markers[1]), cyan), s.w.pixXYgraf->height() / 2);
}

SYLVANE_GTEST_QT_MAIN
