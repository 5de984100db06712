#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

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
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
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

MessageRecorder::~MessageRecorder() {
    platform::setMessageHook({});
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

ProgramFolder::ProgramFolder() {
    m_dir.setAutoRemove(true);
}

QByteArray readFileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

} // namespace sylvane::testing
