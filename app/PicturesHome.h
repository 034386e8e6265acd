#pragma once

#include <string>

// The program's own folder when started from the desktop menu: "kavriWebCam" in the user's
// pictures folder. The pictures folder is XDG_PICTURES_DIR of the user-dirs.dirs file in
// $XDG_CONFIG_HOME (or ~/.config), "$HOME/Pictures" where that file names none.
std::string picturesHome();

// Makes picturesHome() and its missing parents and makes it the working directory. Throws
// Exception when it cannot.
void enterPicturesHome();
