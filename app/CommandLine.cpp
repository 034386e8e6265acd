#include "app/CommandLine.h"

#include "res/Version.h"

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

std::optional<std::string> informationAsked(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help") {
            return "Usage: kavriwebcam [/run] [/minimized] [/testsource] [--pictures]\n"
                   "Shows the webcam in a small window, grabs a picture every few seconds, saves\n"
                   "it as a JPEG file and uploads it. Right-click the window for the menu.\n\n"
                   "  /run         start grabbing at once\n"
                   "  /minimized   start with the window hidden (minimised without a tray)\n"
                   "  /testsource  offer a synthetic test picture after the cameras\n"
                   "  --pictures   work in the kavriWebCam folder of the pictures folder\n"
                   "               instead of the current directory\n"
                   "  --help       print this text and end\n"
                   "  --version    print the version and end\n";
        }
        if (std::string(argv[i]) == "--version") {
            return "kavriWebCam " KAVRI_VERSION "\n";
        }
    }
    return std::nullopt;
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
