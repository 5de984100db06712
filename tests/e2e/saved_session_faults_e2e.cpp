// Saved sessions that are not what a save leaves, displayed through the real window and its file
// manager: readings cut in the middle of a record, no readings at all, a header that is missing,
// cut short or carries absurd values. What can be drawn is drawn; each session that cannot is
// named in a message and left out; the program keeps working and goes back to the normal
// display as usual.

#include "app/frm_sylvane.h"
#include "dialogs/frm_file_manager.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "storage/saved_sessions.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

using sylvane::app::frmSylvane;
using sylvane::dialogs::frmFileManager;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProgramFolder;
using sylvane::testing::waitUntil;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray records(const std::vector<std::int32_t>& values) {
    QByteArray out;
    for (const std::int32_t v : values) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k) out.append(static_cast<char>((u >> (8 * k)) & 0xFF));
    }
    return out;
}

QByteArray rising(int count, int from) {
    std::vector<std::int32_t> v;
    for (int i = 0; i < count; ++i) v.push_back(from + i % 100);
    return records(v);
}

QByteArray header(const char* minText, const char* maxText, const char* comments) {
    return QByteArray("\"MinADC\"\r\n\"") + minText + "\"\r\n\"MaxADC\"\r\n\"" + maxText +
           "\"\r\n\"" + comments + "\"\r\n";
}

// A program started as any second start is: settings file in place, window laid out.
struct Program {
    ProgramFolder folder;
    MessageRecorder messages;
    std::unique_ptr<frmSylvane> w;

    Program() {
        writeFile(folder.file("sylvane.ini"),
                  "\"Port # \"\r\n\"2\"\r\n\"Sensitivty = \"\r\n\"25\"\r\n"
                  "\"Picture graph visibilty = \"\r\n\"True\"\r\n"
                  "\"Color graph visibilty = \"\r\n\"True\"\r\n"
                  "\"Bar graph visibilty = \"\r\n\"True\"\r\n"
                  "\"Internal status visibilty = \"\r\n\"True\"\r\n"
                  "\"Session comments visibilty = \"\r\n\"True\"\r\n"
                  "\"Time etc. visibilty = \"\r\n\"True\"\r\n"
                  "\"Form Width = \"\r\n8445\r\n\"Form Height = \"\r\n6330\r\n"
                  "\"Form Top = \"\r\n1200\r\n\"Form Left = \"\r\n1500\r\n");
        w = std::make_unique<frmSylvane>(frmSylvane::Options{folder.path(), {}});
        w->Form_Load();
        w->show();
        waitUntil([&] { return !w->layoutPending; }, 10000);
    }
    void saved(const char* name, const QByteArray* tst, const QByteArray* hdr) {
        if (tst) writeFile(folder.file(QString::fromLatin1(name) + ".Tst"), *tst);
        if (hdr) writeFile(folder.file(QString::fromLatin1(name) + ".Hdr"), *hdr);
    }
    // Adds the names in the file manager, then Display (the sixth Add ends the dialog itself).
    void display(const QStringList& names) {
        sylvane::testing::whenModalShown<frmFileManager>([names](frmFileManager* d) {
            ASSERT_NE(d, nullptr) << "the file manager never came";
            for (const QString& name : names) {
                d->txtFM->setText(name);
                d->cmdAdd2List_Click();
            }
            if (d->isVisible()) QTest::mouseClick(d->cmdFileOption, Qt::LeftButton);
        });
        w->mnuDisplayOld->trigger();
    }
    int pixels(std::uint32_t vbColor) const {
        const QImage& image = w->pixXYgraf->image();
        const QColor wanted(static_cast<int>(vbColor & 0xFF),
                            static_cast<int>((vbColor >> 8) & 0xFF),
                            static_cast<int>((vbColor >> 16) & 0xFF));
        int n = 0;
        for (int y = 0; y < w->pixXYgraf->height(); ++y)
            for (int x = 0; x < w->pixXYgraf->width(); ++x) n += image.pixelColor(x, y) == wanted;
        return n;
    }
};

} // namespace

TEST(SavedSessionFaults, WhatCanBeDrawnIsDrawnAndEachSessionLeftOutIsNamed) {
    Program p;
    const QByteArray good = rising(400, 1500);
    const QByteArray goodHeader = header(" 1500", " 1599", "good");
    // Three whole records and a record cut after one byte.
    const QByteArray cut = rising(3, 1550) + QByteArray("\xDC", 1);
    const QByteArray none;
    const QByteArray shortHeader = header(" 1500", " 1599", "x").left(25);
    const QByteArray belowZero = header(" -5", " 99999", "absurd");
    p.saved("good", &good, &goodHeader);
    p.saved("cut", &cut, &goodHeader);
    p.saved("empty", &none, &goodHeader);
    p.saved("noheader", &good, nullptr);
    p.saved("shortheader", &good, &shortHeader);
    p.saved("belowzero", &good, &belowZero);

    p.display({"good", "cut", "empty", "noheader", "shortheader", "belowzero"});

    // One message for each session that cannot be drawn, naming it, in the order chosen.
    ASSERT_EQ(p.messages.messages.size(), 3u) << p.messages.prompts().join("|").toStdString();
    const char* leftOut[] = {"noheader", "shortheader", "belowzero"};
    for (int i = 0; i < 3; ++i) {
        const auto& m = p.messages.messages[static_cast<std::size_t>(i)];
        EXPECT_EQ(m.title, "Error accessing 'File to Display'");
        EXPECT_TRUE(m.prompt.endsWith(
            QStringLiteral("The session %1 is not displayed.").arg(QLatin1String(leftOut[i]))))
            << m.prompt.toStdString();
    }
    EXPECT_TRUE(p.messages.messages[0].prompt.contains("noheader.Hdr"));
    EXPECT_TRUE(p.messages.messages[1].prompt.contains("3 of its 5 items"));
    EXPECT_TRUE(p.messages.messages[2].prompt.contains("at or below 0 ADC"));

    // The others are on show, each in the colour of its place in the list.
    EXPECT_TRUE(p.w->module1.displayMode);
    EXPECT_EQ(p.w->mnuSaveFile->text(), "Resume normal display");
    EXPECT_EQ(p.w->TxtSeshnComnts->Text(), "good  Comments ...\ngood\n"
                                           "cut  Comments ...\ngood\n"
                                           "empty  Comments ...\ngood\n");
    EXPECT_GT(p.pixels(sylvane::storage::kTraceColors[0]), 20);
    // The cut session's three whole readings make a short trace over the start of the first;
    // the empty one has nothing to draw.
    EXPECT_GT(p.pixels(sylvane::storage::kTraceColors[1]), 0);
    EXPECT_EQ(p.pixels(sylvane::storage::kTraceColors[2]), 0);
    EXPECT_EQ(p.w->module1.minADC, 1500);
    EXPECT_EQ(p.w->module1.maxADC, 1599);

    // Nothing can be drawn of a second choice: the window stays as it is.
    p.messages.messages.clear();
    p.display({"noheader"});
    EXPECT_EQ(p.messages.messages.size(), 1u);
    EXPECT_TRUE(p.w->module1.displayMode);

    // Back to normal, and the program goes on as before.
    p.w->mnuSaveFile->trigger();
    ASSERT_TRUE(waitUntil([&] { return !p.w->layoutPending; }, 10000));
    EXPECT_FALSE(p.w->module1.displayMode);
    EXPECT_TRUE(p.w->mnuSession->menuAction()->isVisible());
    EXPECT_EQ(p.w->mnuDisplayOld->text(), "Display saved session");
}

TEST(SavedSessionFaults, AbsurdHeaderValuesGiveAnUprightScaleOrAClearRefusal) {
    const struct {
        const char* what;
        const char* minText;
        const char* maxText;
        bool drawn;
        // The readings (1500 to 1599) lie within the scale the header gives.
        bool traceOnScale;
    } rows[] = {
        {"minimum above maximum", " 3000", " 100", true, false},
        {"the top of the ADC range", " 4095", " 4095", true, false},
        {"past the top of the ADC range", " 5000", " 65535", true, true},
        {"texts where numbers belong", " 1500abc", " 1600 and more", true, true},
        // Taken as the largest whole number: the margin would reach below 0 ADC.
        {"beyond any whole number", " 1E+30", " 9.9E+99", false, false},
        {"no numbers at all", "MinADC", "", false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Program p;
        const QByteArray tst = rising(300, 1500);
        const QByteArray hdr = header(r.minText, r.maxText, r.what);
        p.saved("odd", &tst, &hdr);
        p.display({"odd"});
        if (!r.drawn) {
            ASSERT_EQ(p.messages.messages.size(), 1u);
            EXPECT_TRUE(p.messages.messages[0].prompt.endsWith("The session odd is not displayed."))
                << p.messages.prompts().join("|").toStdString();
            EXPECT_FALSE(p.w->module1.displayMode);
            EXPECT_TRUE(p.w->mnuSession->menuAction()->isVisible());
            continue;
        }
        EXPECT_TRUE(p.messages.messages.empty()) << p.messages.prompts().join("|").toStdString();
        EXPECT_TRUE(p.w->module1.displayMode);
        // Whatever the numbers, the scale is the right way up (the highest resistance at the
        // bottom edge) and every axis label is a number.
        EXPECT_TRUE(std::isfinite(p.w->graphYScale) && p.w->graphYScale > 0) << p.w->graphYScale;
        for (int i = 0; i < 5; ++i) {
            const QString label = p.w->lbl4Graf[static_cast<std::size_t>(i)]->caption();
            EXPECT_FALSE(label.isEmpty() || label.contains("NaN") || label.contains("Inf"))
                << label.toStdString();
        }
        if (r.traceOnScale) {
            EXPECT_GT(p.pixels(sylvane::storage::kTraceColors[0]), 0);
        }
        p.w->mnuSaveFile->trigger();
        EXPECT_FALSE(p.w->module1.displayMode);
    }
}

SYLVANE_GTEST_QT_MAIN
