#include "platform/qt/QtErrorBox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <iostream>

namespace {

void showMessageBox(const std::string& caption, const std::string& text) {
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
        std::cerr << caption << ": " << text << std::endl;
        return;
    }
    QMessageBox box(QMessageBox::Information, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok);
    // The text can be selected and copied, say into a search or a bug report.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
}

} // namespace

ErrorBoxSink installQtErrorBox() {
    return setErrorBoxSink(showMessageBox);
}
