#pragma once
// The save-file dialog behind a seam: a test sets the answer it wants instead
// of driving a modal dialog.

#include <QString>

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
