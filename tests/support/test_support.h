#pragma once
// Helpers for the tests that drive the real window: a fresh program folder, answers to message
// boxes, and waiting on the event loop for a condition.

#include "platform/message_box.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <vector>

namespace sylvane::testing {

// Runs the event loop until cond() holds or timeoutMs passes; returns cond().
bool waitUntil(const std::function<bool()>& cond, int timeoutMs = 5000);

// Runs the event loop for ms milliseconds.
void pump(int ms);

// Records every message box and answers it (vbOK unless told otherwise). While installed no
// box is shown. Optionally runs a callback while the "box is open" to let events happen then.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<platform::MessageRequest> messages;
    // Answers given in order; when exhausted, vbOK (or vbYes for a Yes/No box).
    std::vector<int> answers;
    // Called while a box is "open", before it is answered.
    std::function<void(const platform::MessageRequest&)> whileOpen;

    QStringList prompts() const;
    QStringList titles() const;
};

// A fresh, empty program folder that is removed afterwards.
class ProgramFolder {
public:
    ProgramFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// The whole content of a file ("" when it cannot be read).
QByteArray readFileBytes(const QString& path);

// Runs act on the modal dialog of type D once it is the active modal widget. It polls, so it
// also works for a dialog that opens only after a wait that lets events run (the port dialog
// after its two ticks); act gets nullptr when none has come within timeoutMs.
void whenModal(std::function<bool(QWidget*)> isWanted, std::function<void(QWidget*)> act,
               int timeoutMs);
template <typename D> void whenModalShown(std::function<void(D*)> act, int timeoutMs = 30000) {
    whenModal([](QWidget* w) { return qobject_cast<D*>(w) != nullptr; },
              [act](QWidget* w) { act(qobject_cast<D*>(w)); }, timeoutMs);
}

} // namespace sylvane::testing
