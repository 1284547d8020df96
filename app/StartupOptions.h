#pragma once
// The program's command line: --version, --help and --workdir DIR. Parsed
// before any window exists, so that --version works without a display.

#include <QString>
#include <QStringList>

struct StartupOptions {
    bool showVersion = false;
    bool showHelp = false;
    QString workDir; // empty: the work directory setting (support/settings/Settings.h)
    QString error;   // not empty: the command line was not understood
};

StartupOptions ParseStartupOptions(const QStringList& arguments);

// "Quillmark" and the version, as --version prints it.
QString VersionText();
QString HelpText();
