#pragma once

#include <functional>

// Qt does not let an exception unwind through its event loop. Every call from a Qt event
// into the program goes through runGuarded: an exception escaping the handler is kept,
// every running event loop is told to end, and later handlers are skipped until the
// caller of the loop takes the exception with rethrowPendingException and raises it
// again outside Qt. Used on the user interface thread only.
void runGuarded(const std::function<void()>& handler);

// Raises the exception a guarded handler let escape, if any, and forgets it.
void rethrowPendingException();
