#pragma once

#include "image/GrabSettings.h"
#include "image/PictureOptions.h"

// The image and picture settings in the settings store now, for the next grab.
GrabSettings storedGrabSettings();

// The picture options as the settings store holds them now. A crop rectangle that is not
// four numbers x,y,w,h with w and h above 0 counts as none.
PictureOptions storedPictureOptions();
