#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

// One QApplication for the whole run, on the offscreen platform: no display is needed.
class QtApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

private:
    int argc = 1;
    char name[16] = "kavri_qt_test";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

inline testing::Environment* const qtApplication =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// Calls run, and whileOpen on the modal dialog run opens once it is on the screen, from
// inside its loop; a dialog still open after 10 s is ended with -99.
template <typename Run> auto withDialog(std::function<void(QDialog&)> whileOpen, Run run) {
    QTimer poll;
    const QDeadlineTimer deadline(10000);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && deadline.hasExpired()) {
            dialog->done(-99);
        } else if (dialog != nullptr && dialog->isVisible() && whileOpen) {
            std::exchange(whileOpen, nullptr)(*dialog);
        }
    });
    poll.start(5);
    return run();
}
