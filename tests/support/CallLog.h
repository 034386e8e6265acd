#pragma once

#include <string>
#include <vector>

// One list of what the fakes of the window system were asked to do, in order, so a test
// can check the order of calls that go to different services.
class CallLog {
public:
    void add(std::string entry) { entries.push_back(std::move(entry)); }

    // Entries since the last call, which are then dropped.
    std::vector<std::string> take() {
        std::vector<std::string> taken;
        taken.swap(entries);
        return taken;
    }

    std::vector<std::string> entries;
};
