// The dialogs from the real window on real folders: the file manager, the port and sensitivity.

#include "dialogs/frm_file_manager.h"
#include "dialogs/frm_port_change.h"
#include "dialogs/frm_set_sense.h"
#include "platform/file_list_boxes.h"
#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/live_session.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

using namespace sylvane::testing;
using sylvane::acquisition::SerialLink;
using sylvane::dialogs::frmFileManager;
namespace pf = sylvane::platform;

namespace {

const QByteArray kTst = tstOf({1500, 1502, 1499}), kTxt = txtOf({1500, 1502, 1499});

// A window after a recorded session, its file manager starting in the folder "data".
struct Fixture : LiveSession {
    QString data = path("data");
    explicit Fixture(bool withSession = true) {
        QDir(folder).mkdir("data");
        w.module1.appPath = data;
        if (withSession) {
            writeFileBytes(path("tempdata.tst"), kTst);
            writeFileBytes(path("tempdata.txt"), kTxt);
            writeFileBytes(path("tempdata.hdr"), hdrOf(1499, 1502, " "));
        }
        w.show();
    }
    QString inData(const QString& name) const { return QDir(data).filePath(name); }
    // The dialog in Display mode as the Display command sets it up, with files s1 and s2.
    std::unique_ptr<frmFileManager> displayDialog() {
        writeFileBytes(inData("s1.Tst"), "abcd");
        writeFileBytes(inData("s2.Tst"), "abcd");
        auto d = std::make_unique<frmFileManager>(w, &w);
        d->cmdFileOption->setText("Display");
        d->setCaption("Display saved session file");
        d->cmdAdd2List->setVisible(true);
        return d;
    }
};

// Runs act once d is the modal dialog, with d open.
void whileOpen(const std::unique_ptr<frmFileManager>& d, std::function<void()> act) {
    QTimer::singleShot(0, [&d, act] {
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() == d.get(); }));
        act();
        if (d->isVisible()) d->close();
    });
}

// Double-clicks a listed file once the list holds it; a double-click follows a click.
void doubleClick(frmFileManager* d, const QString& name) {
    ASSERT_TRUE(waitUntil([&] { return d->filFM->fileNames().contains(name); }, 10000));
    const QModelIndex index = d->filFM->indexOfFile(name);
    d->filFM->scrollTo(index);
    const QPoint at = d->filFM->visualRect(index).center();
    QTest::mouseClick(d->filFM->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(d->txtFM->text(), name);
    QTest::mouseDClick(d->filFM->viewport(), Qt::LeftButton, {}, at);
}

// How a row ends a dialog: its OK or Cancel button, or Esc (which used to act as the close box,
// skipping what Cancel does).
enum End { Ok, Cancel, Esc };
void end(End how, QWidget* dialog, QPushButton* ok, QPushButton* cancel) {
    if (how == Esc)
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
    else
        QTest::mouseClick(how == Ok ? ok : cancel, Qt::LeftButton);
}

} // namespace

TEST(SaveSession, NamesOverwriteRefusalsAndTheCopiesWithTheCurrentComments) {
    enum Setup { Plain, NoSession, Existing, Linked, TstIsDir, NoTxt };
    const char* overwrite = "File already exists !\rDo you wish to overwrite it?";
    const char* reserved = "'tempdata.tst' is a reserved filename\r\nPlease use another name.";
    // The name typed, the setup, the answer to the overwrite question, the message, whether the
    // dialog stays open, the name saved under (nullptr: nothing written) and name.Tst, .Txt and
    // .Hdr afterwards: the session's copy (S), the older file (o) or none (-).
    const std::tuple<const char*, Setup, int, const char*, bool, const char*, const char*> rows[] =
        {{"a.b.tst", Plain, 0, nullptr, false, "a", "SSS"},
         {"run1.tst", Existing, pf::vbNo, overwrite, true, nullptr, "o--"},
         {"run1", Existing, pf::vbYes, overwrite, false, "run1", "SSS"},
         {"tempdata.tst", Plain, 0, reserved, true, nullptr, "---"},
         {"", Plain, 0, nullptr, true, nullptr, "---"},
         {"", NoSession, 0, "There is no session data to save!", false, nullptr, "---"},
         // A name that leads onto the working files through a link used to copy them onto
         // themselves; failed copies used to close the dialog as if the session was saved.
         {"linked.xyz", Linked, 0, reserved, true, nullptr, "---"},
         {"run1", TstIsDir, 0, "run1.Tst", true, nullptr, "---"},
         {"run1", NoTxt, 0, "run1.Txt", true, nullptr, "So-"}};
    for (const auto& [typed, setup, answer, message, staysOpen, savedAs, files] : rows) {
        SCOPED_TRACE(std::string(typed) + " " + std::to_string(setup));
        Fixture f(setup != NoSession);
        // An older session of the name, with markers; an older text that a failed copy keeps.
        if (setup == Existing)
            for (const char* name : {"run1.Tst", "run1.mrk"})
                writeFileBytes(f.inData(name), "older");
        if (setup == NoTxt) writeFileBytes(f.inData("run1.Txt"), "older");
        if (setup == Linked) QFile::link(f.path("tempdata.hdr"), f.inData("linked.Hdr"));
        if (setup == TstIsDir) QDir(f.data).mkdir("run1.Tst");
        if (setup == NoTxt) QFile::remove(f.path("tempdata.txt"));
        f.messages.answers = {answer};
        f.w.TxtSeshnComnts->setText("typed \"after\" stop");
        QWidget* shown = nullptr;
        bool stayedOpen = false;
        if (setup == NoSession) { // the file manager must not open
            QTimer::singleShot(0, &f.w, [&] {
                if ((shown = QApplication::activeModalWidget())) shown->close();
            });
        } else {
            whenModalShown<frmFileManager>([&](frmFileManager* d) {
                shown = d;
                EXPECT_EQ(d->windowTitle(), "Save session file");
                d->txtFM->setText(typed);
                QTest::keyClick(d->txtFM, Qt::Key_Return);
                if ((stayedOpen = QApplication::activeModalWidget() == d)) d->cmdCancel_Click();
            });
        }
        f.w.mnuSaveFile->trigger();
        pump(20);
        EXPECT_EQ(shown != nullptr, setup != NoSession);
        EXPECT_EQ(stayedOpen, staysOpen);
        const QString said = f.messages.prompts().join("|");
        EXPECT_TRUE(message ? said == message || said.contains(f.inData(message)) : said.isEmpty())
            << said.toStdString();
        const QByteArray header = hdrOf(1499, 1502, "\\=typed \\qafter\\q stop");
        const QString saved = f.inData(savedAs ? savedAs : "run1");
        const QByteArray copies[] = {kTst, kTxt, header};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(readFileBytes(saved + std::array{".Tst", ".Txt", ".Hdr"}[i]),
                      files[i] == 'S' ? copies[i] : QByteArray(files[i] == 'o' ? "older" : ""))
                << i;
        EXPECT_EQ(QFile::exists(f.inData("run1.mrk")), setup == Existing && !savedAs)
            << "the older session's markers go with it";
        EXPECT_FALSE(QFile::exists(saved + ".Txt.saving"));
        // Only a session whose copy is whole is marked saved, for the next start to clear.
        EXPECT_EQ(f.file("tempdata.tim").contains("saved,"), savedAs != nullptr);
        // The working files are never written over; the header takes the comments once a name is.
        if (setup == NoSession) continue;
        EXPECT_EQ(f.file("tempdata.tst"), kTst);
        EXPECT_EQ(f.file("tempdata.txt"), setup == NoTxt ? "" : kTxt);
        if (savedAs || setup == Linked) {
            EXPECT_EQ(f.file("tempdata.hdr"), savedAs ? header : hdrOf(1499, 1502, " "));
        }
    }
}

// Tabbing into the Save dialog's file list used to choose its first file, replacing the name.
TEST(FileManager, DisplayAddsSixOpensWhereLastUsedRegressionsListFocusEscAndAReleasedEnter) {
    Fixture f;
    for (const char* name :
         {"s4.Tst", "s5.Tst", "s6.Tst", "b.tst", "c.TST", "c.HDR", "d.txt", "e.Hdr", "f.tstx"})
        writeFileBytes(f.inData(name), "abcd");
    auto d = f.displayDialog();
    const QStringList expected{"b.tst", "c.TST", "s1.Tst", "s2.Tst", "s4.Tst", "s5.Tst", "s6.Tst"};
    QStringList listed, captions;
    QList<std::uint32_t> colours;
    whileOpen(d, [&] {
        // The model lists, then sorts: wait for the whole list as it should end.
        waitUntil([&] { return (listed = d->filFM->fileNames()) == expected; }, 10000);
        d->txtFM->setText("missing");
        QTest::keyClick(d->txtFM, Qt::Key_Return);
        // A listed set is used as it is spelt on disk (c.TST with c.HDR).
        for (const char* name : {"s1", "s2.tst", "c.TST", "s4", "s5", "s6"}) {
            if (f.w.module1.displayFileCount == 5) {
                for (auto* l : d->lblFile2Display) captions << l->caption();
                for (auto* l : d->lblFile2Display) colours << l->backColor();
            }
            d->txtFM->setText(name);
            QTest::mouseClick(d->cmdAdd2List, Qt::LeftButton);
        }
    });
    EXPECT_EQ(d->exec(), QDialog::Accepted) << "the sixth Add ends the dialog";
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(captions, (QStringList{"s1", "s2.tst", "c.TST", "s4", "s5", "File to Display"}));
    // Cyan, yellow, green, magenta, blue and red, as 0x00BBGGRR.
    EXPECT_EQ(colours,
              (QList<std::uint32_t>{0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF}));
    ASSERT_EQ(f.w.module1.displayFileCount, 6);
    const auto& m = f.w.module1;
    EXPECT_EQ((QStringList{m.displayTstFiles[2], m.displayHdrFiles[2], m.displayHdrFiles[5]}),
              (QStringList{f.inData("c.TST"), f.inData("c.HDR"), f.inData("s6.Hdr")}));
    EXPECT_EQ(f.messages.titles(), QStringList{"Error accessing 'File to Display'"});
    EXPECT_EQ(f.messages.prompts(), QStringList{"File not found: " + f.inData("missing.Tst")});
    d.reset();

    // The next opening starts in the folder last used.
    const QString deeper = f.inData("deeper");
    QDir(f.data).mkdir("deeper");
    writeFileBytes(QDir(deeper).filePath("x.Tst"), "abcd");
    d = f.displayDialog();
    d->show();
    d->dirFM->setPath(deeper);
    EXPECT_EQ(f.w.module1.appPath, deeper);
    d->drvFM_Change(); // the volume that holds the folder keeps it
    EXPECT_EQ(d->dirFM->Path(), deeper);
    auto again = f.displayDialog();
    again->show();
    EXPECT_EQ(again->dirFM->Path(), deeper);
    EXPECT_TRUE(waitUntil([&] { return again->filFM->fileNames().contains("x.Tst"); }, 10000));
    // The folder stays in view once the folders around it have been read in.
    pf::DirListBox* tree = again->dirFM;
    EXPECT_TRUE(waitUntil([tree] {
        for (QModelIndex up = tree->currentIndex().parent(); up.isValid(); up = up.parent())
            if (tree->model()->canFetchMore(up) || tree->model()->rowCount(up) == 0) return false;
        return tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()));
    }));
    // A remembered folder that has gone opens on its nearest parent.
    again.reset();
    QDir(deeper).removeRecursively();
    EXPECT_EQ(f.displayDialog()->dirFM->Path(), f.data);

    f.messages.messages.clear();
    f.messages.answers = {pf::vbYes};
    whenModalShown<frmFileManager>([&](frmFileManager* d) {
        ASSERT_TRUE(waitUntil([&] { return d->filFM->fileNames().contains("s1.Tst"); }, 10000));
        d->activateWindow(); // focus moves only within the active window
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        d->txtFM->setText("mynewname");
        QTest::keyClick(d->txtFM, Qt::Key_Tab);
        QTest::keyClick(d->dirFM, Qt::Key_Tab);
        EXPECT_TRUE(d->filFM->hasFocus());
        EXPECT_EQ(d->txtFM->text(), "mynewname");
        doubleClick(d, "s1.Tst");
    });
    f.w.mnuSaveFile->trigger();
    EXPECT_EQ(f.messages.prompts(),
              QStringList{"File already exists !\rDo you wish to overwrite it?"});
    EXPECT_EQ(readFileBytes(f.inData("s1.Tst")), kTst);

    // Esc used to act as the close box (keeping the list) instead of Cancel; an Enter released in
    // the name box after its press had closed a message box used to run the command again.
    // How the choice ends, the name typed before, whether the dialog ends, the files chosen.
    const std::tuple<const char*, const char*, bool, int> rows[] = {
        {"display", "", false, 1},   {"display", "s2", true, 1}, {"cancel", "", true, 0},
        {"esc", "s2", true, 0},      {"close", "", true, 1},     {"enter", "s2", false, 2},
        {"release", "s2", false, 1}, {"dblclick", "", false, 2}};
    for (const auto& [ending, typedBeforeEnd, ends, count] : rows) {
        SCOPED_TRACE(std::string(ending) + " " + typedBeforeEnd);
        Fixture row(false);
        auto dialog = row.displayDialog();
        bool open = false;
        const QString how = ending;
        whileOpen(dialog, [&] {
            dialog->txtFM->setText("s1");
            dialog->cmdAdd2List_Click();
            dialog->txtFM->setText(typedBeforeEnd);
            if (how == "display") QTest::mouseClick(dialog->cmdFileOption, Qt::LeftButton);
            if (how == "cancel") QTest::mouseClick(dialog->cmdCancel, Qt::LeftButton);
            if (how == "esc") QTest::keyClick(dialog->txtFM, Qt::Key_Escape);
            if (how == "close") dialog->close();
            if (how == "release") QTest::keyRelease(dialog->txtFM, Qt::Key_Return);
            if (how == "enter") QTest::keyClick(dialog->txtFM, Qt::Key_Return);
            if (how == "dblclick") doubleClick(dialog.get(), "s2.Tst");
            open = dialog->isVisible();
        });
        dialog->exec();
        EXPECT_EQ(open, !ends);
        EXPECT_EQ(row.w.module1.displayFileCount, count);
        EXPECT_TRUE(row.messages.messages.empty());
    }
}

// The port label's dialog probes the ports; the sensitivity slider takes keys (steps: unit table).
TEST(LabelDialogs, PortsProbedAndPreselectedSensitivityKeysMoveTheSliderOkWritesTheChoice) {
    // Bit i of usable: COM(i+1) can be opened; the captions shown and left, from "3".
    const std::tuple<int, End, const char*, const char*> ports[] = {
        {0xFF, Ok, "3", "3"}, {0x20, Cancel, "6", "6"}, {0x00, Ok, "", "2"}, {0x00, Esc, "", "1"}};
    // The caption, the key (Key_unknown: the slider left alone), how the dialog ends, the value
    // the label, the slider and the dialog's text show while it is open, and the caption after.
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, End, const char*, const char*>
        senses[] = {{"25", Qt::Key_PageUp, Qt::ControlModifier, Ok, "25", " 125"},
                    {"500", Qt::Key_Right, Qt::ShiftModifier, Ok, "500", " 505"},
                    {"5", Qt::Key_unknown, {}, Cancel, "20", "20"},
                    {"40", Qt::Key_Right, Qt::NoModifier, Esc, "40", "40"}};
    for (std::size_t row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        LiveSession s;
        const auto& [usable, how, shownCaption, finalCaption] = ports[row];
        s.w.LblParams[5]->setCaption("3");
        s.w.portProber = [usable](int port) {
            // Failures other than "no such port" and "in use" still offer the port.
            if (usable & (1 << (port - 1)))
                return static_cast<int>(port == 4 ? SerialLink::OpenError::Other
                                                  : SerialLink::OpenError::None);
            return static_cast<int>(port % 2 ? SerialLink::OpenError::NoSuchPort
                                             : SerialLink::OpenError::InUse);
        };
        QString seen; // the caption, the ports offered, the probing notice
        whenModalShown<sylvane::dialogs::frmPortChange>([&](sylvane::dialogs::frmPortChange* d) {
            ASSERT_NE(d, nullptr);
            int mask = 0;
            for (int i = 0; i < 8; ++i) mask |= d->optCom[i]->isEnabled() ? 1 << i : 0;
            seen = QString("%1|%2|%3")
                       .arg(s.w.LblParams[5]->caption())
                       .arg(mask)
                       .arg(s.w.LblParams[6]->isVisible() ? "notice shown" : "");
            end(how, d, d->cmdOK, d->cmdCancel);
        });
        s.w.show();
        // The port label opens it only while no session runs.
        s.w.mnuStart->setEnabled(false);
        s.w.LblParams_Click(5);
        s.w.mnuStart->setEnabled(true);
        s.w.LblParams_Click(5);
        EXPECT_EQ(seen, QString("%1|%2|").arg(shownCaption).arg(usable));
        EXPECT_EQ(s.w.LblParams[5]->caption(), finalCaption);
        EXPECT_EQ(s.messages.prompts(),
                  usable ? QStringList{} : QStringList{"There are no available COMM ports."});

        const auto& [caption, key, modifiers, ending, whileOpen, sensitivity] = senses[row];
        s.w.LblParams[3]->setCaption(caption);
        QString atOpen, atEnd;
        whenModalShown<sylvane::dialogs::frmSetSense>([&](sylvane::dialogs::frmSetSense* d) {
            ASSERT_NE(d, nullptr);
            atOpen = s.w.LblParams[3]->caption() + "|" + QString::number(d->Slider1->value()) +
                     "|" + d->lblSenseValu->caption();
            if (key != Qt::Key_unknown) {
                d->Slider1->setFocus();
                QTest::keyClick(d->Slider1, key, modifiers);
            }
            end(ending, d, d->cmdOkay, d->cmdCancel);
            atEnd = d->lblSenseValu->caption(); // the value in effect
        });
        s.w.LblParams_Click(3);
        EXPECT_EQ(atOpen, QString("%1|%1|%1").arg(whileOpen));
        EXPECT_EQ(s.w.LblParams[3]->caption() + "|" + atEnd, QString("%1|%1").arg(sensitivity));
    }
}

SYLVANE_GTEST_QT_MAIN
