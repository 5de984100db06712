// The file manager opened from the real window on real folders: Save mode (names, the overwrite
// question, refusals, the copies with the current comments) and Display mode (the *.tst list in
// any letter case, Add, the six coloured labels, the ways to end the choice, the folder kept).

#include "app/frm_sylvane.h"
#include "dialogs/file_path_parse.h"
#include "dialogs/frm_file_manager.h"
#include "platform/file_list_boxes.h"
#include "platform/label.h"
#include "storage/saved_sessions.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using sylvane::app::frmSylvane;
using sylvane::dialogs::frmFileManager;
using sylvane::testing::readFileBytes;
using sylvane::testing::waitUntil;
namespace pf = sylvane::platform;

namespace {

const QByteArray kTst("\xDC\x05\0\0\xDE\x05\0\0\xDB\x05\0\0", 12);
const QByteArray kTxt("1500\r\n1502\r\n1499\r\n");

QByteArray headerWith(const QByteArray& comments) {
    return "\"MinADC\"\r\n\" 1499\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\"" + comments + "\"\r\n";
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// A window after a recorded session, its file manager starting in the folder "data".
struct Fixture {
    sylvane::testing::ProgramFolder folder;
    frmSylvane w{{folder.path(), {}}};
    sylvane::testing::MessageRecorder messages;
    QString data = folder.file("data");

    explicit Fixture(bool withSession = true) {
        QDir(folder.path()).mkdir("data");
        w.module1.appPath = data;
        if (withSession) {
            writeFile(folder.file("tempdata.tst"), kTst);
            writeFile(folder.file("tempdata.txt"), kTxt);
            writeFile(folder.file("tempdata.hdr"), headerWith(" "));
        }
        w.show();
    }
    QString inData(const QString& name) const { return QDir(data).filePath(name); }
    // The dialog in Display mode as the Display command sets it up.
    std::unique_ptr<frmFileManager> displayDialog() {
        auto d = std::make_unique<frmFileManager>(w, &w);
        d->cmdFileOption->setText("Display");
        d->setCaption("Display saved session file");
        d->cmdAdd2List->setVisible(true);
        return d;
    }
};

void whenShown(std::function<void(frmFileManager*)> act) {
    sylvane::testing::whenModalShown<frmFileManager>([act](frmFileManager* d) {
        ASSERT_NE(d, nullptr) << "the file manager never came";
        act(d);
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

} // namespace

TEST(SaveSession, NamesOverwriteRefusalsAndTheCopiesWithTheCurrentComments) {
    enum Setup {
        Plain,
        NoSession,
        EmptySession,
        Existing,
        LinkTst,
        LinkHdr,
        LinkTxt,
        TstIsDir,
        NoTxt
    };
    const char* overwrite = sylvane::dialogs::kOverwriteText;
    const char* reserved = sylvane::dialogs::kReservedNameText;
    const struct {
        const char* typed;
        Setup setup;
        int answer; // to the overwrite question
        const char* message;
        bool staysOpen;
        const char* savedAs; // nullptr: nothing written
    } rows[] = {
        {"a.b.tst", Plain, 0, nullptr, false, "a"},
        {"run1.tst", Existing, pf::vbNo, overwrite, true, nullptr},
        {"run1", Existing, pf::vbYes, overwrite, false, "run1"},
        {"tempdata.tst", Plain, 0, reserved, true, nullptr},
        {"", Plain, 0, nullptr, true, nullptr},
        {"", NoSession, 0, "There is no session data to save!", false, nullptr},
        {"", EmptySession, 0, "There is no session data to save!", false, nullptr},
        // Names that lead onto the working files through links used to copy them onto
        // themselves; failed copies used to close the dialog as if the session had been saved.
        {"linked", LinkTst, 0, reserved, true, nullptr},
        {"linked.xyz", LinkHdr, 0, reserved, true, nullptr},
        {"linked", LinkTxt, 0, reserved, true, nullptr},
        {"run1", TstIsDir, 0, "run1.Tst", true, nullptr},
        {"run1", NoTxt, 0, "run1.Txt", true, nullptr}};
    for (const auto& r : rows) {
        const std::string where = std::string(r.typed) + " " + std::to_string(r.setup);
        Fixture f(r.setup != NoSession);
        const QByteArray older("older session");
        if (r.setup == EmptySession) writeFile(f.folder.file("tempdata.tst"), {});
        if (r.setup == Existing) writeFile(f.inData("run1.Tst"), older);
        if (r.setup == LinkTst) QFile::link(f.folder.file("tempdata.tst"), f.inData("linked.Tst"));
        if (r.setup == LinkHdr) QFile::link(f.folder.file("tempdata.hdr"), f.inData("linked.Hdr"));
        if (r.setup == LinkTxt) QFile::link(f.folder.file("tempdata.txt"), f.inData("linked.Txt"));
        if (r.setup == TstIsDir) QDir(f.data).mkdir("run1.Tst");
        if (r.setup == NoTxt) QFile::remove(f.folder.file("tempdata.txt"));
        f.messages.answers = {r.answer};
        f.w.TxtSeshnComnts->setText("typed \"after\" stop");
        const bool nothingToSave = r.setup == NoSession || r.setup == EmptySession;
        bool shown = false, stayedOpen = false;
        if (nothingToSave) {
            QTimer::singleShot(0, &f.w, [&] {
                if ((shown = QApplication::activeModalWidget()))
                    QApplication::activeModalWidget()->close();
            });
        } else {
            whenShown([&](frmFileManager* d) {
                shown = true;
                EXPECT_EQ(d->windowTitle(), "Save session file");
                EXPECT_FALSE(d->cmdAdd2List->isVisible());
                d->txtFM->setText(r.typed);
                QTest::keyClick(d->txtFM, Qt::Key_Return);
                if ((stayedOpen = QApplication::activeModalWidget() == d)) d->cmdCancel_Click();
            });
        }
        f.w.mnuSaveFile->trigger();
        sylvane::testing::pump(20);
        EXPECT_EQ(shown, !nothingToSave) << where;
        EXPECT_EQ(stayedOpen, r.staysOpen) << where;
        if (r.message) {
            ASSERT_EQ(f.messages.prompts().size(), 1) << where;
            const QString prompt = f.messages.prompts()[0];
            EXPECT_TRUE(r.setup >= TstIsDir ? prompt.contains(f.inData(r.message))
                                            : prompt == r.message)
                << where << ": " << prompt.toStdString();
        } else {
            EXPECT_TRUE(f.messages.messages.empty()) << where;
        }
        const QByteArray header = headerWith("\\=typed \\qafter\\q stop");
        if (r.savedAs) {
            const QString saved = f.inData(r.savedAs);
            EXPECT_EQ(readFileBytes(saved + ".Tst"), kTst) << where;
            EXPECT_EQ(readFileBytes(saved + ".Txt"), kTxt) << where;
            EXPECT_EQ(readFileBytes(saved + ".Hdr"), header) << where;
            EXPECT_EQ(readFileBytes(f.folder.file("tempdata.hdr")), header) << where;
        } else {
            EXPECT_EQ(readFileBytes(f.inData("run1.Tst")),
                      r.setup == Existing ? older : (r.setup == NoTxt ? kTst : ""))
                << where;
            EXPECT_FALSE(QFile::exists(f.inData("run1.Hdr"))) << where;
        }
        // The working files are never written over.
        if (r.setup == NoSession) continue;
        EXPECT_EQ(readFileBytes(f.folder.file("tempdata.tst")), r.setup == EmptySession ? "" : kTst)
            << where;
        EXPECT_EQ(readFileBytes(f.folder.file("tempdata.txt")), r.setup == NoTxt ? "" : kTxt)
            << where;
        const bool linked = r.setup >= LinkTst && r.setup <= LinkTxt;
        EXPECT_TRUE(!linked || readFileBytes(f.folder.file("tempdata.hdr")) == headerWith(" "))
            << where;
    }
}

// Tabbing into the file list used to choose its first file and replace the typed name.
TEST(SaveSession, RegressionFocusOnTheListChoosesNoFileADoubleClickSavesUnderItsName) {
    Fixture f;
    writeFile(f.inData("old.Tst"), "x");
    f.messages.answers = {pf::vbYes};
    whenShown([&](frmFileManager* d) {
        ASSERT_TRUE(waitUntil([&] { return d->filFM->fileNames().contains("old.Tst"); }, 10000));
        d->txtFM->setText("mynewname");
        QTest::keyClick(d->txtFM, Qt::Key_Tab);
        QTest::keyClick(d->dirFM, Qt::Key_Tab);
        EXPECT_TRUE(d->filFM->hasFocus());
        EXPECT_EQ(d->txtFM->text(), "mynewname");
        doubleClick(d, "old.Tst");
    });
    f.w.mnuSaveFile->trigger();
    EXPECT_EQ(f.messages.prompts(), QStringList{sylvane::dialogs::kOverwriteText});
    EXPECT_EQ(readFileBytes(f.inData("old.Tst")), kTst);
}

TEST(FileManagerDisplay, ListsAndAddsUpToSixInTheTraceColours) {
    Fixture f(false);
    for (const char* name : {"s1.Tst", "s2.Tst", "s4.Tst", "s5.Tst", "s6.Tst", "b.tst", "c.TST",
                             "c.HDR", "d.txt", "e.Hdr", "f.tstx"})
        writeFile(f.inData(name), "abcd");
    auto d = f.displayDialog();
    const QStringList expected{"b.tst", "c.TST", "s1.Tst", "s2.Tst", "s4.Tst", "s5.Tst", "s6.Tst"};
    QStringList listed, captions;
    std::vector<std::uint32_t> colours;
    int countBeforeSixth = -1;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() == d.get(); }));
        // The model lists, then sorts: wait for the whole list as it should end.
        waitUntil([&] { return (listed = d->filFM->fileNames()) == expected; }, 10000);
        d->txtFM->setText("missing");
        QTest::keyClick(d->txtFM, Qt::Key_Return);
        // A listed set is used as it is spelt on disk (c.TST with c.HDR).
        for (const char* name : {"s1", "s2.tst", "c.TST", "s4", "s5", "s6"}) {
            if (f.w.module1.displayFileCount == 5) {
                countBeforeSixth = 5;
                for (auto* l : d->lblFile2Display) captions << l->caption();
                for (auto* l : d->lblFile2Display) colours.push_back(l->backColor());
            }
            d->txtFM->setText(name);
            QTest::mouseClick(d->cmdAdd2List, Qt::LeftButton);
        }
        if (d->isVisible()) d->close();
    });
    EXPECT_EQ(d->exec(), QDialog::Accepted) << "the sixth Add ends the dialog";
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(countBeforeSixth, 5);
    EXPECT_EQ(captions, (QStringList{"s1", "s2.tst", "c.TST", "s4", "s5", "File to Display"}));
    EXPECT_EQ(colours, std::vector<std::uint32_t>(sylvane::storage::kTraceColors.begin(),
                                                  sylvane::storage::kTraceColors.end()));
    ASSERT_EQ(f.w.module1.displayFileCount, 6);
    EXPECT_EQ(f.w.module1.displayTstFiles[2], f.inData("c.TST"));
    EXPECT_EQ(f.w.module1.displayHdrFiles[2], f.inData("c.HDR"));
    EXPECT_EQ(f.w.module1.displayHdrFiles[5], f.inData("s6.Hdr"));
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].title, sylvane::dialogs::kAccessErrorTitle);
    EXPECT_EQ(f.messages.messages[0].prompt, "File not found: " + f.inData("missing.Tst"));
    EXPECT_EQ(f.messages.messages[0].style, pf::vbOKOnly | pf::vbExclamation);
}

// Esc used to act as the close box (keeping the list) instead of Cancel; an Enter released in
// the name box after its press had closed a message box used to run the command again.
TEST(FileManagerDisplay, DisplayCancelEscCloseEnterAndDoubleClick) {
    const struct {
        const char* how;
        const char* typedBeforeEnd;
        bool ends;
        int count;
    } rows[] = {{"display", "", false, 1},   {"display", "s2", true, 1}, {"cancel", "", true, 0},
                {"esc", "s2", true, 0},      {"close", "", true, 1},     {"enter", "s2", false, 2},
                {"release", "s2", false, 1}, {"dblclick", "", false, 2}};
    for (const auto& r : rows) {
        Fixture f(false);
        writeFile(f.inData("s1.Tst"), "abcd");
        writeFile(f.inData("s2.Tst"), "abcd");
        auto d = f.displayDialog();
        bool open = false;
        const QString how = r.how;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() == d.get(); }));
            d->txtFM->setText("s1");
            d->cmdAdd2List_Click();
            d->txtFM->setText(r.typedBeforeEnd);
            if (how == "display") QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
            if (how == "cancel") QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
            if (how == "esc") QTest::keyClick(d->txtFM, Qt::Key_Escape);
            if (how == "close") d->close();
            if (how == "release") QTest::keyRelease(d->txtFM, Qt::Key_Return);
            if (how == "enter") QTest::keyClick(d->txtFM, Qt::Key_Return);
            if (how == "dblclick") doubleClick(d.get(), "s2.Tst");
            if ((open = d->isVisible())) d->close();
        });
        d->exec();
        EXPECT_EQ(open, !r.ends) << r.how << " " << r.typedBeforeEnd;
        EXPECT_EQ(f.w.module1.displayFileCount, r.count) << r.how << " " << r.typedBeforeEnd;
        EXPECT_TRUE(f.messages.messages.empty()) << r.how;
    }
}

TEST(FileManagerDisplay, NextOpeningStartsInTheFolderLastUsed) {
    Fixture f(false);
    QDir(f.data).mkdir("deeper");
    const QString deeper = f.inData("deeper");
    writeFile(QDir(deeper).filePath("x.Tst"), "abcd");
    {
        auto d = f.displayDialog();
        d->show();
        d->dirFM->setPath(deeper);
        EXPECT_EQ(f.w.module1.appPath, deeper);
        d->drvFM_Change(); // the volume that holds the folder keeps it
        EXPECT_EQ(d->dirFM->Path(), deeper);
    }
    auto again = f.displayDialog();
    again->show();
    EXPECT_EQ(again->dirFM->Path(), deeper);
    EXPECT_TRUE(waitUntil([&] { return again->filFM->fileNames().contains("x.Tst"); }, 10000));
    // The folder stays in view once the folders around it have been read in.
    pf::DirListBox* tree = again->dirFM;
    EXPECT_TRUE(waitUntil([tree] {
        for (QModelIndex up = tree->currentIndex().parent(); up.isValid(); up = up.parent()) {
            if (tree->model()->canFetchMore(up) || tree->model()->rowCount(up) == 0) return false;
        }
        return tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()));
    }));
    // A remembered folder that has gone opens on its nearest parent.
    again.reset();
    QDir(deeper).removeRecursively();
    EXPECT_EQ(f.displayDialog()->dirFM->Path(), f.data);
}

SYLVANE_GTEST_QT_MAIN
