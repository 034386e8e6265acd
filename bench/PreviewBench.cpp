// The cost of one preview frame on the user interface side: the frame converted on the
// capture thread's call, the queued repaint and the scaled painting, on Qt's offscreen
// platform. Thirty times this per second is what the preview costs at 30 fps.
#include "base/Surface.h"
#include "capture/TestSource.h"
#include "qt/QtPreviewWidget.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

namespace {

// Counts the paint events of the widget it watches.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

void previewFrame(benchmark::State& state) {
    const FrameSize size{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
    // At the default zoom of 75%.
    const int windowWidth = size.width * 3 / 4;
    const int windowHeight = size.height * 3 / 4;
    QWidget parent;
    parent.resize(windowWidth, windowHeight);
    auto* widget = new QtPreviewWidget(&parent);
    widget->setGeometry(0, 0, windowWidth, windowHeight);
    parent.show();
    QCoreApplication::processEvents();
    const Surface frame = TestSource::render(size, 1);
    PaintCounter counter;
    widget->installEventFilter(&counter);
    for (auto _ : state) {
        widget->showFrame(frame, windowWidth, windowHeight, true);
        // The first round runs the queued call, which asks for an update; the second
        // paints.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    }
    widget->removeEventFilter(&counter);
    state.counters["paints_per_frame"] =
        benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
    // Per cent of one core that 30 frames a second take.
    state.counters["cpu_percent_at_30fps"] = benchmark::Counter(
        1.0 / 3000.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(previewFrame)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
