#pragma once

#include "base/FileDescriptor.h"

// Turns SIGINT, SIGTERM and SIGHUP (a service manager's, or a closed terminal's, request to
// end) into a byte on a pipe that the event loop watches, so that each ends the program
// the way the Exit command does, and ignores SIGPIPE, so that a standard error whose reader
// has gone costs a line, not the program. The handler only writes to the pipe, which never
// blocks it: a full pipe already holds a request. Only one object exists at a time.
//
// The handlers stay while the object lives, so it is made before anything else and goes
// last, after the whole teardown; from then on the three signals are ignored, since the
// program is ending anyway and a second request must not cut its last steps short.
class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe could not be made; the signals then keep their default actions.
    bool isWatching() const { return readEnd.isOpen(); }
    // Readable once a signal came.
    int watchedDescriptor() const { return readEnd.get(); }
    // Takes every request the pipe holds.
    void drain();

private:
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};
