#include "qt/QtEventGuard.h"

#include <QCoreApplication>

#include <exception>
#include <utility>

namespace {

// The first exception a handler let escape; the user interface thread's only.
std::exception_ptr pendingException;

} // namespace

void runGuarded(const std::function<void()>& handler) {
    if (pendingException) {
        return;
    }
    try {
        handler();
    } catch (...) {
        pendingException = std::current_exception();
        // Ends the innermost loop (a modal dialog's, say) and the main loop after it.
        QCoreApplication::exit(1);
    }
}

void rethrowPendingException() {
    if (pendingException) {
        std::rethrow_exception(std::exchange(pendingException, nullptr));
    }
}
