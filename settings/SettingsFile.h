#pragma once

#include <string>

struct SettingsHolders;

// The settings file, "kavriWebCam.ini" in the current directory: a small markup document
// whose root "kavriwebcam" holds the sections "program", "capture", "image" and
// "network", one attribute line per setting of the settings table, 37 lines each ending
// in CR LF.
inline constexpr const char* settingsFileName = "kavriWebCam.ini";

// The whole file for the settings of this moment, each value fetched just before its line
// is written (so the window's position is where it stands now).
std::string settingsFileText(const SettingsHolders& holders);

// Writes settingsFileText to fileName through a new file that then replaces it, so the old
// file stays whole until the new one is complete. The file is readable by the user alone
// (0600), since it holds the password. A file that cannot be written (by the rules of
// replaceFile) is not reported; the old one is then left as it was.
void saveSettingsFile(const SettingsHolders& holders, const std::string& fileName);

// Applies every known setting that the file names, wherever its section stands and with
// the later value winning; everything else keeps its value. A file that cannot be opened
// (only a regular file is read, through the user's own links only) changes nothing, and the
// parser's complaints about a damaged file are dropped: what could be read is applied.
void loadSettingsFile(const SettingsHolders& holders, const std::string& fileName);
