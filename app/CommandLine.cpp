#include "app/CommandLine.h"

#include <algorithm>

std::vector<std::string> parseSwitches(const std::string& commandLine,
                                       const std::vector<std::string>& known) {
    std::vector<std::string> found;
    for (const std::string& candidate : known) {
        if (commandLine.find(candidate) != std::string::npos) {
            found.push_back(candidate);
        }
    }
    return found;
}

bool hasSwitch(const std::vector<std::string>& found, const std::string& s) {
    return std::find(found.begin(), found.end(), s) != found.end();
}

std::string joinArguments(int argc, const char* const* argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            commandLine += ' ';
        }
        commandLine += argv[i];
    }
    return commandLine;
}
