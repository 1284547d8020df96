#include "ui/FileDialog.h"

#include <QFileDialog>

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
