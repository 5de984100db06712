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

// Records and answers every message box while installed (vbOK, or vbYes for a Yes/No box,
// once `answers` is used up); whileOpen runs while a box is "open".
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder() { platform::setMessageHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<platform::MessageRequest> messages;
    std::vector<int> answers;
    std::function<void(const platform::MessageRequest&)> whileOpen;

    QStringList prompts() const;
    QStringList titles() const;
};

// A fresh, empty program folder that is removed afterwards.
class ProgramFolder {
public:
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// The whole content of a file ("" when it cannot be read); a file made of these bytes.
QByteArray readFileBytes(const QString& path);
bool writeFileBytes(const QString& path, const QByteArray& bytes);

// Runs act on the active modal widget once isWanted accepts it (nullptr after timeoutMs). It
// polls, so it also finds a dialog that opens only after a wait that lets events run.
void whenModal(std::function<bool(QWidget*)> isWanted, std::function<void(QWidget*)> act,
               int timeoutMs);
template <typename D> void whenModalShown(std::function<void(D*)> act, int timeoutMs = 30000) {
    whenModal([](QWidget* w) { return qobject_cast<D*>(w) != nullptr; },
              [act](QWidget* w) { act(qobject_cast<D*>(w)); }, timeoutMs);
}

} // namespace sylvane::testing
