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
    box.exec();
}

} // namespace

ErrorBoxSink installQtErrorBox() {
    return setErrorBoxSink(showMessageBox);
}
