#include "ui/FileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>

#include <optional>

namespace {
std::optional<SaveFileAnswer>& NextAnswer() {
    static std::optional<SaveFileAnswer> answer;
    return answer;
}
} // namespace

SaveFileAnswer CFileDialog::GetSaveFileName(QWidget* parent, const QString& caption,
                                            const QString& suggestedPath, const QString& filters) {
    if (NextAnswer()) {
        SaveFileAnswer answer = std::move(*NextAnswer());
        NextAnswer().reset();
        return answer;
    }
    SaveFileAnswer answer;
    answer.fileName = QFileDialog::getSaveFileName(parent, caption, suggestedPath, filters,
                                                   &answer.selectedFilter);
    return answer;
}

void CFileDialog::SetNextAnswer(SaveFileAnswer answer) {
    NextAnswer() = std::move(answer);
}

std::string AskExportPath(QWidget* parent, const QString& suggestedName) {
    const QString csv = QStringLiteral("CSV 文件，供程序读取 (*.csv)");
    const QString xlsx = QStringLiteral("Excel 工作簿 (*.xlsx)");
    const SaveFileAnswer answer =
        CFileDialog::GetSaveFileName(parent, QStringLiteral("导出结果"),
                                     QDir::home().filePath(suggestedName), xlsx + ";;" + csv);
    if (answer.fileName.isEmpty())
        return {};
    std::string path = answer.fileName.toStdString();
    if (!ExportFormatOf(path))
        path += answer.selectedFilter == csv ? ".csv" : ".xlsx";
    return path;
}

std::string ExportShowingWait(const std::string& path, const std::vector<ExportTable>& tables) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string failure = ExportTables(path, tables);
    QGuiApplication::restoreOverrideCursor();
    return failure;
}
