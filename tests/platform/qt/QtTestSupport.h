#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <utility>

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
