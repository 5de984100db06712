// The port and sensitivity dialogs opened from the real window: probing outcomes, the
// pre-selection that rewrites the port label, OK, Cancel and Esc; the slider's step sizes by
// modifier.

#include "app/frm_sylvane.h"
#include "dialogs/frm_port_change.h"
#include "dialogs/frm_set_sense.h"
#include "platform/label.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

using sylvane::acquisition::SerialLink;
using sylvane::dialogs::frmPortChange;
using sylvane::dialogs::frmSetSense;
using sylvane::testing::whenModalShown;

namespace {

struct Fixture {
    sylvane::testing::ProgramFolder folder;
    sylvane::testing::MessageRecorder messages;
    sylvane::app::frmSylvane w{{folder.path(), {}}};
};

// How a row ends the dialog: its OK or Cancel button, or Esc (which used to act as the close box,
// skipping what Cancel does).
enum End { Ok, Cancel, Esc };

void end(End how, QWidget* dialog, QPushButton* ok, QPushButton* cancel) {
    if (how == Esc) {
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Escape);
    } else {
        QTest::mouseClick(how == Ok ? ok : cancel, Qt::LeftButton);
    }
}

} // namespace

TEST(PortDialog, ProbesPortsPreselectsAndAppliesTheChoice) {
    const struct {
        const char* caption;
        int usable; // bit i: COM(i+1) can be opened
        End how;
        const char* shownCaption;
        const char* finalCaption;
    } rows[] = {
        {"3", 0xFF, Ok, "3", "3"},    {"3", 0x20, Cancel, "6", "6"}, {"3", 0x00, Ok, "", "2"},
        {"3", 0x00, Cancel, "", "1"}, {"3", 0x00, Esc, "", "1"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.caption) + " usable " + std::to_string(r.usable));
        Fixture f;
        f.w.LblParams[5]->setCaption(r.caption);
        f.w.portProber = [&r](int port) {
            // Failures other than "no such port" and "in use" still offer the port.
            if (r.usable & (1 << (port - 1)))
                return static_cast<int>(port == 4 ? SerialLink::OpenError::Other
                                                  : SerialLink::OpenError::None);
            return static_cast<int>(port % 2 ? SerialLink::OpenError::NoSuchPort
                                             : SerialLink::OpenError::InUse);
        };
        QString seen;
        int mask = 0;
        bool noticeShown = true;
        whenModalShown<frmPortChange>([&](frmPortChange* d) {
            ASSERT_NE(d, nullptr);
            seen = f.w.LblParams[5]->caption();
            for (int i = 0; i < 8; ++i) mask |= d->optCom[i]->isEnabled() ? 1 << i : 0;
            noticeShown = f.w.LblParams[6]->isVisible();
            end(r.how, d, d->cmdOK, d->cmdCancel);
        });
        f.w.show();
        f.w.mnuSetComPort->trigger();
        EXPECT_EQ(seen, r.shownCaption);
        EXPECT_EQ(mask, r.usable);
        EXPECT_FALSE(noticeShown) << "the notice is hidden once probing is done";
        EXPECT_EQ(f.w.LblParams[5]->caption(), r.finalCaption);
        EXPECT_EQ(f.messages.prompts().contains("There are no available COMM ports."),
                  r.usable == 0);
    }
}

TEST(PortDialog, PortLabelOpensItOnlyWhileNoSessionRuns) {
    Fixture f;
    f.w.show();
    int probes = 0;
    f.w.portProber = [&probes](int) {
        ++probes;
        return static_cast<int>(SerialLink::OpenError::None);
    };
    f.w.mnuStart->setEnabled(false); // as while a session runs
    f.w.LblParams_Click(5);
    EXPECT_EQ(probes, 0);
    f.w.mnuStart->setEnabled(true);
    whenModalShown<frmPortChange>([](frmPortChange* d) { d->cmdOK_Click(); });
    f.w.LblParams_Click(5);
    EXPECT_EQ(probes, 8);
    EXPECT_EQ(f.w.LblParams[5]->caption(), "2");
}

// The step sizes of every modifier are in the unit table; these show the keys reach them.
TEST(SensitivityDialog, OpensOnTheLabelValueKeysMoveTheSliderAndOkWritesItsText) {
    const struct {
        const char* caption;
        Qt::Key key; // Key_unknown: leave the slider alone
        Qt::KeyboardModifiers modifiers;
        End how;
        const char* whileOpen;
        const char* finalCaption;
    } rows[] = {
        {"25", Qt::Key_unknown, {}, Ok, "25", "25"},
        {"25", Qt::Key_PageUp, Qt::ControlModifier, Ok, "25", " 125"},
        {"500", Qt::Key_Right, Qt::ShiftModifier, Ok, "500", " 505"},
        {"5", Qt::Key_unknown, {}, Cancel, "20", "20"},
        {"1500", Qt::Key_unknown, {}, Cancel, "20", "20"},
        {"40", Qt::Key_Right, Qt::NoModifier, Cancel, "40", "40"},
        {"40", Qt::Key_Right, Qt::NoModifier, Esc, "40", "40"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.caption) + " key " + std::to_string(r.key));
        Fixture f;
        f.w.show();
        f.w.LblParams[3]->setCaption(r.caption);
        QString whileOpen, valueText, valueAtEnd;
        int sliderAtOpen = 0;
        whenModalShown<frmSetSense>([&](frmSetSense* d) {
            ASSERT_NE(d, nullptr);
            whileOpen = f.w.LblParams[3]->caption();
            sliderAtOpen = d->Slider1->value();
            valueText = d->lblSenseValu->caption();
            if (r.key != Qt::Key_unknown) {
                d->Slider1->setFocus();
                QTest::keyClick(d->Slider1, r.key, r.modifiers);
            }
            end(r.how, d, d->cmdOkay, d->cmdCancel);
            valueAtEnd = d->lblSenseValu->caption();
        });
        f.w.LblParams_Click(3);
        EXPECT_EQ(whileOpen, r.whileOpen);
        EXPECT_EQ(sliderAtOpen, QString(r.whileOpen).toInt());
        EXPECT_EQ(valueText, r.whileOpen);
        EXPECT_EQ(f.w.LblParams[3]->caption(), r.finalCaption);
        EXPECT_EQ(valueAtEnd, r.finalCaption) << "the dialog ends showing the value in effect";
    }
}

SYLVANE_GTEST_QT_MAIN
