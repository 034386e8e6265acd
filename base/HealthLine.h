#pragma once

#include "base/HealthJournal.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

// The words a part of the program uses to tell its health: what it is, and its two states,
// as in "upload failing: ..." and "upload working again after ...".
struct HealthWords {
    const char* subject;
    const char* failing;
    const char* recovered;
};

// Tells on standard error how one part of the program fares, one line per change of state:
//
//   kavriWebCam: upload failing: store cam/image.jpg: 550 No such file or directory
//   kavriWebCam: upload working again after 7 failures in 2 min 5 s
//
// A steady state prints nothing more. The line that a trouble has ended follows the line
// that told of it at once, and so does the line of a new trouble when a minute has passed
// since the last line. Within that minute a new trouble is told once it has lasted 10 s, so
// that every outage gets its own pair of lines however close they follow each other, while a
// part that fails and works again many times a minute (a failure that never lasts 10 s)
// prints at most one line a minute: its changes are counted, and the first report a minute
// after the last line prints the state of that moment, with "(N changes since the last
// line)". The second line counts the failures in a row and the time from the first of them
// to the moment the part worked again: never the good time before. Every report also goes
// to the journal, which keeps each change at once. Safe to use from several threads.
class HealthLine {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Gets each line without its line end.
    using Sink = std::function<void(const std::string& line)>;

    // The default sink is writeLine; a null journal is told nothing.
    explicit HealthLine(HealthWords words, Clock clock = std::chrono::steady_clock::now,
                        Sink sink = {}, HealthJournal* journal = &HealthJournal::program());

    HealthLine(const HealthLine&) = delete;
    HealthLine& operator=(const HealthLine&) = delete;

    // reason says what was being done and why it failed; control characters in it are
    // printed as '?'.
    void failed(const std::string& reason);
    void succeeded();

    // Writes one line and its line end to standard error in one write, so that lines from
    // two threads never mix. The default sink; also for a notice that is no change of health.
    static void writeLine(const std::string& line);

private:
    void report(bool failing, const std::string& reason);
    bool lineDue(std::chrono::steady_clock::time_point now) const;
    std::string line(bool failing, const std::string& reason) const;

    const HealthWords words_;
    const Clock clock_;
    const Sink sink_;
    HealthJournal* const journal_;

    std::mutex mutex_;
    bool failing_ = false;
    // What the last line said, when it was printed, and the changes of state since.
    bool lineSaidFailing_ = false;
    bool printedAny_ = false;
    std::chrono::steady_clock::time_point lastLineAt_;
    int changesSinceLine_ = 0;
    // The failures in a row, when the first came, and when the part last began to work again.
    int failures_ = 0;
    std::chrono::steady_clock::time_point firstFailureAt_;
    std::chrono::steady_clock::time_point workingSince_;
};
