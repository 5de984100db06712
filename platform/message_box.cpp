#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace sylvane::platform {

namespace {
MessageHook& hook() {
    static MessageHook h;
    return h;
}
} // namespace

QString defaultMessageTitle() {
    return QStringLiteral("Sylvane Interface");
}

void setMessageHook(MessageHook h) {
    hook() = std::move(h);
}

int MsgBox(const QString& prompt, int style, const QString& title) {
    const QString shownTitle = title.isEmpty() ? defaultMessageTitle() : title;
    if (hook()) return hook()(MessageRequest{prompt, style, shownTitle});

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(shownTitle);
    box.setText(prompt);
    switch (style & 0x70) {
    case vbCritical:
        box.setIcon(QMessageBox::Critical);
        break;
    case vbQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case vbExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case vbInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    switch (style & 0x7) {
    case vbOKCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case vbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    const int pressed = box.exec();
    if (pressed == QMessageBox::Yes) return vbYes;
    if (pressed == QMessageBox::No) return vbNo;
    if (pressed == QMessageBox::Cancel) return vbCancel;
    if (pressed == QMessageBox::Ok) return vbOK;
    // Closed some other way: the answer of the box's escape button.
    if ((style & 0x7) == vbYesNo) return vbNo;
    return (style & 0x7) == vbOKCancel ? vbCancel : vbOK;
}

void DoEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace sylvane::platform
