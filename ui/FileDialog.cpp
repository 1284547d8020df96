#include "ui/FileDialog.h"

#include "ui/ExportFolder.h"
#include "ui/ExportProgress.h"

#include <QDir>
#include <QFileDialog>

#include <optional>

namespace {
std::optional<SaveFileAnswer>& NextAnswer() {
    static std::optional<SaveFileAnswer> answer;
    return answer;
}
QString& SuggestedPath() {
    static QString path;
    return path;
}
} // namespace

SaveFileAnswer CFileDialog::GetSaveFileName(QWidget* parent, const QString& caption,
                                            const QString& suggestedPath, const QString& filters) {
    SuggestedPath() = suggestedPath;
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

QString CFileDialog::LastSuggestedPath() {
    return SuggestedPath();
}

std::string AskExportPath(QWidget* parent, const QString& suggestedName) {
    const QString csv = QStringLiteral("CSV 文件，供程序读取 (*.csv)");
    const QString xlsx = QStringLiteral("Excel 工作簿 (*.xlsx)");
    const SaveFileAnswer answer = CFileDialog::GetSaveFileName(
        parent, QStringLiteral("导出结果"), QDir(ExportStartFolder()).filePath(suggestedName),
        xlsx + ";;" + csv);
    if (answer.fileName.isEmpty())
        return {};
    std::string path = answer.fileName.toStdString();
    if (!ExportFormatOf(path))
        path += answer.selectedFilter == csv ? ".csv" : ".xlsx";
    return path;
}

std::string ExportShowingProgress(QWidget* parent, const std::string& path,
                                  std::function<std::vector<ExportTable>()> makeTables) {
    const std::string result = ExportWithProgress(parent, path, std::move(makeTables));
    if (result.empty())
        RememberExportFolder(QString::fromStdString(path));
    return result == kExportCancelled ? std::string() : result;
}
