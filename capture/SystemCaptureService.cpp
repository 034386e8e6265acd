#include "capture/SystemCaptureService.h"

#include "capture/LibV4l2Device.h"
#include "capture/TestSource.h"
#include "capture/V4l2Camera.h"

std::unique_ptr<DriverCaptureService>
createSystemCaptureService(bool withTestSource, PreviewSink& preview, CaptureDialogs& dialogs) {
    auto drivers = V4l2Camera::findCameras(LibV4l2Device::videoNodes(), &LibV4l2Device::open);
    if (withTestSource) {
        drivers.push_back(std::make_unique<TestSource>());
    }
    return std::make_unique<DriverCaptureService>(std::move(drivers), preview, dialogs);
}
