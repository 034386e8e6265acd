#include "qt/QtErrorBox.h"

#include "qt/QtPlatform.h"

#include <QMessageBox>
#include <QString>

#include <iostream>

namespace {

void showMessageBox(const std::string& caption, const std::string& text) {
    if (onOffscreenPlatform()) {
        std::cerr << caption << ": " << text << std::endl;
        return;
    }
    QMessageBox box(QMessageBox::Information, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok);
    // The text can be selected and copied, say into a search or a bug report.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // It belongs to no window, yet must not open hidden under the main window, which stays
    // above the others.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

} // namespace

ErrorBoxSink installQtErrorBox() {
    return setErrorBoxSink(showMessageBox);
}
