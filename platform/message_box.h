#pragma once
// Modal message boxes with the button and icon codes the window's rules are written with.
// Tests install a hook that answers instead of a person.

#include <QString>
#include <functional>

class QWidget;

namespace sylvane::platform {

enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
};

enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

// The title a message box gets when none is given.
QString defaultMessageTitle();

// Shows the message modally (pending events keep running while it is open) and returns the
// button pressed.
int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());

struct MessageRequest {
    QString prompt;
    int style = vbOKOnly;
    QString title;
};
using MessageHook = std::function<int(const MessageRequest&)>;

// Replaces the interactive box; pass an empty hook to restore it.
void setMessageHook(MessageHook hook);

// Lets pending window events run once, as the program does while it waits.
void DoEvents();

} // namespace sylvane::platform
