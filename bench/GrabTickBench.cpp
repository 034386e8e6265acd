// From the timer tick that brings the countdown to zero to the JPEG file renamed into
// place: the main window's tick, the grab from the test source through _temp.dib, the
// frame chain and the JPEG writer, at 320x240 and 640x480. The window system is the
// screenless fake of the tests, so only the program's own work is measured.
#include "app/MainWindow.h"
#include "capture/Capture.h"
#include "capture/DriverCaptureService.h"
#include "capture/HeadlessCaptureDialogs.h"
#include "capture/HeadlessPreviewSink.h"
#include "capture/TestSource.h"
#include "res/MenuTemplates.h"
#include "settings/Settings.h"
#include "tests/support/FakeDialogRunner.h"
#include "tests/support/FakeWindowSystem.h"
#include "tests/support/RecordingTrayShell.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

class InTempDir {
public:
    InTempDir()
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir.path());
    }
    ~InTempDir() { std::filesystem::current_path(previous); }
    InTempDir(const InTempDir&) = delete;
    InTempDir& operator=(const InTempDir&) = delete;

private:
    TempDir dir;
    std::filesystem::path previous;
};

void BM_TickToJpeg(benchmark::State& state) {
    InTempDir cwd;
    Settings::setActive(false);
    Settings::setSaveSettingsOnExit(false);
    Settings::setUpdate(1);

    auto source = std::make_unique<TestSource>();
    source->setFrameSize({static_cast<int>(state.range(0)), static_cast<int>(state.range(1))});
    std::vector<std::unique_ptr<CaptureDriver>> drivers;
    drivers.push_back(std::move(source));
    HeadlessPreviewSink preview;
    HeadlessCaptureDialogs captureDialogs;
    DriverCaptureService service(std::move(drivers), preview, captureDialogs);

    FakeWindowSystem system;
    system.menuTemplate = findMenuTemplate(mainMenuId);
    RecordingTrayShell tray;
    FakeDialogRunner dialogs;
    MainWindow mainWindow(system, tray, dialogs, showCommand::SW_SHOWNORMAL);
    Capture capture(service, mainWindow.captureParent());
    mainWindow.setCapture(&capture);
    capture.initialize();
    mainWindow.setupMenus();
    system.window->deliver(windowMessage::WM_COMMAND, menuCommand::run, 0);

    for (auto _ : state) {
        // With an interval of one second every second tick grabs; the other is not timed.
        state.PauseTiming();
        system.window->tick();
        system.log.take();
        tray.take();
        state.ResumeTiming();
        system.window->tick();
    }
    if (!std::filesystem::exists(Settings::getJpegFile())) {
        state.SkipWithError("no JPEG file was written");
    }
    mainWindow.shutdown();
}
BENCHMARK(BM_TickToJpeg)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
