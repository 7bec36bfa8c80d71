#include "Workers.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <cstring>

#include "ApiBinding.h"

namespace kvx {
namespace {

std::atomic<int32_t> g_snapshotCounter{0};

constexpr int32_t kOptionColourMode = 3;
constexpr int32_t kOptionLanes = 6;

QString statusOf(int32_t code) { return QString::fromStdString(ApiStatusText(code)); }

// Bytes per pixel of a frame as the column copy moves them: the element size
// the library gave the record, else by its format (0 and 1: 4, others 8).
size_t pixelBytesOf(const VKVX_FRAME& f)
{
    if (f.BytesPerElement == 4 || f.BytesPerElement == 8) {
        return f.BytesPerElement;
    }
    return (f.Format == 0 || f.Format == 1) ? 4 : 8;
}

}  // namespace

int32_t nextSnapshotNumber() { return g_snapshotCounter.fetch_add(1); }
int32_t snapshotCounter() { return g_snapshotCounter.load(); }

QString fileFormatExtension(int32_t format)
{
    switch (format) {
    case 0:
        return ".ppm";
    case 1:
        return ".bmp";
    case 2:
        return ".jpg";
    default:
        return QString();
    }
}

QString snapshotName(const QString& folder, int32_t counter)
{
    return folder + "KVX_Snap_" + QString::number(counter);
}

QString sequenceName(const QString& folder, int32_t index)
{
    return folder + QString::asprintf("KVX_Seq_%03i", index);
}

std::vector<int32_t> buildColumnMap(int32_t width, int32_t lanes, int32_t sections,
                                    const std::array<int32_t, 16>& laneMap)
{
    const int32_t W = std::clamp(width, 0, kMaxMapColumns);
    const int32_t N = std::max(lanes, 1);
    const int32_t S = std::max(sections, 1);
    std::vector<int32_t> map(static_cast<size_t>(W), W);
    if (W == 0) {
        return map;
    }
    // T: the source column of each position, lane by lane.
    std::vector<int32_t> T;
    T.reserve(static_cast<size_t>(W));
    // Only the first W positions are ever looked up.
    for (int64_t base = 0; static_cast<int64_t>(T.size()) < W; base += N) {
        for (int32_t i = 0; i < N && static_cast<int64_t>(T.size()) < W; ++i) {
            const int32_t lane = i < 16 ? laneMap[static_cast<size_t>(i)] : i;
            T.push_back(static_cast<int32_t>(std::clamp<int64_t>(base + lane, -1, INT32_MAX)));
        }
    }
    // First position k < W of each source column (W when there is none).
    std::vector<int32_t> firstAt(static_cast<size_t>(W), W);
    for (int32_t k = W - 1; k >= 0; --k) {
        const int32_t g = T[static_cast<size_t>(k)];
        if (g >= 0 && g < W) {
            firstAt[static_cast<size_t>(g)] = k;
        }
    }
    int32_t P = N / S;
    if (P == 0) {
        P = 1;
    }
    int32_t out = 0;
    for (int32_t j = 0; j < W / P && out < W; ++j) {
        for (int32_t s = 0; s < S && out < W; ++s) {
            int64_t g = (static_cast<int64_t>(s) * W) / S + static_cast<int64_t>(j) * P;
            for (int32_t p = 0; p < P && out < W; ++p, ++g) {
                map[static_cast<size_t>(out++)] = g < W ? firstAt[static_cast<size_t>(g)] : W;
            }
        }
    }
    return map;
}

void copyThroughColumnMap(const VKVX_FRAME& src, VKVX_FRAME& dst, const std::vector<int32_t>& map)
{
    if (!src.Buffer || !dst.Buffer) {
        return;
    }
    const size_t pb = pixelBytesOf(src);
    if (pixelBytesOf(dst) != pb) {
        return;
    }
    const size_t W = std::min(src.Width, dst.Width);
    const size_t H = std::min(src.Height, dst.Height);
    const size_t srcPitch = static_cast<size_t>(src.Width) * pb;
    const size_t dstPitch = static_cast<size_t>(dst.Width) * pb;
    const auto* s = static_cast<const uint8_t*>(src.Buffer);
    auto* d = static_cast<uint8_t*>(dst.Buffer);
    const size_t mapped = std::min(W, map.size());
    for (size_t y = 0; y < H; ++y) {
        const uint8_t* srow = s + y * srcPitch;
        uint8_t* drow = d + y * dstPitch;
        for (size_t c = 0; c < mapped; ++c) {
            const auto to = static_cast<size_t>(map[c]);
            if (map[c] >= 0 && to < W) {
                std::memcpy(drow + to * pb, srow + c * pb, pb);
            }
        }
        if (mapped < W) {  // beyond the map: columns keep their place
            std::memcpy(drow + mapped * pb, srow + mapped * pb, (W - mapped) * pb);
        }
    }
}

// ---- WorkerClass ----------------------------------------------------------

WorkerClass::WorkerClass(VKVX_HANDLE handle, int32_t laneCountDefault, const OptionList& options,
                         uint32_t deviceType, WorkerHost* host)
    : handle_(handle), deviceType_(deviceType), options_(options), laneCount_(laneCountDefault), host_(host)
{
    for (const auto& [id, value] : options_) {
        if (id == kOptionColourMode) {
            colourMode_ = value;
        } else if (id == kOptionLanes) {
            laneCount_ = value;
        }
    }
}

WorkerClass::~WorkerClass() { stopAndWait(); }

QString WorkerClass::resolutionText() const
{
    std::lock_guard<std::mutex> lock(textMutex_);
    return resolution_;
}

QString WorkerClass::statusText() const
{
    std::lock_guard<std::mutex> lock(textMutex_);
    return status_;
}

QString WorkerClass::saveFolder() const
{
    std::lock_guard<std::mutex> lock(textMutex_);
    return saveFolder_;
}

void WorkerClass::setSaveFolder(const QString& folder)
{
    std::lock_guard<std::mutex> lock(textMutex_);
    saveFolder_ = folder;
}

void WorkerClass::setStatusText(const QString& text)
{
    std::lock_guard<std::mutex> lock(textMutex_);
    status_ = text;
}

void WorkerClass::setResolutionText(const QString& text)
{
    std::lock_guard<std::mutex> lock(textMutex_);
    resolution_ = text;
}

void WorkerClass::giveUp()
{
    requestInterruption();
    connectionLost_ = true;
}

void WorkerClass::synchronize(const std::function<void()>& fn)
{
    std::unique_lock<std::mutex> lock(syncMutex_);
    pending_ = &fn;
    served_ = false;
    serving_ = true;
    // Runs on the main thread (this object lives there); dropped if the
    // object is gone, which cannot happen while the thread waits here.
    QMetaObject::invokeMethod(this, [this] { serveSynchronised(); }, Qt::QueuedConnection);
    syncDone_.wait(lock, [this] { return served_; });
    serving_ = false;
}

void WorkerClass::serveSynchronised()
{
    std::unique_lock<std::mutex> lock(syncMutex_);
    const std::function<void()>* fn = pending_;
    pending_ = nullptr;
    if (!fn) {
        return;
    }
    lock.unlock();
    (*fn)();
    lock.lock();
    served_ = true;
    syncDone_.notify_all();
}

void WorkerClass::showMessage(const QString& text)
{
    synchronize([this, text] { host_->workerMessage(text); });
}

void WorkerClass::stopAndWait()
{
    requestInterruption();
    while (!wait(QDeadlineTimer(2))) {
        serveSynchronised();
    }
}

// ---- CaptureWorkerClass ----------------------------------------------------

CaptureWorkerClass::CaptureWorkerClass(VKVX_HANDLE handle, const std::array<int32_t, 16>& laneMap,
                                       int32_t colourConversion, int32_t sections, bool customLaneMap,
                                       const OptionList& options, QWidget* previewWindow, uint32_t deviceType,
                                       WorkerHost* host)
    : WorkerClass(handle, sections, options, deviceType, host),
      laneMap_(laneMap),
      colourConversion_(colourConversion),
      sections_(sections),
      customLaneMap_(customLaneMap),
      preview_(previewWindow)
{
    std::memset(frames_, 0, sizeof frames_);
    std::memset(&rgbFrame_, 0, sizeof rgbFrame_);
    host_->workerSaveItems(true, false);
    host_->workerProtectedDisplay(false);
}

CaptureWorkerClass::~CaptureWorkerClass()
{
    host_->workerSaveItems(false, false);
    stopAndWait();
}

GFX_Display* CaptureWorkerClass::renderer() const
{
    std::lock_guard<std::mutex> lock(rendererMutex_);
    return renderer_.get();
}

void CaptureWorkerClass::requestSequence(int32_t frames, bool bufferedSequence)
{
    sequenceIndex_ = 0;
    bufferedSequence_ = bufferedSequence;
    sequenceLeft_ = frames;  // last: a positive value starts the sequence
}

void CaptureWorkerClass::updateProtectedDisplay()
{
    const bool p = protected_;
    synchronize([this, p] { host_->workerProtectedDisplay(p); });
}

void CaptureWorkerClass::run()
{
    while (!terminating()) {
        synchronize([this] { host_->workerShowNoSignal(); });
        for (const auto& [id, value] : options_) {
            const int32_t r = kvx::VKVX_SetOption(handle_, id, value);
            if (r != 0) {
                setStatusText(statusOf(r));
                if (r == VKVX_ERROR_USB_IO || r == VKVX_ERROR_CONFIGURATION) {
                    giveUp();
                    break;
                }
            }
        }
        if (terminating()) {
            break;  // no further device calls once the worker gives up
        }
        std::memset(frames_, 0, sizeof frames_);
        int32_t r = kvx::VKVX_StartCapture(handle_);
        updateProtectedDisplay();
        if (r >= 0) {
            r = kvx::VKVX_AllocateFrameBuffers(handle_, frames_, 2);
            if (r >= 0) {
                captureLoop();
                continue;  // straight back to the options
            }
        }
        if (r == VKVX_ERROR_TRIGGER_TIMEOUT) {
            synchronize([this] { host_->workerWaitingForTrigger(); });
        }
        if (r == VKVX_ERROR_CONFIGURATION) {
            giveUp();
            break;
        }
        setStatusText(statusOf(r));
        for (int i = 0; i < 10 && !terminating(); ++i) {
            msleep(10);
        }
    }
    synchronize([this] { host_->workerHideNoSignal(); });
    synchronize([this] { host_->workerShowResetCapture(); });
}

void CaptureWorkerClass::captureLoop()
{
    setResolutionText(QString());
    frameWidth_ = static_cast<int32_t>(std::min<uint32_t>(frames_[0].Width, INT32_MAX));
    frameHeight_ = static_cast<int32_t>(std::min<uint32_t>(frames_[0].Height, INT32_MAX));
    if (customLaneMap_) {
        const int64_t lanes = static_cast<int64_t>(laneCount_) * chainDeviceCount();
        columnMap_ = buildColumnMap(frameWidth_, static_cast<int32_t>(std::clamp<int64_t>(lanes, 1, INT32_MAX)),
                                    sections_, laneMap_);
    }
    restart_ = false;
    waiting_ = false;
    noSignalCount_ = 0;
    loopFrames_ = 0;
    while (!terminating() && !restart_) {
        frameStep();
        while (sequenceLeft_ > 0 && !terminating()) {
            frameStep();
        }
        if (!buffered_) {
            kvx::VKVX_StopCapture(handle_);
        }
    }
    if (waiting_) {
        synchronize([this] { host_->workerWaitingForTrigger(); });
    }
    synchronize([this] { host_->workerShowNoSignal(); });
    kvx::VKVX_FreeFrameBuffers(handle_, frames_, 2);
    if (buffered_) {
        kvx::VKVX_StopCapture(handle_);
    }
    std::unique_ptr<GFX_Display> old;
    {
        std::lock_guard<std::mutex> lock(rendererMutex_);
        old = std::move(renderer_);
    }
    old.reset();
}

void CaptureWorkerClass::frameStep()
{
    int32_t r = 0;
    if (!buffered_) {
        r = kvx::VKVX_StartCapture(handle_);
        if (r < 0) {
            setStatusText("StartCapture " + statusOf(r));
            restart_ = !pauseOnError_;
            if (r == VKVX_ERROR_TRIGGER_TIMEOUT) {
                waiting_ = true;
            }
            if (r == VKVX_ERROR_CONFIGURATION) {
                giveUp();
            }
            return;
        }
    }
    r = kvx::VKVX_GetFrame(handle_, &frames_[0]);
    if (r < 0) {
        sequenceLeft_ = 0;
        setStatusText("GetFrame " + statusOf(r));
        // Six "No video signal" results in a row are tolerated, the seventh
        // restarts.
        restart_ = r != VKVX_ERROR_NO_SIGNAL || noSignalCount_++ > 5;
        if (r == VKVX_ERROR_TRIGGER_TIMEOUT) {
            waiting_ = true;
        }
        if (pauseOnError_) {
            showMessage("Error");
        }
        if (r == VKVX_ERROR_CONFIGURATION) {
            giveUp();
        }
        return;
    }
    noSignalCount_ = 0;
    ++framesTotal_;
    const VKVX_FRAME& frame = frames_[0];
    if (resolutionText().isEmpty()) {
        setResolutionText(QString("%1x%2").arg(frame.Width).arg(frame.Height));
    }
    if (!renderer()) {
        synchronize([this] { host_->workerHideNoSignal(); });
        int32_t status = 0;
        auto onMain = [this](const std::function<void()>& fn) { synchronize(fn); };
        std::unique_ptr<GFX_Display> created = createRenderer(static_cast<int>(std::min<uint32_t>(frame.Width, 1 << 16)),
                                                              static_cast<int>(std::min<uint32_t>(frame.Height, 1 << 16)),
                                                              preview_, onMain, &status);
        rendererStatus_ = created ? 0 : status;
        if (!created) {
            showMessage("Graphics preview error");
            return;
        }
        std::lock_guard<std::mutex> lock(rendererMutex_);
        renderer_ = std::move(created);
    }
    // Protected content: snapshots wait while bit 2 is set and bit 3 clear.
    const bool prot = (frame.Flags & 0x4u) != 0;
    const bool holdSnapshots = prot && (frame.Flags & 0x8u) == 0;
    if (prot != protected_.load()) {
        protected_ = prot;
        updateProtectedDisplay();
    }
    const VKVX_FRAME* drawn = &frames_[0];
    if (customLaneMap_) {
        copyThroughColumnMap(frames_[0], frames_[1], columnMap_);
        drawn = &frames_[1];
    }
    drawFrame(*drawn);
    if (sequenceLeft_ > 0) {
        sequenceStep(*drawn);
    } else if (holdSnapshots || !snapshotRequested_) {
        const QString prefix = prot ? "HDCP " : "";
        if (buffered_) {
            setStatusText(prefix + "Capturing... " + QString::number(loopFrames_));
        } else {
            setStatusText(prefix + "Real Time Capturing... ");
        }
    } else {
        snapshotStep(*drawn);
    }
    ++loopFrames_;
}

void CaptureWorkerClass::drawFrame(const VKVX_FRAME& frame)
{
    GFX_Display* r = renderer();
    if (!r) {
        showMessage("Error: Render without preview");
        return;
    }
    // Frames of 8 bytes per pixel (formats 2, 3 and 4) are reduced to 8-bit
    // RGB first; the conversion buffer is kept while the size stays.
    if (frame.Format == 2 || frame.Format == 3 || frame.Format == 4) {
        const size_t bytes = static_cast<size_t>(frame.Width) * 4 * frame.Height;
        if (rgbFrame_.Width != frame.Width || rgbFrame_.Height != frame.Height || rgbBuffer_.size() != bytes) {
            rgbBuffer_.assign(bytes, 0);
        }
        rgbFrame_.Width = frame.Width;
        rgbFrame_.Height = frame.Height;
        rgbFrame_.Format = 1;
        rgbFrame_.BytesPerElement = 4;
        rgbFrame_.Buffer = rgbBuffer_.empty() ? nullptr : rgbBuffer_.data();
        if (kvx::VKVX_FrameToRGB(&frame, &rgbFrame_) < 0) {
            return;
        }
        r->Render(&rgbFrame_);
        return;
    }
    r->Render(&frame);
}

void CaptureWorkerClass::sequenceStep(const VKVX_FRAME& frame)
{
    setStatusText("Recording... " + QString::number(sequenceLeft_.load()));
    const int32_t index = sequenceIndex_.load();
    if (index != 0) {
        const int32_t left = sequenceLeft_.fetch_sub(1) - 1;
        writeFrame(sequenceName(saveFolder(), index), frame);
        if (left == 0 && bufferedSequence_) {
            kvx::VKVX_StopCapture(handle_);
            kvx::VKVX_StartCapture(handle_);
        }
    } else if (bufferedSequence_) {
        // The frame current when the sequence was asked for is not saved.
        kvx::VKVX_StopCapture(handle_);
        kvx::VKVX_StartCapture(handle_);
    }
    sequenceIndex_ = index + 1;
}

void CaptureWorkerClass::snapshotStep(const VKVX_FRAME& frame)
{
    writeFrame(snapshotName(saveFolder(), nextSnapshotNumber()), frame);
    snapshotRequested_ = false;
}

void CaptureWorkerClass::writeFrame(const QString& name, const VKVX_FRAME& frame)
{
    const int32_t format = fileFormat_;
    const QString ext = fileFormatExtension(format);
    if (ext.isEmpty()) {
        return;
    }
    const QByteArray file = (name + ext).toLocal8Bit();
    kvx::VKVX_SaveFrameToFile(file.constData(), &frame, format);  // file errors are not reported
}

}  // namespace kvx
