#pragma once

// The Qt platform the program runs on.

// No window system: nothing is shown and nobody could dismiss a box.
bool onOffscreenPlatform();
