// The whole way through the real program against the probe simulator on COM2: the first start
// in an empty folder, a recorded session, Stop, comments, Save under two names with different
// comments, both sessions displayed, another display, the normal display resumed, the close.
//
// Screenshots: with SYLVANE_SCREENSHOTS=<folder> the window (and the dialogs) are saved there
// as PNG files at each step, for example under a virtual display:
//   SYLVANE_SCREENSHOTS=/tmp/shots QT_QPA_PLATFORM=xcb
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/session_save_display_e2e

#include "app/frm_sylvane.h"
#include "dialogs/frm_file_manager.h"
#include "dialogs/frm_port_change.h"
#include "platform/file_list_boxes.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "storage/saved_sessions.h"
#include "storage/session_header.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using sylvane::acquisition::SerialLink;
using sylvane::app::frmSylvane;
using sylvane::dialogs::frmFileManager;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;
namespace storage = sylvane::storage;

namespace {

void screenshot(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariable("SYLVANE_SCREENSHOTS");
    if (folder.isEmpty() || !widget) return;
    QDir().mkpath(folder);
    sylvane::testing::pump(100);
    widget->grab().save(QDir(folder).filePath(name + ".png"));
}

template <typename D> void whenShown(std::function<void(D*)> act) {
    sylvane::testing::whenModalShown<D>([act](D* d) {
        ASSERT_NE(d, nullptr) << "the dialog never came";
        act(d);
    });
}

void saveAs(frmSylvane& w, const QString& name, const QString& shot) {
    whenShown<frmFileManager>([name, shot](frmFileManager* d) {
        QTest::keyClicks(d->txtFM, name);
        screenshot(d, shot);
        QTest::keyClick(d->txtFM, Qt::Key_Return);
    });
    w.mnuSaveFile->trigger();
}

void display(frmSylvane& w, const QStringList& names, const QString& shot) {
    whenShown<frmFileManager>([names, shot](frmFileManager* d) {
        for (const QString& name : names) {
            QTest::keyClicks(d->txtFM, name);
            QTest::keyClick(d->txtFM, Qt::Key_Return); // Enter adds in Display mode
            d->txtFM->clear();
        }
        d->txtFM->setText(names.back());
        screenshot(d, shot);
        QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
    });
    w.mnuDisplayOld->trigger();
}

int pixelsOf(const QImage& image, QSize visible, std::uint32_t vbColor) {
    const QColor wanted(static_cast<int>(vbColor & 0xFF), static_cast<int>((vbColor >> 8) & 0xFF),
                        static_cast<int>((vbColor >> 16) & 0xFF));
    int n = 0;
    for (int y = 0; y < visible.height(); ++y)
        for (int x = 0; x < visible.width(); ++x) n += image.pixelColor(x, y) == wanted;
    return n;
}

// The first four lines of a header as written at Stop, with the comments that were typed later.
QByteArray withComments(const QByteArray& stopped, const std::string& comments) {
    storage::SessionHeader h = storage::readSessionHeader(stopped.toStdString());
    h.comments = comments;
    return QByteArray::fromStdString(storage::headerBytes(h));
}

} // namespace

TEST(SessionSaveAndDisplay, RecordSaveTwiceDisplayBothResumeAndClose) {
    sylvane::testing::ProgramFolder folder;
    sylvane::testing::MessageRecorder messages;
    sylvane::testing::ProbeSimProcess sim(folder.path(), 2, {"--rate", "40", "--seed", "5"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    const QString saved = folder.file("sessions");
    QDir(folder.path()).mkdir("sessions");

    // First start: the message, then the port dialog, where COM2 is the one port found.
    frmSylvane w({folder.path(), {}});
    w.portProber = [](int port) {
        return static_cast<int>(port == 2 ? SerialLink::OpenError::None
                                          : SerialLink::OpenError::NoSuchPort);
    };
    whenShown<sylvane::dialogs::frmPortChange>([](sylvane::dialogs::frmPortChange* d) {
        screenshot(d, "01-port-dialog");
        QTest::mouseClick(d->cmdOK, Qt::LeftButton);
    });
    w.Form_Load();
    w.show();
    ASSERT_TRUE(waitUntil([&] { return !w.layoutPending; }, 10000));
    EXPECT_EQ(messages.prompts(), QStringList{"Need to select Comm Port"});
    EXPECT_EQ(w.LblParams[5]->caption(), "2");
    messages.messages.clear();
    const double normalWidth = w.Width();
    const double normalHeight = w.Height();
    screenshot(&w, "02-first-start");

    // Record until a few hundred readings are in, then stop.
    w.mnuStart->trigger();
    const QString tst = folder.file("tempdata.tst");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(tst).size() >= 4 * 300; }, 90000))
        << "readings recorded: " << QFileInfo(tst).size() / 4;
    screenshot(&w, "03-recording");
    w.mnuStop->trigger();
    ASSERT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    const QByteArray readings = readFileBytes(tst);
    const QByteArray text = readFileBytes(folder.file("tempdata.txt"));
    const QByteArray stopped = readFileBytes(folder.file("tempdata.hdr"));
    ASSERT_TRUE(storage::readSessionHeader(stopped.toStdString()).complete());
    ASSERT_EQ(text.count('\n'), readings.size() / 4);

    // Comments typed after Stop go with the first save; changed ones with the second.
    w.module1.appPath = saved;
    w.TxtSeshnComnts->setText("Resting, eyes closed");
    saveAs(w, "alpha", "04-save-dialog");
    w.TxtSeshnComnts->setText("Same session, \"second\" look\nwith a second line");
    saveAs(w, "beta.tst", "05-save-again");
    ASSERT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();

    const auto inSaved = [&](const char* name) { return QDir(saved).filePath(name); };
    EXPECT_EQ(readFileBytes(inSaved("alpha.Tst")), readings);
    EXPECT_EQ(readFileBytes(inSaved("beta.Tst")), readings);
    EXPECT_EQ(readFileBytes(inSaved("alpha.Txt")), text);
    EXPECT_EQ(readFileBytes(inSaved("beta.Txt")), text);
    EXPECT_EQ(readFileBytes(inSaved("alpha.Hdr")), withComments(stopped, "Resting, eyes closed"));
    EXPECT_EQ(readFileBytes(inSaved("beta.Hdr")),
              withComments(stopped, "Same session, \"second\" look\nwith a second line"));
    EXPECT_EQ(QDir(saved).entryList(QDir::Files).size(), 6);

    // Both displayed: the second (yellow) is drawn over the first, which has the same readings.
    display(w, {"alpha", "beta"}, "06-display-dialog");
    ASSERT_TRUE(waitUntil([&] { return !w.layoutPending; }, 10000));
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
    EXPECT_TRUE(w.module1.displayMode);
    EXPECT_FALSE(w.mnuSession->menuAction()->isVisible());
    EXPECT_EQ(w.TxtSeshnComnts->Text(),
              "alpha  Comments ...\nResting, eyes closed\n"
              "beta  Comments ...\nSame session, \"second\" look\nwith a second line\n");
    const QSize visible = w.pixXYgraf->size();
    EXPECT_GT(pixelsOf(w.pixXYgraf->image(), visible, storage::kTraceColors[1]), 20);
    EXPECT_GT(pixelsOf(w.pixXYgraf->image(), visible, 0xFFFFFF), 100);
    EXPECT_EQ(pixelsOf(w.pixXYgraf->image(), visible, 0xFF00FF), 0);
    screenshot(&w, "07-display-both");

    // Display another session from a click on the picture: the first alone, in cyan.
    whenShown<frmFileManager>([](frmFileManager* d) {
        d->txtFM->setText("alpha.Tst");
        d->cmdAdd2List_Click();
        QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
    });
    QTest::mouseClick(w.pixXYgraf, Qt::LeftButton);
    EXPECT_EQ(w.TxtSeshnComnts->Text(), "alpha  Comments ...\nResting, eyes closed\n");
    EXPECT_GT(pixelsOf(w.pixXYgraf->image(), visible, storage::kTraceColors[0]), 20);
    EXPECT_EQ(pixelsOf(w.pixXYgraf->image(), visible, storage::kTraceColors[1]), 0);
    screenshot(&w, "08-display-alpha");

    // Back to the normal display, then the close writes the normal window's settings.
    w.mnuSaveFile->trigger();
    ASSERT_TRUE(waitUntil([&] { return !w.layoutPending; }, 10000));
    EXPECT_FALSE(w.module1.displayMode);
    EXPECT_TRUE(w.mnuSession->menuAction()->isVisible());
    // The arrangement that follows snaps the restored size to its grid.
    EXPECT_NEAR(w.Width(), normalWidth, sylvane::platform::screenWidthTwips() / 32);
    EXPECT_NEAR(w.Height(), normalHeight, sylvane::platform::screenHeightTwips() / 32);
    screenshot(&w, "09-resumed");
    w.close();
    const QByteArray ini = readFileBytes(folder.file("sylvane.ini"));
    EXPECT_TRUE(ini.contains("\"Port # \"\r\n\"2\"\r\n")) << ini.toStdString();
    EXPECT_FALSE(ini.contains("False")) << ini.toStdString();
    EXPECT_TRUE(messages.messages.empty()) << messages.prompts().join("|").toStdString();
}

SYLVANE_GTEST_QT_MAIN
