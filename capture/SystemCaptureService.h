#pragma once

#include "capture/CameraOutlets.h"
#include "capture/DriverCaptureService.h"

// The capture drivers of this machine: the V4L2 cameras present, looked for again at each
// refresh of the driver list, followed by the test source when withTestSource is set (the
// "/testsource" switch). They tell their health and hand their frames to outlets.
DriverCaptureService::DriverFinder systemCaptureDrivers(bool withTestSource,
                                                        CameraOutlets outlets = {});
