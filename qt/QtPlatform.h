#pragma once

// The Qt platform the program runs on, and the choice of it. The choice is made through
// the environment (QT_QPA_PLATFORM), before the QApplication exists.

// Unless the user chose a platform in QT_QPA_PLATFORM, chooses X11 wherever there is an
// X server (on a Wayland desktop that is XWayland: only there can the window stand at its
// stored place and stay above the others), else Wayland, and Qt's offscreen platform where
// no display is named or none named can be opened. Returns whether the choice was made
// here.
bool choosePlatformFromEnvironment();

// No window system: nothing is shown and nobody could dismiss a box.
bool onOffscreenPlatform();

// Wayland without X11: only the compositor places windows, none stays above the others,
// and a window is moved by the compositor's own move.
bool onWaylandPlatform();
