#pragma once
// Messages to the operator as modal warning boxes captioned "提示" with one
// button "确定". The text is shown as plain text, exactly as given.

#include "support/Prompt.h"

class QWidget;
class QMessageBox;

class CQtPrompt : public IPrompt {
public:
    // Boxes are centred on `parent` (may be null).
    explicit CQtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void ShowMessage(const std::string& text) override;

    // The box ShowMessage runs, built but not shown.
    static QMessageBox* CreateBox(const std::string& text, QWidget* parent);

private:
    QWidget* m_parent;
};
