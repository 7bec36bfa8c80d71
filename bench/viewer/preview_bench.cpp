// Frames drawn per second by the viewer's preview renderers at 1920x1080,
// against the emulated device of libVKVX.so.1, and the frames per second
// VKVX_GetFrame alone delivers from the same device in the same run.
//
//   xvfb-run -s "-screen 0 1920x1200x24" ./viewer_preview_bench
//
// Counters: captured_fps (frames the capture worker fetched), drawn_fps
// (pictures the renderer's widget painted), getframe_fps (VKVX_GetFrame in a
// plain loop).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ApiBinding.h"
#include "GfxDisplay.h"
#include "Workers.h"

namespace {

int g_argc = 1;
char g_name[] = "viewer_preview_bench";
char* g_argv[] = {g_name, nullptr};

class NullHost : public kvx::WorkerHost {
public:
    void workerShowNoSignal() override {}
    void workerHideNoSignal() override {}
    void workerShowResetCapture() override {}
    void workerWaitingForTrigger() override {}
    void workerProtectedDisplay(bool) override {}
    void workerSaveItems(bool, bool) override {}
    void workerMessage(const QString& text) override { message = text; }
    QString message;
};

// The emulated device, opened once for the whole run.
VKVX_HANDLE emulatedDevice()
{
    static VKVX_HANDLE handle = [] {
        if (kvx::LoadApiLibrary() < 0) {
            return VKVX_HANDLE(nullptr);
        }
        const int32_t n = kvx::VKVX_EnumDevices(nullptr, 0);
        std::vector<VKVX_DEVICE_INFO> list(static_cast<size_t>(n > 0 ? n : 0));
        kvx::VKVX_EnumDevices(list.data(), n);
        for (const VKVX_DEVICE_INFO& d : list) {
            if (std::strcmp(d.SerialNumber, "EMU001") == 0) {
                int32_t status = 0;
                return kvx::VKVX_OpenDevice(&d, 0, &status);
            }
        }
        return VKVX_HANDLE(nullptr);
    }();
    return handle;
}

void GetFrameAlone(benchmark::State& state)
{
    VKVX_HANDLE h = emulatedDevice();
    if (!h) {
        state.SkipWithError("no emulated device");
        return;
    }
    kvx::VKVX_StartCapture(h);
    VKVX_FRAME frames[2];
    std::memset(frames, 0, sizeof frames);
    kvx::VKVX_AllocateFrameBuffers(h, frames, 2);
    const QString size = QString("%1x%2").arg(frames[0].Width).arg(frames[0].Height);
    int64_t n = 0;
    int64_t failed = 0;
    for (auto _ : state) {
        failed += kvx::VKVX_GetFrame(h, &frames[0]) < 0 ? 1 : 0;
        ++n;
    }
    kvx::VKVX_FreeFrameBuffers(h, frames, 2);
    kvx::VKVX_StopCapture(h);
    if (failed) {
        state.SkipWithError("VKVX_GetFrame failed");
    }
    state.counters["getframe_fps"] = benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsRate);
    state.SetLabel(size.toStdString());
}

// A capture worker on the emulated device drawing into a 1920x1080 window
// for two seconds with the renderer chosen by range(0).
void PreviewRenderer(benchmark::State& state)
{
    VKVX_HANDLE h = emulatedDevice();
    if (!h) {
        state.SkipWithError("no emulated device");
        return;
    }
    kvx::setRendererChoice(static_cast<int>(state.range(0)));
    QWidget window;
    window.setObjectName("PNL_Preview");
    (new QVBoxLayout(&window))->setContentsMargins(0, 0, 0, 0);
    window.resize(1920, 1080);
    window.show();
    NullHost host;
    std::array<int32_t, 16> identity{};
    for (int i = 0; i < 16; ++i) {
        identity[static_cast<size_t>(i)] = i;
    }
    double captured = 0;
    double drawn = 0;
    double seconds = 0;
    std::string kind = "none";
    for (auto _ : state) {
        auto worker = std::make_unique<kvx::CaptureWorkerClass>(h, identity, 1, 1, false, kvx::OptionList{}, &window,
                                                                0, &host);
        worker->setBuffered(true);  // the device keeps running between frames
        worker->start();
        // Warm up: the renderer exists and has painted once.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000 && !(worker->renderer() && worker->renderer()->framesDrawn() > 0)) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        if (!worker->renderer()) {
            state.SkipWithError(("no renderer: " + host.message.toStdString()).c_str());
            break;
        }
        kind = worker->renderer()->kind();
        const int64_t f0 = worker->framesTaken();
        const int64_t d0 = worker->renderer()->framesDrawn();
        t.restart();
        while (t.elapsed() < 2000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        seconds += t.elapsed() / 1000.0;
        captured += static_cast<double>(worker->framesTaken() - f0);
        drawn += static_cast<double>(worker->renderer()->framesDrawn() - d0);
        state.SetIterationTime(t.elapsed() / 1000.0);
        // What the view shows: the gradient's level at the top and bottom.
        QWidget* view = worker->renderer()->widget();
        auto* gl = qobject_cast<QOpenGLWidget*>(view);
        const QImage shot = gl ? gl->grabFramebuffer() : view->grab().toImage();
        auto level = [&](int y) {
            const QColor c = shot.pixelColor(shot.width() / 2, y);
            return std::max({c.red(), c.green(), c.blue()});
        };
        if (!shot.isNull()) {
            kind += " top=" + std::to_string(level(1)) + " bottom=" + std::to_string(level(shot.height() - 2));
        }
        worker.reset();
    }
    if (seconds > 0) {
        state.counters["captured_fps"] = captured / seconds;
        state.counters["drawn_fps"] = drawn / seconds;
    }
    state.SetLabel(kind);
    kvx::setRendererChoice(kvx::kRendererAny);
}

BENCHMARK(GetFrameAlone)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(PreviewRenderer)->Arg(kvx::kRendererRaster)->ArgName("raster")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PreviewRenderer)->Arg(kvx::kRendererGL)->ArgName("opengl")->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(g_argc, g_argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
