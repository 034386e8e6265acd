#pragma once

#include "capture/DriverCaptureService.h"

#include <memory>

// The capture-window service of this machine: the V4L2 cameras present, looked for again at
// each refresh of the driver list, followed by the test source when withTestSource is set
// (the "/testsource" switch). preview and dialogs must outlive the service.
std::unique_ptr<DriverCaptureService>
createSystemCaptureService(bool withTestSource, PreviewSink& preview, CaptureDialogs& dialogs);
