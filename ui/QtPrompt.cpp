#include "ui/QtPrompt.h"

#include "ui/AppTitle.h"
#include "ui/DisplayText.h"

#include <QMessageBox>
#include <QPushButton>

#include <memory>

QMessageBox* CQtPrompt::CreateBox(const std::string& text, QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::Warning, app_title::MessageCaption(),
                                DisplayText(text, LineBreaks::Keep), QMessageBox::Ok, parent);
    // Gateway and file texts may hold '<' or '&': never read them as markup.
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->button(QMessageBox::Ok)->setText(app_title::OkButtonText());
    return box;
}

void CQtPrompt::ShowMessage(const std::string& text) {
    std::unique_ptr<QMessageBox> box(CreateBox(text, m_parent));
    box->exec();
}
