#include "base/HealthJournal.h"

#include <utility>

HealthJournal& HealthJournal::program() {
    static HealthJournal journal;
    return journal;
}

void HealthJournal::report(const std::string& subject, bool failing, const std::string& reason,
                           const std::string& text) {
    std::lock_guard lock(mutex_);
    State& state = states_[subject];
    const Time now = std::chrono::system_clock::now();
    if (!failing) {
        state.lastWorked = now;
    }
    state.reason = reason;
    if (state.failing == failing) {
        return;
    }
    state.failing = failing;
    entries_.push_back({dropped_ + entries_.size(), now, subject, failing, reason, text});
    if (entries_.size() > keptEntries) {
        entries_.pop_front();
        ++dropped_;
    }
    // Called under the lock, so that no call comes once setListener has replaced it.
    if (listener_) {
        listener_();
    }
}

std::vector<HealthJournal::Entry> HealthJournal::entries(std::size_t from) const {
    std::lock_guard lock(mutex_);
    const std::size_t first = from > dropped_ ? from - dropped_ : 0;
    return first < entries_.size()
               ? std::vector<Entry>(entries_.begin() + static_cast<std::ptrdiff_t>(first),
                                    entries_.end())
               : std::vector<Entry>{};
}

std::size_t HealthJournal::number() const {
    std::lock_guard lock(mutex_);
    return dropped_ + entries_.size();
}

HealthJournal::State HealthJournal::state(const std::string& subject) const {
    std::lock_guard lock(mutex_);
    const auto found = states_.find(subject);
    return found != states_.end() ? found->second : State{};
}

void HealthJournal::setListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}
