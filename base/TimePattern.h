#pragma once

#include <ctime>
#include <optional>
#include <string>

// A file name made from a moment in local time by a strftime pattern, such as
// "archive/%Y-%m-%d/%H%M%S.jpg", and the way back: which names the pattern makes, and the
// moment such a name stands for. The conversions are %Y, %m, %d, %H, %M and %S, and %% for a
// percent sign; a name the pattern made may carry a suffix "-1", "-2", ... in front of its
// extension (a picture kept twice in one second).
class TimePattern {
public:
    explicit TimePattern(std::string pattern);

    // Whether the pattern makes usable file names: not empty, only the conversions above,
    // no "." or ".." among its folders, and not ending in a folder.
    bool usable() const;
    const std::string& text() const { return pattern_; }

    // The name for the local time of moment.
    std::string expand(std::time_t moment) const;
    // The same name with the suffix "-number" in front of its extension (none for 0).
    std::string withSuffix(const std::string& name, unsigned number) const;
    // The folder that holds every name of the pattern: its leading folders that have no
    // conversion, "." when there are none.
    std::string root() const;
    // The moment a name the pattern made stands for (seconds the pattern leaves out are 0);
    // nothing for any other name, and for every name of a pattern that is not usable.
    std::optional<std::time_t> match(const std::string& name) const;

private:
    std::string pattern_;
};
