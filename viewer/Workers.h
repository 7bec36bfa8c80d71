// Worker threads of the viewer.  WorkerClass is the common base: it holds the
// device handle, the option list of the run, the status and resolution texts
// the main window shows and the flags shared with the main window.
// CaptureWorkerClass runs a video capture: it applies the options, starts the
// device, fetches frames, re-orders pixel columns for multi-lane panels,
// draws each frame into the preview panel through a GFX_Display and writes
// snapshots and sequences between two frames.
//
// Threads: a worker object is created and destroyed on the main thread; its
// run() loop runs on its own thread and reaches the windows only through
// synchronize(), which runs a function on the main thread while the worker
// waits.  The destructor asks the loop to end and waits for it, serving the
// worker's synchronised calls meanwhile, so no device call is in progress
// once it returns.  Texts and flags exchanged between the two threads are
// guarded (a mutex for texts, atomics for flags and counters).
#pragma once

#include <QString>
#include <QThread>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "GfxDisplay.h"
#include "OptionLists.h"
#include "vkvx.h"

class QWidget;

namespace kvx {

// The main window's side of the synchronised calls (all run on the main
// thread).
class WorkerHost {
public:
    virtual ~WorkerHost() = default;
    virtual void workerShowNoSignal() = 0;
    virtual void workerHideNoSignal() = 0;
    virtual void workerShowResetCapture() = 0;
    virtual void workerWaitingForTrigger() = 0;  // "Waiting for External Trigger" on PNL_NoSignal
    virtual void workerProtectedDisplay(bool protectedState) = 0;
    virtual void workerSaveItems(bool snapshot, bool sequence) = 0;
    virtual void workerMessage(const QString& text) = 0;  // modal message box
};

// Number of devices in the capture chain (the main window sets it at each
// capture start).
int chainDeviceCount();

// Process-wide counter of snapshot and audio files: 0 at program start,
// incremented after every snapshot (and every audio file), never reset.
int32_t nextSnapshotNumber();  // returns the current value and increments it
int32_t snapshotCounter();

// File name extension of a file format (0 PPM, 1 BMP, 2 JPEG); empty for any
// other value.
QString fileFormatExtension(int32_t format);
// Names of the saved files (without extension): the folder text is used
// unchanged.
QString snapshotName(const QString& folder, int32_t counter);
QString sequenceName(const QString& folder, int32_t index);

// Largest frame width the column map covers; columns beyond it keep their
// place.
constexpr int32_t kMaxMapColumns = 32768;

// The destination column of each source column for a frame of width W with
// N = lanes (lane count x devices in the chain) and S sections, the lanes
// re-ordered by laneMap.  Entries equal to W (or above) mean "no column":
// that source column is dropped.  Lane counts above 16 use lane i for the
// entries the map does not have; the map covers at most kMaxMapColumns.
std::vector<int32_t> buildColumnMap(int32_t width, int32_t lanes, int32_t sections,
                                    const std::array<int32_t, 16>& laneMap);
// Copies src into dst row by row through the map (pixels of pixelBytes).
// Both records must describe buffers of their Width x Height x pixelBytes.
void copyThroughColumnMap(const VKVX_FRAME& src, VKVX_FRAME& dst, const std::vector<int32_t>& map);

class WorkerClass : public QThread {
    Q_OBJECT
public:
    WorkerClass(VKVX_HANDLE handle, int32_t laneCountDefault, const OptionList& options, uint32_t deviceType,
                WorkerHost* host);
    ~WorkerClass() override;

    QString resolutionText() const;
    QString statusText() const;
    bool connectionLost() const { return connectionLost_.load(); }
    bool pauseOnError() const { return pauseOnError_.load(); }
    void setPauseOnError(bool on) { pauseOnError_ = on; }
    bool isProtected() const { return protected_.load(); }
    QString saveFolder() const;
    void setSaveFolder(const QString& folder);
    int32_t colourMode() const { return colourMode_; }
    int32_t laneCount() const { return laneCount_; }
    uint32_t deviceType() const { return deviceType_; }
    // Main thread: whether the worker waits in a synchronised call now.
    bool inSynchronisedCall() const { return serving_.load(); }

protected:
    // Worker thread: runs fn on the main thread and waits for it.
    void synchronize(const std::function<void()>& fn);
    void showMessage(const QString& text);
    void setStatusText(const QString& text);
    void setResolutionText(const QString& text);
    void giveUp();  // terminate request and "connection lost"
    // Main thread: asks run() to end and waits, serving synchronised calls.
    void stopAndWait();
    bool terminating() const { return isInterruptionRequested(); }

    VKVX_HANDLE handle_;
    uint32_t deviceType_;
    OptionList options_;
    int32_t colourMode_ = 0;
    int32_t laneCount_;
    WorkerHost* host_;
    std::atomic<bool> connectionLost_{false};
    std::atomic<bool> pauseOnError_{false};
    std::atomic<bool> protected_{false};

private:
    void serveSynchronised();

    mutable std::mutex textMutex_;
    QString resolution_ = "N/A";
    QString status_ = "Idle";
    QString saveFolder_;

    std::mutex syncMutex_;
    std::condition_variable syncDone_;
    const std::function<void()>* pending_ = nullptr;
    bool served_ = false;
    std::atomic<bool> serving_{false};
};

class CaptureWorkerClass : public WorkerClass {
    Q_OBJECT
public:
    // Creates the worker; the thread starts with start() once the main
    // window has set the buffered flag, pause on error, file format and save
    // folder (so the loop never runs with values not yet set).
    CaptureWorkerClass(VKVX_HANDLE handle, const std::array<int32_t, 16>& laneMap, int32_t colourConversion,
                       int32_t sections, bool customLaneMap, const OptionList& options, QWidget* previewWindow,
                       uint32_t deviceType, WorkerHost* host);
    ~CaptureWorkerClass() override;

    void setBuffered(bool on) { buffered_ = on; }
    bool buffered() const { return buffered_.load(); }
    void setFileFormat(int32_t format) { fileFormat_ = format; }
    int32_t fileFormat() const { return fileFormat_.load(); }
    int32_t frameWidth() const { return frameWidth_.load(); }
    int32_t frameHeight() const { return frameHeight_.load(); }

    // Snapshot and sequence requests (main thread).
    void requestSnapshot() { snapshotRequested_ = true; }
    bool snapshotRequested() const { return snapshotRequested_.load(); }
    // Index 0, the buffered-sequence flag, then frames left (which starts it).
    void requestSequence(int32_t frames, bool bufferedSequence);
    int32_t sequenceFramesLeft() const { return sequenceLeft_.load(); }

    // The preview renderer while a capture loop runs (main thread reads, for
    // tests and the bench).
    GFX_Display* renderer() const;
    int64_t framesTaken() const { return framesTotal_.load(); }
    int32_t lastRendererStatus() const { return rendererStatus_.load(); }

protected:
    void run() override;

private:
    void captureLoop();
    void frameStep();
    void drawFrame(const VKVX_FRAME& frame);
    void sequenceStep(const VKVX_FRAME& frame);
    void snapshotStep(const VKVX_FRAME& frame);
    void writeFrame(const QString& name, const VKVX_FRAME& frame);
    void updateProtectedDisplay();

    std::array<int32_t, 16> laneMap_;
    int32_t colourConversion_;
    int32_t sections_;
    bool customLaneMap_;
    QWidget* preview_;
    std::atomic<bool> buffered_{false};
    std::atomic<int32_t> fileFormat_{0};
    std::atomic<int32_t> frameWidth_{0};
    std::atomic<int32_t> frameHeight_{0};
    std::atomic<bool> snapshotRequested_{false};
    std::atomic<int32_t> sequenceLeft_{0};
    std::atomic<int32_t> sequenceIndex_{0};
    std::atomic<bool> bufferedSequence_{false};
    std::atomic<int64_t> framesTotal_{0};
    std::atomic<int32_t> rendererStatus_{0};

    VKVX_FRAME frames_[2];
    std::vector<int32_t> columnMap_;
    std::vector<uint8_t> rgbBuffer_;
    VKVX_FRAME rgbFrame_;
    mutable std::mutex rendererMutex_;
    std::unique_ptr<GFX_Display> renderer_;
    bool restart_ = false;
    bool waiting_ = false;
    int noSignalCount_ = 0;
    int64_t loopFrames_ = 0;
};

}  // namespace kvx
