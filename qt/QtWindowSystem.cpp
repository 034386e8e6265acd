#include "qt/QtWindowSystem.h"

#include "qt/QtEventGuard.h"
#include "qt/QtMenu.h"
#include "qt/QtPlatform.h"
#include "qt/QtTopLevelWindow.h"
#include "res/MenuTemplates.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include <iostream>

std::unique_ptr<TopLevelWindow> QtWindowSystem::createWindow(std::uint32_t style,
                                                             std::uint32_t extStyle,
                                                             const std::string& title, Rect rect,
                                                             WindowProcedure procedure) {
    return std::make_unique<QtTopLevelWindow>(style, extStyle, title, rect, std::move(procedure));
}

std::unique_ptr<Menu> QtWindowSystem::loadMenu(int menuId) {
    const MenuTemplate* menuTemplate = findMenuTemplate(menuId);
    if (menuTemplate == nullptr) {
        return nullptr;
    }
    return std::make_unique<QtMenu>(*menuTemplate);
}

Rect QtWindowSystem::desktopRect() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {};
    }
    const QRect geometry = screen->geometry();
    return Rect{0, 0, geometry.width(), geometry.height()};
}

std::vector<Rect> QtWindowSystem::workAreas() const {
    std::vector<Rect> areas;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect available = screen->availableGeometry();
        const Rect area{available.left(), available.top(), available.left() + available.width(),
                        available.top() + available.height()};
        areas.insert(screen == primary ? areas.begin() : areas.end(), area);
    }
    if (areas.empty()) {
        areas.push_back(desktopRect());
    }
    return areas;
}

Point QtWindowSystem::cursorPos() const {
    const QPoint position = QCursor::pos();
    return Point{position.x(), position.y()};
}

void QtWindowSystem::messageBox(TopLevelWindow* owner, const std::string& text,
                                const std::string& caption) {
    if (onOffscreenPlatform()) {
        std::cerr << caption << ": " << text << '\n';
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok,
                    QtTopLevelWindow::qtWindowOf(owner));
    box.exec();
}

QtWindowSystem::~QtWindowSystem() {
    for (const auto& [title, window] : textWindows_) {
        delete window.data();
    }
}

void QtWindowSystem::showText(const std::string& title, const std::string& text, bool open) {
    const QString name = QString::fromStdString(title);
    QPointer<QPlainTextEdit>& window = textWindows_[title];
    if (!window && !open) {
        return;
    }
    if (!window) {
        window = new QPlainTextEdit;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setReadOnly(true);
        window->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        window->setWindowTitle(name);
        window->setAccessibleName(name);
        window->resize(560, 260);
    }
    window->setPlainText(QString::fromStdString(text));
    if (open) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

int QtWindowSystem::runEventLoop() {
    const int exitCode = QApplication::exec();
    rethrowPendingException();
    return exitCode;
}

void QtWindowSystem::quit(int exitCode) {
    // Posted, so the messages posted before are handled first.
    QMetaObject::invokeMethod(
        qApp, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}
