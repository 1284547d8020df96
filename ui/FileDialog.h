#pragma once
// The save-file dialog behind a seam: a test sets the answer it wants instead
// of driving a modal dialog.

#include "export/TableExport.h"

#include <QString>

#include <string>

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
};

// Asks where to export results to: a .xlsx or a .csv file, suggested in the
// home directory under `suggestedName`. A name typed without an extension
// takes the chosen file type's. Empty when the operator cancelled (UTF-8).
std::string AskExportPath(QWidget* parent, const QString& suggestedName);

// ExportTables with the wait cursor shown: a million rows take seconds.
std::string ExportShowingWait(const std::string& path, const std::vector<ExportTable>& tables);
