#pragma once
// Window layouts are drawn in dialog units, which scale with the dialog font:
// a horizontal unit is a quarter of the font's average character width, a
// vertical unit an eighth of its height.

#include <QFont>
#include <QRect>
#include <QSize>

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

    int AverageCharWidth() const { return m_charWidth; }
    int CharHeight() const { return m_charHeight; }

private:
    int m_charWidth;
    int m_charHeight;
};

// The font every window of the tool uses: a CJK face at 9 points.
QFont DialogFont();
