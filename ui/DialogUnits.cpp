#include "ui/DialogUnits.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

namespace {
// 宋体 9 pt at 96 DPI.
constexpr int kBaseWidth = 6;
constexpr int kBaseHeight = 12;
constexpr int kReferenceDpi = 96;

// units × base / divisor, rounded half up; the base is kept in pixels × 96.
int Scale(int units, int base96, int divisor) {
    const long long scaled = static_cast<long long>(units) * base96;
    const long long whole = static_cast<long long>(divisor) * kReferenceDpi;
    return static_cast<int>((scaled * 2 + whole) / (whole * 2));
}
} // namespace

CDialogUnits::CDialogUnits(int logicalDpiX, int logicalDpiY)
    : m_baseWidth(kBaseWidth * (logicalDpiX > 0 ? logicalDpiX : kReferenceDpi)),
      m_baseHeight(kBaseHeight * (logicalDpiY > 0 ? logicalDpiY : kReferenceDpi)) {}

CDialogUnits CDialogUnits::For(const QWidget& widget) {
    return CDialogUnits(widget.logicalDpiX(), widget.logicalDpiY());
}

int CDialogUnits::X(int units) const {
    return Scale(units, m_baseWidth, 4);
}

int CDialogUnits::Y(int units) const {
    return Scale(units, m_baseHeight, 8);
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

QSize CDialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

QRect GrowToHeight(const QRect& rect, int height) {
    if (height <= rect.height())
        return rect;
    const int extra = height - rect.height();
    return QRect(rect.left(), rect.top() - extra / 2, rect.width(), height);
}

void PlaceControl(QWidget& control, const CDialogUnits& du, int x, int y, int width, int height) {
    QRect rect = du.Rect(x, y, width, height);
    // Only one-line controls grow; lists and frames keep their template size.
    if (qobject_cast<QLabel*>(&control) || qobject_cast<QAbstractButton*>(&control) ||
        qobject_cast<QLineEdit*>(&control))
        rect = GrowToHeight(rect, control.sizeHint().height());
    control.setGeometry(rect);
}

QFont DialogFont() {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setFamilies(QStringList{QStringLiteral("WenQuanYi Micro Hei"),
                                 QStringLiteral("Noto Sans CJK SC"),
                                 QStringLiteral("Noto Sans SC")});
    font.setPointSize(9);
    return font;
}
