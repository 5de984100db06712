#pragma once
// The real window in a program folder (a fresh one unless given) as start-up leaves it for a
// session on COM2: the port and sensitivity captions set, the reference latch waiting, and no
// layout asked for, since the window is not shown. Message boxes are answered and recorded.

#include "app/frm_sylvane.h"
#include "tests/support/test_support.h"

#include <array>
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
    // Start-up as main() runs it, from this settings file (none when empty), up to the end of
    // completeLoad(), which the program runs just after the first paint.
    void load(const QByteArray& settings);
    // Shows the window and waits for its first arrangement.
    bool showSettled();
    // Pixels of the colour in the picture graph, or in one column of it.
    int pixels(std::uint32_t vbColor, int column = -1) const;
};

// The working files of a session that recorded these readings, with these extremes.
QByteArray tstOf(const std::vector<int>& readings);
QByteArray txtOf(const std::vector<int>& readings);
QByteArray hdrOf(int minADC, int maxADC,
                 const QByteArray& comments = "Place session comments here.");
// A settings file as the program writes it: a panel shown for each '1' of `shown`, the window at
// {width, height, top, left} (the first start's place on a 1024 x 768 screen when all 0).
QByteArray settingsOf(const char* port, const char* sensitivity, const char* shown = "111111",
                      std::array<int, 4> place = {});

// Answers the file manager when it next opens: each name typed and entered (Save saves under it,
// Display adds it); in Display mode beforeEnd runs, then Display (Cancel when no names).
void answerFileManager(const QStringList& names, std::function<void()> beforeEnd = {});

} // namespace sylvane::testing
