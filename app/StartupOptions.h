#pragma once
// The program's command line: --version, --help and --workdir DIR. Parsed
// before any window exists, so that --version works without a display.

#include <QString>
#include <QStringList>

struct StartupOptions {
    bool showVersion = false;
    bool showHelp = false;
    QString workDir; // empty: $QUILLMARK_WORKDIR, else the current directory
    QString error;   // not empty: the command line was not understood
};

StartupOptions ParseStartupOptions(const QStringList& arguments);

// "Quillmark 1.0.0.1", as --version prints it.
QString VersionText();
QString HelpText();
