#pragma once
// The about box: the icon, the product and version, one line about the tool,
// and "确定", which closes it.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
