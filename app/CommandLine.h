#pragma once

#include <optional>
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

// "--pictures" (the desktop menu's start) works in the pictures folder's kavriWebCam folder
// instead of the current directory.
inline constexpr const char* picturesSwitch = "--pictures";

// What "--help" and "--version" print on standard output, the program then ending with
// status 0 at once: the text for an argument that is exactly one of them, else nothing.
std::optional<std::string> informationAsked(int argc, const char* const* argv);

// The raw command line: the arguments after the program's name joined by single blanks.
std::string joinArguments(int argc, const char* const* argv);
