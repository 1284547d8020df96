#include "app/StartupOptions.h"

#include "ui/AppTitle.h"

#include <QCommandLineParser>

namespace {
QCommandLineOption WorkDirOption() {
    return QCommandLineOption(QStringLiteral("workdir"),
                              QStringLiteral("Work directory holding localconfig/ (default: "
                                             "$QUILLMARK_WORKDIR, else [workdir] path= in "
                                             "quillmark.conf, else the current directory)."),
                              QStringLiteral("DIR"));
}
} // namespace

StartupOptions ParseStartupOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Print the version."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help."));
    const QCommandLineOption workDir = WorkDirOption();
    parser.addOption(version);
    parser.addOption(help);
    parser.addOption(workDir);

    StartupOptions options;
    if (!parser.parse(arguments)) {
        // Qt's own options (-platform ...) are unknown here before the
        // application has taken them; --version and --help still count.
        options.error = parser.errorText();
        options.showVersion = arguments.contains(QStringLiteral("--version"));
        options.showHelp = arguments.contains(QStringLiteral("--help")) ||
                           arguments.contains(QStringLiteral("-h"));
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error =
            QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first();
        return options;
    }
    options.showVersion = parser.isSet(version);
    options.showHelp = parser.isSet(help);
    options.workDir = parser.value(workDir);
    if (parser.isSet(workDir) && options.workDir.isEmpty())
        options.error = QStringLiteral("--workdir needs a directory");
    return options;
}

QString VersionText() {
    return app_title::ProductName() + u' ' + app_title::Version();
}

QString HelpText() {
    return QStringLiteral("Usage: quillmark [--workdir DIR]\n"
                          "Uploads the settlement-reserve and bank accounts in DIR/localconfig.\n\n"
                          "  --workdir DIR  work directory (default: $QUILLMARK_WORKDIR, else\n"
                          "                 [workdir] path= in quillmark.conf, else the current\n"
                          "                 directory)\n"
                          "  --version      print the version\n"
                          "  -h, --help     print this help\n");
}
