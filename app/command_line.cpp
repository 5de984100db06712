#include "app/command_line.h"

#include "platform/version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace sylvane::app {

namespace {

constexpr int kUsageError = 2;

QString versionText() {
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(platform::kAppTitle),
                                       QString::fromLatin1(platform::kVersionText));
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // Qt's own options (-platform, -session from a restored desktop session...) are read by
    // QApplication afterwards; single-dash words must reach it whole.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Also the manual page's description (help2man).
    parser.setApplicationDescription(QStringLiteral(
        "Reads a skin-resistance probe on a serial port (COM1 to COM8) and shows\n"
        "resistance, conductance and the change of resistance since the start of the\n"
        "session as readouts, a scrolling graph, a bar graph and colour lamps. Sessions\n"
        "are recorded while they run, saved with comments and compared, up to six on\n"
        "one graph.\n"
        "\n"
        "The program folder holds the settings (sylvane.ini), the working files of the\n"
        "current session (tempdata.*) and the folder ports/, whose link comN names the\n"
        "device of COM port N. It is the program's own folder or, when that cannot be\n"
        "written, $XDG_DATA_HOME/Sylvane Interface (~/.local/share/Sylvane Interface)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QStringLiteral("Use DIR as the program folder, created when missing."),
        QStringLiteral("DIR"));
    parser.addOptions({help, version, folder});
    for (const char* name : {"platform", "platformtheme", "plugin", "display", "style",
                             "stylesheet", "session", "qwindowgeometry", "qwindowtitle"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }

    CommandLine result;
    const auto usageError = [&result](const QString& why) {
        result.run = false;
        result.exitCode = kUsageError;
        result.error =
            QStringLiteral("sylvane: %1\nTry 'sylvane --help' for the options.\n").arg(why);
        return result;
    };
    if (!parser.parse(arguments)) return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'.")
                              .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help)) {
        result.run = false;
        // Without an application object the parser does not know the program's name.
        result.output =
            parser.helpText().replace(QStringLiteral("<executable_name>"),
                                      QStringLiteral("sylvane")) +
            QStringLiteral(
                "\nQt's own options (-platform, -style, -session...) are passed on to Qt.\n"
                "\n"
                "Exit status: 0 when the window is closed (also by SIGTERM or SIGINT) and for\n"
                "--help and --version; 1 when the folder given cannot be created or written,\n"
                "or when another copy of the program already runs on the program folder;\n"
                "2 for an unknown option or a stray argument.\n");
        return result;
    }
    if (parser.isSet(version)) {
        result.run = false;
        result.output = versionText() + QLatin1Char('\n');
        return result;
    }
    result.folder = parser.value(folder);
    if (parser.isSet(folder) && result.folder.isEmpty())
        return usageError(QStringLiteral("--folder needs a folder name."));
    return result;
}

QString prepareProgramFolder(const QString& folder, QString* error) {
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    const QFileInfo info(path);
    QString why;
    if (info.exists() && !info.isDir())
        why = QStringLiteral("it is not a folder");
    else if (!info.exists() && !QDir().mkpath(path))
        why = QStringLiteral("it cannot be created");
    else if (!QFileInfo(path).isWritable())
        why = QStringLiteral("it is not writable");
    if (why.isEmpty()) return path;
    *error = QStringLiteral("sylvane: cannot use %1 as the program folder: %2.\n")
                 .arg(QDir::toNativeSeparators(path), why);
    return {};
}

} // namespace sylvane::app
