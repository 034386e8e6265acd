#pragma once

#include "image/GrabSettings.h"

// The image and picture settings in the settings store now, for the next grab.
GrabSettings storedGrabSettings();
