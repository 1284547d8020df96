#pragma once
// Names the tool shows everywhere.

#include "quillmark/Version.h"

#include <QString>

namespace app_title {
// The caption of every message box.
inline QString MessageCaption() {
    return QStringLiteral("提示");
}
// The main window's title.
inline QString MainWindowTitle() {
    return QStringLiteral("A股备付金、银行账户上传");
}
inline QString ProductName() {
    return QStringLiteral("Quillmark");
}
inline QString Version() {
    return QString::fromLatin1(quillmark::kVersion);
}
// The about item of the window's menu.
inline QString AboutItemText() {
    return QStringLiteral("关于 Quillmark(&A)...");
}
// The standard OK button, as on a Chinese system whatever the locale.
inline QString OkButtonText() {
    return QStringLiteral("确定");
}
} // namespace app_title
