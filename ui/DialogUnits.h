#pragma once
// Window layouts are drawn in dialog units. The templates were made for 宋体
// 9 pt, whose base units are 6 × 12 pixels at 96 DPI: a horizontal unit is a
// quarter of that width, a vertical unit an eighth of that height. Converting
// with those base units (scaled by the screen's logical DPI) keeps every
// window at the template's pixel size, whichever font draws the text.

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

class CDialogUnits {
public:
    // Base units for a screen of the given logical DPI.
    explicit CDialogUnits(int logicalDpiX = 96, int logicalDpiY = 96);
    // Base units for the screen `widget` is on.
    static CDialogUnits For(const QWidget& widget);

    int X(int units) const;
    int Y(int units) const;
    // A template rectangle: each edge converted on its own, so neighbours
    // that touch in units touch in pixels.
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    int m_baseWidth;  // pixels × 96
    int m_baseHeight; // pixels × 96
};

// `rect` grown to at least `height`, about the same centre line; its left edge
// and width stay.
QRect GrowToHeight(const QRect& rect, int height);

// Places `control` at its template rectangle, grown to the height its text
// needs when the rectangle is shorter (labels, buttons, edits).
void PlaceControl(QWidget& control, const CDialogUnits& du, int x, int y, int width, int height);

// The font every window of the tool draws with: a CJK face at 9 points.
QFont DialogFont();
