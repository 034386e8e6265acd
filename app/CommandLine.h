#pragma once

#include <string>
#include <vector>

// The switches the program knows, in the order they are reported: "/run" starts grabbing at
// once, "/minimized" hides the window at once, "/testsource" offers the synthetic test
// source after the cameras.
inline const std::vector<std::string> knownSwitches = {"/run", "/minimized", "/testsource"};

// The switches of known that occur anywhere in commandLine as byte-exact substrings, in the
// order of known. There is no tokenising: "/running" holds "/run", "/RUN" holds nothing.
std::vector<std::string> parseSwitches(const std::string& commandLine,
                                       const std::vector<std::string>& known);

// True when found holds s, byte for byte.
bool hasSwitch(const std::vector<std::string>& found, const std::string& s);

// The raw command line: the arguments after the program's name joined by single blanks.
std::string joinArguments(int argc, const char* const* argv);
