#pragma once

#include "capture/DriverCaptureService.h"

// The capture drivers of this machine: the V4L2 cameras present, looked for again at each
// refresh of the driver list, followed by the test source when withTestSource is set (the
// "/testsource" switch).
DriverCaptureService::DriverFinder systemCaptureDrivers(bool withTestSource);
