#include "tests/support/test_support.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <memory>

namespace sylvane::testing {

bool waitUntil(const std::function<bool()>& cond, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired()) return cond();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void pump(int ms) {
    waitUntil([] { return false; }, ms);
}

MessageRecorder::MessageRecorder() {
    platform::setMessageHook([this](const platform::MessageRequest& request) {
        messages.push_back(request);
        if (whileOpen) whileOpen(request);
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.erase(answers.begin());
            return answer;
        }
        return (request.style & 0x7) == platform::vbYesNo ? int{platform::vbYes}
                                                          : int{platform::vbOK};
    });
}

QStringList MessageRecorder::prompts() const {
    QStringList out;
    for (const auto& m : messages) out << m.prompt;
    return out;
}

QStringList MessageRecorder::titles() const {
    QStringList out;
    for (const auto& m : messages) out << m.title;
    return out;
}

QByteArray readFileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

bool writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

void whenModal(std::function<bool(QWidget*)> isWanted, std::function<void(QWidget*)> act,
               int timeoutMs) {
    auto* poll = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock, isWanted, act, timeoutMs] {
        QWidget* dialog = QApplication::activeModalWidget();
        const bool found = dialog && isWanted(dialog);
        if (!found && clock->elapsed() < timeoutMs) return;
        poll->stop();
        poll->deleteLater();
        act(found ? dialog : nullptr);
    });
    poll->start(20);
}

} // namespace sylvane::testing
