#pragma once

#include "image/GrabSettings.h"

// The image settings in the settings store now, for the next grab.
GrabSettings storedGrabSettings();
