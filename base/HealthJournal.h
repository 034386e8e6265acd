#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the parts of the program said of their health during this run, for the user interface:
// every change of a part's state as a line with its time, and each part's state now with the
// time it last worked. The health lines report here at every change, also those that the
// quiet time keeps off standard error. Safe to use from several threads.
class HealthJournal {
public:
    using Time = std::chrono::system_clock::time_point;

    struct Entry {
        // Counted from 0 in this run.
        std::size_t number = 0;
        Time at;
        std::string subject;
        bool failing = false;
        // What failed, without control characters; empty while working.
        std::string reason;
        // "upload failing: ..." or "upload working again".
        std::string text;
    };
    struct State {
        bool failing = false;
        std::string reason;
        // When the part last worked, if it has in this run.
        std::optional<Time> lastWorked;
    };

    // The one journal of the program, which the health lines report to.
    static HealthJournal& program();

    // A report of a part: an entry when its state changes (the first report of a part that
    // works is no change).
    void report(const std::string& subject, bool failing, const std::string& reason,
                const std::string& text);

    // The entries kept from the number `from` on, oldest first; number() is one past the
    // last. The newest keptEntries are kept, so that a part that keeps failing and working
    // for months costs no more memory.
    std::vector<Entry> entries(std::size_t from = 0) const;
    std::size_t number() const;
    // The state of a part; a part that has not reported counts as working.
    State state(const std::string& subject) const;

    // Called after each new entry, on the reporting thread; never again once it is replaced.
    void setListener(std::function<void()> listener);

private:
    static constexpr std::size_t keptEntries = 500;

    mutable std::mutex mutex_;
    std::deque<Entry> entries_;
    // The entries dropped before the first kept.
    std::size_t dropped_ = 0;
    std::map<std::string, State> states_;
    std::function<void()> listener_;
};
