// The file manager opened from the real window on real folders: Save mode (name checks, the
// overwrite question, the header rewrite with the current comments, the copies, failures that
// keep the dialog open) and Display mode (the *.tst list in any letter case, Add, the six
// coloured labels, Display, Cancel, the remembered folder).

#include "app/frm_sylvane.h"
#include "dialogs/frm_file_manager.h"
#include "platform/file_list_boxes.h"
#include "platform/label.h"
#include "platform/twips.h"
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
const QByteArray kHdrAtStop("\"MinADC\"\r\n\" 1499\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\" \"\r\n");

QByteArray headerWith(const QByteArray& comments) {
    return "\"MinADC\"\r\n\" 1499\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\"" + comments + "\"\r\n";
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

struct Fixture {
    sylvane::testing::ProgramFolder folder;
    frmSylvane w{{folder.path(), {}}};
    sylvane::testing::MessageRecorder messages;
    QString data;

    explicit Fixture(bool withSession = true) {
        QDir(folder.path()).mkdir(QStringLiteral("data"));
        data = folder.file(QStringLiteral("data"));
        w.module1.appPath = folder.path();
        if (withSession) {
            writeFile(folder.file("tempdata.tst"), kTst);
            writeFile(folder.file("tempdata.txt"), kTxt);
            writeFile(folder.file("tempdata.hdr"), kHdrAtStop);
        }
        w.show();
    }
    QString inData(const QString& name) const { return QDir(data).filePath(name); }
};

// Runs act on the file manager once it is shown modally.
void whenShown(std::function<void(frmFileManager*)> act) {
    sylvane::testing::whenModalShown<frmFileManager>([act](frmFileManager* d) {
        ASSERT_NE(d, nullptr) << "the file manager never came";
        act(d);
    });
}

void typeAndEnter(frmFileManager* d, const QString& name) {
    d->txtFM->clear();
    QTest::keyClicks(d->txtFM, name);
    QTest::keyClick(d->txtFM, Qt::Key_Return);
}

// Opens the dialog in Display mode as the Display command configures it.
frmFileManager* displayDialog(frmSylvane& w) {
    auto* d = new frmFileManager(w, &w);
    d->cmdFileOption->setText(QStringLiteral("Display"));
    d->setCaption(QStringLiteral("Display saved session file"));
    d->setWidth(6735);
    d->cmdAdd2List->setVisible(true);
    return d;
}

bool lists(frmFileManager* d, const QString& name) {
    return waitUntil([&] { return d->filFM->fileNames().contains(name); }, 10000);
}

} // namespace

TEST(SaveSession, RefusedWithoutRecordedReadings) {
    const struct {
        bool exists;
        QByteArray tst;
    } rows[] = {{false, {}}, {true, {}}};
    for (const auto& r : rows) {
        Fixture f(false);
        if (r.exists) writeFile(f.folder.file("tempdata.tst"), r.tst);
        bool shown = false;
        QTimer::singleShot(0, &f.w, [&] {
            shown = QApplication::activeModalWidget() != nullptr;
            if (shown) QApplication::activeModalWidget()->close();
        });
        f.w.mnuSaveFile->trigger();
        sylvane::testing::pump(20);
        EXPECT_EQ(f.messages.prompts(), QStringList{"There is no session data to save!"});
        EXPECT_EQ(f.messages.messages.at(0).style, pf::vbOKOnly);
        EXPECT_FALSE(shown);
    }
}

TEST(SaveSession, SavesTheSetBesideEachOtherWithTheCurrentComments) {
    Fixture f;
    f.w.module1.appPath = f.data;
    f.w.TxtSeshnComnts->setText(QStringLiteral("after stop"));
    QString caption;
    bool labelsHidden = false;
    bool addHidden = false;
    whenShown([&](frmFileManager* d) {
        caption = d->windowTitle();
        addHidden = !d->cmdAdd2List->isVisible();
        labelsHidden = d->lblFile2Display[0]->x() >= d->width();
        typeAndEnter(d, QStringLiteral("run1"));
    });
    f.w.mnuSaveFile->trigger();
    EXPECT_EQ(caption, "Save session file");
    EXPECT_TRUE(addHidden);
    EXPECT_TRUE(labelsHidden) << "the list labels only show in Display mode";
    EXPECT_TRUE(f.messages.messages.empty()) << f.messages.prompts().join("|").toStdString();
    EXPECT_EQ(readFileBytes(f.inData("run1.Tst")), kTst);
    EXPECT_EQ(readFileBytes(f.inData("run1.Txt")), kTxt);
    EXPECT_EQ(readFileBytes(f.inData("run1.Hdr")), headerWith("after stop"));
    EXPECT_EQ(readFileBytes(f.folder.file("tempdata.hdr")), headerWith("after stop"));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath("run1.Txt")));
    EXPECT_EQ(f.w.module1.appPath, f.data);
}

TEST(SaveSession, NameChecksAndTheOverwriteQuestion) {
    const struct {
        const char* typed;
        bool existing; // run1.Tst is there already
        int answer;    // to the overwrite question
        const char* message;
        bool closes;
        const char* savedAs; // "" = nothing written
    } rows[] = {
        {"run1", false, 0, nullptr, true, "run1"},
        {"run1.tst", false, 0, nullptr, true, "run1"},
        {"run1.xyz", false, 0, nullptr, true, "run1"},
        {"a.b.tst", false, 0, nullptr, true, "a"},
        {"run1.tst", true, pf::vbNo, sylvane::dialogs::kOverwriteText, false, ""},
        {"run1", true, pf::vbYes, sylvane::dialogs::kOverwriteText, true, "run1"},
        {"tempdata", false, 0, sylvane::dialogs::kReservedNameText, false, ""},
        {"tempdata.tst", false, 0, sylvane::dialogs::kReservedNameText, false, ""},
        {"Tempdata", false, 0, nullptr, true, "Tempdata"},
        {"TEMPDATA.TST", false, 0, nullptr, true, "TEMPDATA"},
        {".hidden", false, 0, nullptr, false, ""},
        {"", false, 0, nullptr, false, ""},
    };
    for (const auto& r : rows) {
        Fixture f;
        f.w.module1.appPath = f.data;
        const QByteArray older("older session");
        if (r.existing) writeFile(f.inData("run1.Tst"), older);
        if (r.answer) f.messages.answers = {r.answer};
        bool stayedOpen = false;
        whenShown([&](frmFileManager* d) {
            typeAndEnter(d, QString::fromLatin1(r.typed));
            stayedOpen = d->isVisible();
            if (stayedOpen) d->cmdCancel_Click();
        });
        f.w.mnuSaveFile->trigger();
        const QString typed = QString::fromLatin1(r.typed);
        if (r.message) {
            ASSERT_EQ(f.messages.prompts().size(), 1) << r.typed;
            EXPECT_EQ(f.messages.prompts()[0], QString::fromLatin1(r.message)) << r.typed;
        } else {
            EXPECT_TRUE(f.messages.messages.empty()) << r.typed;
        }
        EXPECT_EQ(stayedOpen, !r.closes) << r.typed;
        const QString saved = QString::fromLatin1(r.savedAs);
        if (!saved.isEmpty()) {
            EXPECT_EQ(readFileBytes(f.inData(saved + ".Tst")), kTst) << r.typed;
            EXPECT_EQ(readFileBytes(f.inData(saved + ".Txt")), kTxt) << r.typed;
        } else {
            EXPECT_EQ(readFileBytes(f.inData("run1.Tst")), r.existing ? older : QByteArray())
                << r.typed;
            EXPECT_FALSE(QFile::exists(f.inData("run1.Hdr"))) << r.typed;
        }
        // The working set is untouched whatever happened.
        EXPECT_EQ(readFileBytes(f.folder.file("tempdata.tst")), kTst) << r.typed;
        EXPECT_EQ(readFileBytes(f.folder.file("tempdata.txt")), kTxt) << r.typed;
    }
}

// Names that lead onto the working files themselves (the program folder's own names on a file
// system that ignores case, or links to them) used to copy the files onto themselves.
TEST(SaveSession, RegressionNeverWritesOverTheWorkingFiles) {
    const struct {
        const char* typed;
        const char* link; // a link by that name in the data folder to a working file
        const char* target;
    } rows[] = {
        {"linked", "linked.Tst", "tempdata.tst"},
        {"linked.xyz", "linked.Hdr", "tempdata.hdr"},
        {"linked", "linked.Txt", "tempdata.txt"},
    };
    for (const auto& r : rows) {
        Fixture f;
        f.w.module1.appPath = f.data;
        ASSERT_TRUE(QFile::link(f.folder.file(r.target), f.inData(r.link)));
        whenShown([&](frmFileManager* d) {
            typeAndEnter(d, QString::fromLatin1(r.typed));
            if (QApplication::activeModalWidget() == d) d->cmdCancel_Click();
        });
        f.w.mnuSaveFile->trigger();
        EXPECT_EQ(f.messages.prompts(),
                  QStringList{QString::fromLatin1(sylvane::dialogs::kReservedNameText)})
            << r.typed;
        EXPECT_EQ(readFileBytes(f.folder.file("tempdata.tst")), kTst) << r.typed;
        EXPECT_EQ(readFileBytes(f.folder.file("tempdata.txt")), kTxt) << r.typed;
        EXPECT_EQ(readFileBytes(f.folder.file("tempdata.hdr")), kHdrAtStop) << r.typed;
    }
}

// Copy failures used to be ignored and the dialog closed as if the session had been saved.
TEST(SaveSession, RegressionFailedCopyIsReportedAndTheDialogStaysOpen) {
    const struct {
        const char* what;
        const char* expectInMessage;
    } rows[] = {
        {"target is a folder", "run1.Tst"},
        {"text copy cannot be made", "run1.Txt"},
    };
    for (const auto& r : rows) {
        Fixture f;
        f.w.module1.appPath = f.data;
        if (QString::fromLatin1(r.what).startsWith("target"))
            QDir(f.data).mkdir(QStringLiteral("run1.Tst"));
        else
            QFile::remove(f.folder.file("tempdata.txt"));
        bool stayedOpen = false;
        whenShown([&](frmFileManager* d) {
            typeAndEnter(d, QStringLiteral("run1"));
            stayedOpen = QApplication::activeModalWidget() == d;
            d->cmdCancel_Click();
        });
        f.w.mnuSaveFile->trigger();
        EXPECT_TRUE(stayedOpen) << r.what;
        ASSERT_EQ(f.messages.prompts().size(), 1) << r.what;
        EXPECT_TRUE(f.messages.prompts()[0].contains(QString::fromLatin1(r.expectInMessage)))
            << f.messages.prompts()[0].toStdString();
    }
}

TEST(SaveSession, DoubleClickOnAListedFileSavesUnderItsName) {
    Fixture f;
    f.w.module1.appPath = f.data;
    writeFile(f.inData("old.Tst"), "x");
    f.messages.answers = {pf::vbYes};
    QString nameBox;
    whenShown([&](frmFileManager* d) {
        ASSERT_TRUE(lists(d, "old.Tst"));
        const QModelIndex index = d->filFM->indexOfFile("old.Tst");
        d->filFM->scrollTo(index);
        const QPoint at = d->filFM->visualRect(index).center();
        QTest::mouseClick(d->filFM->viewport(), Qt::LeftButton, {}, at);
        nameBox = d->txtFM->text();
        QTest::mouseDClick(d->filFM->viewport(), Qt::LeftButton, {}, at);
    });
    f.w.mnuSaveFile->trigger();
    EXPECT_EQ(nameBox, "old.Tst");
    EXPECT_EQ(f.messages.prompts(), QStringList{sylvane::dialogs::kOverwriteText});
    EXPECT_EQ(readFileBytes(f.inData("old.Tst")), kTst);
}

TEST(FileManagerDisplay, ListsSavedSessionsInAnyLetterCase) {
    Fixture f(false);
    for (const char* name : {"a.Tst", "b.tst", "c.TST", "d.txt", "e.Hdr", "f.tstx"})
        writeFile(f.inData(name), "abcd");
    f.w.module1.appPath = f.data;
    std::unique_ptr<frmFileManager> d(displayDialog(f.w));
    d->show();
    ASSERT_TRUE(waitUntil([&] { return d->filFM->fileNames().size() == 3; }, 10000))
        << d->filFM->fileNames().join(",").toStdString();
    EXPECT_EQ(d->filFM->fileNames(), (QStringList{"a.Tst", "b.tst", "c.TST"}));
    EXPECT_EQ(d->dirFM->Path(), f.data);
}

TEST(FileManagerDisplay, AddCollectsUpToSixInTheTraceColours) {
    Fixture f(false);
    const QStringList names{"s1", "s2.tst", "s3.Tst", "s4", "s5", "s6"};
    for (const char* n : {"s1", "s2", "s3", "s4", "s5", "s6"})
        writeFile(f.inData(QString::fromLatin1(n) + ".Tst"), "abcd");
    f.w.module1.appPath = f.data;
    std::unique_ptr<frmFileManager> d(displayDialog(f.w));
    QStringList captions;
    std::vector<std::uint32_t> colours;
    int countBeforeSixth = -1;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() == d.get(); }));
        typeAndEnter(d.get(), "missing");
        for (int i = 0; i < 6; ++i) {
            if (i == 5) {
                countBeforeSixth = f.w.module1.displayFileCount;
                for (auto* l : d->lblFile2Display) captions << l->caption();
                for (auto* l : d->lblFile2Display) colours.push_back(l->backColor());
            }
            d->txtFM->setText(names[i]);
            QTest::mouseClick(d->cmdAdd2List, Qt::LeftButton);
        }
    });
    const int result = d->exec();
    EXPECT_EQ(result, QDialog::Accepted) << "the sixth Add ends the dialog";
    EXPECT_EQ(countBeforeSixth, 5);
    EXPECT_EQ(captions, (QStringList{"s1", "s2.tst", "s3.Tst", "s4", "s5", "File to Display"}));
    EXPECT_EQ(colours, std::vector<std::uint32_t>(sylvane::storage::kTraceColors.begin(),
                                                  sylvane::storage::kTraceColors.end()));
    EXPECT_EQ(d->lblFile2Display[5]->caption(), "s6");
    ASSERT_EQ(f.w.module1.displayFileCount, 6);
    for (int i = 0; i < 6; ++i) {
        const QString base = QStringLiteral("s%1").arg(i + 1);
        EXPECT_EQ(f.w.module1.displayTstFiles[i], f.inData(base + ".Tst"));
        EXPECT_EQ(f.w.module1.displayHdrFiles[i], f.inData(base + ".Hdr"));
    }
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].title, sylvane::dialogs::kAccessErrorTitle);
    EXPECT_EQ(f.messages.messages[0].prompt, "File not found: " + f.inData("missing.Tst"));
    EXPECT_EQ(f.messages.messages[0].style, pf::vbOKOnly | pf::vbExclamation);
}

TEST(FileManagerDisplay, DisplayCancelAndCloseEndTheChoice) {
    const struct {
        const char* how;
        const char* typedBeforeEnd;
        bool ends;
        int count;
    } rows[] = {
        {"display", "", false, 1}, {"display", "s2", true, 1}, {"cancel", "", true, 0},
        {"close", "", true, 1},    {"enter", "s2", false, 2},  {"dblclick", "", false, 2},
    };
    for (const auto& r : rows) {
        Fixture f(false);
        writeFile(f.inData("s1.Tst"), "abcd");
        writeFile(f.inData("s2.Tst"), "abcd");
        f.w.module1.appPath = f.data;
        std::unique_ptr<frmFileManager> d(displayDialog(f.w));
        bool open = false;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() == d.get(); }));
            d->txtFM->setText("s1");
            d->cmdAdd2List_Click();
            const QString how = QString::fromLatin1(r.how);
            d->txtFM->setText(QString::fromLatin1(r.typedBeforeEnd));
            if (how == "display") QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
            if (how == "cancel") QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
            if (how == "close") d->close();
            if (how == "enter") QTest::keyClick(d->txtFM, Qt::Key_Return);
            if (how == "dblclick") {
                ASSERT_TRUE(lists(d.get(), "s2.Tst"));
                const QModelIndex index = d->filFM->indexOfFile("s2.Tst");
                const QPoint at = d->filFM->visualRect(index).center();
                // A double-click is a click followed by the second press.
                QTest::mouseClick(d->filFM->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(d->filFM->viewport(), Qt::LeftButton, {}, at);
                EXPECT_EQ(d->txtFM->text(), "s2.Tst");
            }
            open = d->isVisible();
            if (open) d->close();
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
    f.w.module1.appPath = f.data;
    {
        std::unique_ptr<frmFileManager> d(displayDialog(f.w));
        d->show();
        d->dirFM->setPath(deeper);
        EXPECT_EQ(f.w.module1.appPath, deeper);
        // Choosing the volume that holds the remembered folder stays there.
        d->drvFM_Change();
        EXPECT_EQ(d->dirFM->Path(), deeper);
    }
    std::unique_ptr<frmFileManager> again(displayDialog(f.w));
    again->show();
    EXPECT_EQ(again->dirFM->Path(), deeper);
    EXPECT_TRUE(lists(again.get(), "x.Tst"));
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
    std::unique_ptr<frmFileManager> third(displayDialog(f.w));
    EXPECT_EQ(third->dirFM->Path(), f.data);
}

SYLVANE_GTEST_QT_MAIN
