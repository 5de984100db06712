#pragma once
// The program's command line, read before any window exists so that --help, --version and a
// mistyped option work without a display.

#include <QString>
#include <QStringList>

namespace sylvane::app {

struct CommandLine {
    // False: print `output` (stdout) or `error` (stderr) and end with exitCode.
    bool run = true;
    int exitCode = 0;
    QString output;
    QString error;
    // Empty: the usual program folder.
    QString folder;
};

// arguments as argv holds them, the program's name first.
CommandLine parseCommandLine(const QStringList& arguments);

// Creates `folder` when missing and returns its absolute path, or an empty string and why not.
QString prepareProgramFolder(const QString& folder, QString* error);

} // namespace sylvane::app
