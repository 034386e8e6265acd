#include "qt/QtGroupBox.h"

#include <QPainter>
#include <QStyle>

QtGroupBox::QtGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(title, parent) {}

void QtGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    // An etched line: a dark one with a light one just below and right of it. (Styles
    // such as Fusion put their own frame a whole title's height down, below the first row.)
    const QRect frame = rect().adjusted(0, metrics.height() / 2, -2, -2);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    if (title().isEmpty()) {
        return;
    }
    const int gap = metrics.averageCharWidth() / 2;
    const QRect titleArea(metrics.averageCharWidth(), 0,
                          metrics.horizontalAdvance(title()) + 2 * gap, metrics.height());
    painter.fillRect(titleArea, palette().window());
    style()->drawItemText(&painter, titleArea, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}
