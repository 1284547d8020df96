#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

namespace {
// The average width is that of the 52 Latin letters, rounded, as dialog
// layouts have always measured it.
constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
} // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    m_charWidth = (metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) + 26) / 52;
    m_charHeight = metrics.height();
    if (m_charWidth < 1)
        m_charWidth = 1;
    if (m_charHeight < 1)
        m_charHeight = 1;
}

int CDialogUnits::X(int units) const {
    return (units * m_charWidth + 2) / 4;
}

int CDialogUnits::Y(int units) const {
    return (units * m_charHeight + 4) / 8;
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

QSize CDialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

QFont DialogFont() {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setFamilies(QStringList{QStringLiteral("WenQuanYi Micro Hei"),
                                 QStringLiteral("Noto Sans CJK SC"),
                                 QStringLiteral("Noto Sans SC")});
    font.setPointSize(9);
    return font;
}
