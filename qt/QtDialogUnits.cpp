#include "qt/QtDialogUnits.h"

#include <QFontMetrics>

namespace {

// value * numerator / denominator rounded to the nearest integer, halves away from zero,
// as the window system's MulDiv does for the non-negative values used here.
int scaleRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

int averageCharWidth(const QFontMetrics& metrics) {
    // The width of the 52 letters, halved twice with rounding, as the window system
    // computes a dialog font's average character width.
    const int lettersPx = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (lettersPx / 26 + 1) / 2;
}

} // namespace

QtDialogUnits::QtDialogUnits(const QFont& font)
    : averageCharWidthPx_(averageCharWidth(QFontMetrics(font)))
    , charHeightPx_(QFontMetrics(font).height()) {}

int QtDialogUnits::toPixelsX(int units) const {
    return scaleRounded(units, averageCharWidthPx_, 4);
}

int QtDialogUnits::toPixelsY(int units) const {
    return scaleRounded(units, charHeightPx_, 8);
}

QRect QtDialogUnits::toPixels(int x, int y, int width, int height) const {
    return {toPixelsX(x), toPixelsY(y), toPixelsX(width), toPixelsY(height)};
}
