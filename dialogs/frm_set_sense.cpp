#include "dialogs/frm_set_sense.h"

#include "dialogs/slider_steps.h"
#include "platform/label.h"
#include "platform/number_rules.h"
#include "platform/twips.h"
#include "platform/vb_colors.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

namespace sylvane::dialogs {

namespace {
int modifierMask(Qt::KeyboardModifiers modifiers) {
    int mask = 0;
    if (modifiers & Qt::ShiftModifier) mask |= kShiftMask;
    if (modifiers & Qt::ControlModifier) mask |= kCtrlMask;
    if (modifiers & Qt::AltModifier) mask |= kAltMask;
    return mask;
}
} // namespace

frmSetSense::frmSetSense(platform::Label& sensitivity, QWidget* parent)
    : QDialog(parent), m_sensitivity(sensitivity) {
    setObjectName(QStringLiteral("frmSetSense"));
    setWindowTitle(QStringLiteral("Set Sensitivity"));
    setModal(true);
    setFixedSize(platform::toPixels(3855), platform::toPixels(1635));

    Slider1 = new QSlider(Qt::Horizontal, this);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setRange(20, 1000);
    Slider1->setTickInterval(50);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setToolTip(QStringLiteral("Adjust Sensitivty"));
    platform::setTwipsGeometry(Slider1, 90, 90, 3660, 555);
    Slider1->installEventFilter(this);

    lblSenseValu = new platform::Label(QStringLiteral("lblSenseValu"), this);
    lblSenseValu->setCaption(QStringLiteral("1000"));
    lblSenseValu->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblSenseValu->setBackColor(platform::kWindowBackground);
    platform::setTwipsGeometry(lblSenseValu, 1485, 945, 465, 210);

    Label1 = new platform::Label(QStringLiteral("Label1"), this);
    Label1->setCaption(QStringLiteral("  %"));
    Label1->setBackColor(platform::kWindowBackground);
    platform::setTwipsGeometry(Label1, 1935, 945, 255, 210);

    lbl2 = new platform::Label(QStringLiteral("lbl2"), this);
    platform::setTwipsGeometry(lbl2, 3195, 810, 555, 285);

    cmdOkay = new QPushButton(QStringLiteral("OK"), this);
    cmdOkay->setObjectName(QStringLiteral("cmdOkay"));
    cmdOkay->setToolTip(QStringLiteral("Accept displayed setting"));
    platform::setTwipsGeometry(cmdOkay, 540, 945, 795, 360);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Restore previous sensitivty "));
    platform::setTwipsGeometry(cmdCancel, 2340, 945, 795, 360);

    connect(cmdOkay, &QPushButton::clicked, this, [this] { cmdOkay_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(Slider1, &QSlider::sliderMoved, this, [this] { Slider1_Change(); });
    connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1_Change(); });

    Form_Load();
}

void frmSetSense::Form_Load() {
    Slider1->setPageStep(10);
    Slider1->setSingleStep(1);
    const double v = platform::numericValue(m_sensitivity.caption().toStdString());
    // An out-of-range value is replaced by 20 at either end, before the user sees it.
    if (v < 20 || v > 1000) m_sensitivity.setCaption(QStringLiteral("20"));
    lblSenseValu->setCaption(m_sensitivity.caption());
    // The value shown stays the caption as it stands until the user moves the slider.
    const QSignalBlocker quiet(Slider1);
    Slider1->setValue(
        platform::nearest(platform::numericValue(m_sensitivity.caption().toStdString())));
    Slider1->update();
}

void frmSetSense::Slider1_Change() {
    lblSenseValu->setCaption(QString::fromStdString(platform::standardText(Slider1->value())));
}

bool frmSetSense::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Slider1) {
        if (event->type() == QEvent::KeyPress) {
            const SliderSteps steps =
                keySteps(modifierMask(static_cast<QKeyEvent*>(event)->modifiers()));
            Slider1->setPageStep(steps.largeChange);
            Slider1->setSingleStep(steps.smallChange);
        } else if (event->type() == QEvent::MouseButtonPress) {
            Slider1->setPageStep(
                mouseLargeChange(modifierMask(static_cast<QMouseEvent*>(event)->modifiers())));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSetSense::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        cmdCancel_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmSetSense::cmdOkay_Click() {
    const double v = platform::numericValue(lblSenseValu->caption().toStdString());
    if (v < 20) lblSenseValu->setCaption(QStringLiteral("20"));
    if (v > 1000) lblSenseValu->setCaption(QStringLiteral("1000"));
    m_sensitivity.setCaption(lblSenseValu->caption());
    accept();
}

void frmSetSense::cmdCancel_Click() {
    lblSenseValu->setCaption(m_sensitivity.caption());
    reject();
}

} // namespace sylvane::dialogs
