#include "app/command_line.h"
#include "app/frm_sylvane.h"
#include "app/program_lock.h"
#include "app/termination_signals.h"
#include "display/tone_output.h"
#include "platform/font_warm_up.h"
#include "platform/program_folder.h"
#include "platform/program_style.h"
#include "platform/version.h"

#include <QApplication>

#include <cstdio>

namespace {

int runWindow(int& argc, char* argv[], QString folder) {
    // Fontconfig's configuration loads while Qt connects to the display.
    sylvane::platform::FontWarmUp fonts;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(sylvane::platform::kAppTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(sylvane::platform::kVersionText));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sylvane.Interface"));
    if (folder.isEmpty()) folder = sylvane::platform::programFolder();
    // Before anything reads or writes the folder.
    sylvane::app::ProgramFolderLock lock(folder);
    if (!lock.take()) return 1;

    fonts.join();
    sylvane::platform::useProgramStyle();
    sylvane::app::frmSylvane window({folder, {}});
    sylvane::app::closeOnTerminationSignals(window);
    window.Form_Load();
    if (window.exitRequested()) return 0;
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const sylvane::app::CommandLine commandLine = sylvane::app::parseCommandLine(arguments);
    std::fputs(commandLine.output.toLocal8Bit().constData(), stdout);
    std::fputs(commandLine.error.toLocal8Bit().constData(), stderr);
    if (!commandLine.run) return commandLine.exitCode;
    QString folder;
    if (!commandLine.folder.isEmpty()) {
        QString error;
        folder = sylvane::app::prepareProgramFolder(commandLine.folder, &error);
        if (folder.isEmpty()) {
            std::fputs(error.toLocal8Bit().constData(), stderr);
            return 1;
        }
    }

    const int status = runWindow(argc, argv, folder);
    // The window and the application are gone, every file written: an audio thread still stuck in
    // the sound system must not hold the program's end.
    sylvane::display::leaveIfAudioStuck(status);
    return status;
}
