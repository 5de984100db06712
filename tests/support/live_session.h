#pragma once
// The real window in a program folder (a fresh one unless given) as start-up leaves it for a
// session on COM2: the port and sensitivity captions set, the reference latch waiting, and no
// layout asked for, since the window is not shown. Message boxes are answered and recorded.

#include "app/frm_sylvane.h"
#include "tests/support/test_support.h"

#include <string>
#include <vector>

namespace sylvane::testing {

struct LiveSession {
    explicit LiveSession(const QString& programFolder = {});

    ProgramFolder own;
    QString folder;
    // Seconds since midnight as the window sees them.
    double clock = 36000.0;
    MessageRecorder messages;
    app::frmSylvane w;

    QString path(const char* name) const;
    QByteArray file(const char* name) const { return readFileBytes(path(name)); }
    bool running() const;
    // The prompts shown so far, for failure output.
    std::string said() const { return messages.prompts().join(" | ").toStdString(); }
};

// The working files of a session that recorded these readings, with these extremes.
QByteArray tstOf(const std::vector<int>& readings);
QByteArray txtOf(const std::vector<int>& readings);
QByteArray hdrOf(int minADC, int maxADC,
                 const QByteArray& comments = "Place session comments here.");
// A settings file as the program writes it, every panel shown.
QByteArray settingsOf(const char* port, const char* sensitivity);

} // namespace sylvane::testing
