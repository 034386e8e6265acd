#pragma once

#include "base/HealthLine.h"
#include "capture/FrameListener.h"

// What the cameras of a machine tell besides the preview and the grabs: the lines of their
// health (standard error when empty) and their frames (nowhere when null).
struct CameraOutlets {
    HealthLine::Sink health;
    FrameListener* frames = nullptr;
};
