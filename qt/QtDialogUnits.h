#pragma once

#include <QFont>
#include <QRect>

// Converts dialog units to pixels for a dialog font, as the classic window system does:
// a horizontal unit is a quarter of the font's average character width, a vertical unit an
// eighth of its character height.
class QtDialogUnits {
public:
    explicit QtDialogUnits(const QFont& font);

    int averageCharWidthPx() const { return averageCharWidthPx_; }
    int charHeightPx() const { return charHeightPx_; }

    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QRect toPixels(int x, int y, int width, int height) const;

private:
    int averageCharWidthPx_;
    int charHeightPx_;
};
