#include "capture/SystemCaptureService.h"

#include "base/HealthLine.h"
#include "capture/TestSource.h"
#include "capture/v4l2/LibV4l2Device.h"
#include "capture/v4l2/V4l2Camera.h"

DriverCaptureService::DriverFinder systemCaptureDrivers(bool withTestSource,
                                                        CameraOutlets outlets) {
    // One health line for whichever camera is in use.
    const V4l2Camera::Machine machine{[] { return LibV4l2Device::videoNodes(); },
                                      &LibV4l2Device::open,
                                      std::make_shared<HealthLine>(V4l2Camera::healthWords,
                                                                   std::chrono::steady_clock::now,
                                                                   std::move(outlets.health)),
                                      {},
                                      outlets.frames};
    return [machine, withTestSource] {
        std::vector<std::shared_ptr<CaptureDriver>> drivers;
        for (auto& camera : V4l2Camera::findCameras(machine)) {
            drivers.push_back(std::move(camera));
        }
        if (withTestSource) {
            drivers.push_back(std::make_shared<TestSource>(machine.frames));
        }
        return drivers;
    };
}
