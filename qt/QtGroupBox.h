#pragma once

#include <QGroupBox>

// A group box drawn the classic way, whatever the style: its frame's top line runs through
// the middle of its title, which sits on the line a little in from the left. So the frame
// holds the whole inside the template gives the group, its first row of controls included,
// at every scale and font.
class QtGroupBox : public QGroupBox {
public:
    QtGroupBox(const QString& title, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
