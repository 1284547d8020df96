#pragma once
// The save-file dialog behind a seam: a test sets the answer it wants instead
// of driving a modal dialog.

#include "export/TableExport.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

struct SaveFileAnswer {
    QString fileName; // empty: the operator cancelled
    QString selectedFilter;
};

class CFileDialog {
public:
    // Asks for a file to write; `filters` as QFileDialog takes them.
    static SaveFileAnswer GetSaveFileName(QWidget* parent, const QString& caption,
                                          const QString& suggestedPath, const QString& filters);

    // The next GetSaveFileName returns `answer` without showing anything.
    static void SetNextAnswer(SaveFileAnswer answer);
    // The path the last GetSaveFileName suggested.
    static QString LastSuggestedPath();
};

// Asks where to export results to: a .xlsx or a .csv file, suggested under
// `suggestedName` in the folder of the last export (else the work directory).
// A name typed without an extension takes the chosen file type's. Empty when
// the operator cancelled (UTF-8).
std::string AskExportPath(QWidget* parent, const QString& suggestedName);

// Exports on a worker thread behind a progress dialog; the folder of a
// successful export is remembered for the next. Returns "" when the export
// succeeded or was cancelled, else the message for the operator.
std::string ExportShowingProgress(QWidget* parent, const std::string& path,
                                  std::function<std::vector<ExportTable>()> makeTables);
