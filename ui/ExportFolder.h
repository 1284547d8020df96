#pragma once
// Where an export's save dialog starts: the folder the operator last exported
// to, kept in $XDG_STATE_HOME/quillmark/export-folder (state of the machine's
// use, not a setting), else the work directory. Suggested names say which
// list and when.

#include <QDateTime>
#include <QString>

// The file that remembers the folder.
QString ExportFolderStateFile();
// The folder the save dialog starts in: the remembered one while it exists,
// else the work directory, else the home directory.
QString ExportStartFolder();
// Remembers the folder of `exportedFile` for the next export; a failure to
// remember is ignored (the next export starts in the work directory).
void RememberExportFolder(const QString& exportedFile);
// "<what>-20261207-175301.xlsx": what was exported and when.
QString SuggestedExportName(const QString& what, const QDateTime& when);
