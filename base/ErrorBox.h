#pragma once

#include <functional>
#include <string>

// The caption of every error box the program shows.
inline constexpr const char* errorBoxCaption = "kavri WebCam Error";

// Where error boxes go. The window system installs a real modal message box at start-up;
// until then, and when no display exists, the caption and text go to standard error.
using ErrorBoxSink = std::function<void(const std::string& caption, const std::string& text)>;

// Replaces the sink; an empty function restores the standard-error sink. Returns the
// sink that was installed before, so a caller can put it back.
ErrorBoxSink setErrorBoxSink(ErrorBoxSink sink);

// Shows text in a modal box captioned "kavri WebCam Error" with one OK button, and returns
// when the user has dismissed it.
void showErrorBox(std::string text);
