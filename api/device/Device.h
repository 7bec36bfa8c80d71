// VKVX_Device: the abstract base of every instrument class.  The exports call
// its virtual operations; the base supplies buffers, frame delivery, options,
// the worker thread and default answers for what a class does not offer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Semaphore.h"
#include "transport/FtdiTypes.h"
#include "vkvx.h"

class VKVX_Plugin;
class JtagPlayer;
namespace vkvx {
class InUseLock;
}

class VKVX_Device {
public:
    VKVX_Device();
    VKVX_Device(const VKVX_Device&) = delete;
    VKVX_Device& operator=(const VKVX_Device&) = delete;

    // ---- virtual operations, in slot order ---------------------------------
    virtual void WorkerStarted();
    // One unit of work of the worker thread.
    virtual int32_t WorkerStep() = 0;
    // Called on the prototype: writes at most capacity records (none when
    // devices is null) and returns how many devices of the class exist.
    virtual int32_t EnumDevices(VKVX_DEVICE_INFO* devices, int32_t capacity) = 0;
    // Resets and synchronises an FTDI MPSSE channel.
    virtual int32_t ResetAndSynchDevice(FT_HANDLE channel);
    // Called on the prototype: a new object for info opened in mode (mode -1:
    // an object that only answers GetOperationModes); throws VKVX_Error.
    virtual VKVX_Device* CreateDevice(const VKVX_DEVICE_INFO& info, int32_t mode, bool checkFirmware) = 0;
    virtual uint32_t GetDeviceType() const = 0;
    virtual ~VKVX_Device();
    virtual int32_t AllocateFrameBuffers(VKVX_FRAME* frames, int32_t count);
    virtual int32_t AllocateAudioBuffers(VKVX_FRAME* frames, int32_t count);
    virtual int32_t FreeFrameBuffers(VKVX_FRAME* frames, int32_t count);
    virtual int32_t ProgramFirmware(JtagPlayer* player, int32_t mode);
    virtual int32_t GetOperationModes(VKVX_OPERATION_MODE* modes, int32_t capacity);
    virtual int32_t DeliverFrame(VKVX_FRAME* frame);
    virtual int32_t SetOption(int32_t id, int32_t value);
    virtual int32_t SetDeviceOption(int32_t id, int32_t value) = 0;
    virtual int32_t StartCapture() = 0;
    virtual int32_t StopCapture() = 0;
    virtual int32_t GetFrame(VKVX_FRAME* frame) = 0;
    virtual int32_t GetFrameInfo(VKVX_FRAME_INFO* info) = 0;
    virtual bool IsInterlaced();
    virtual int32_t GetAudioInfo(VKVX_AUDIO_INFO* info);
    virtual int32_t GetTimingData(int32_t selector, VKVX_TIMING_DATA* data, int32_t capacity) = 0;
    virtual bool GetFirmwareVersion(uint16_t* major, uint16_t* minor, uint16_t* build, int32_t image,
                                    uint16_t* code);
    virtual int32_t EnumConnectors(uint32_t* connectors, int32_t capacity) = 0;
    virtual int32_t SelectConnector(int32_t connector) = 0;
    virtual int32_t GetDeviceCaps(uint32_t* caps, int32_t capacity);
    virtual int32_t WriteRegister(int32_t address, uint32_t* values, int32_t count);
    virtual int32_t ReadRegister(int32_t address, uint32_t* values, int32_t count);
    virtual int32_t GetConnectorAddress(int32_t connector);
    virtual int32_t GetCVIAddress(int32_t index);
    virtual int32_t ReadBulk(int32_t address, uint8_t* buffer, int32_t length);

    // ---- framework helpers --------------------------------------------------
    const char* serialNumber() const { return serial_; }
    const char* description() const { return description_; }
    uint8_t revision() const { return revision_; }
    int32_t colourMode() const { return colourMode_.load(std::memory_order_relaxed); }
    int32_t timeoutMs() const { return timeout_.load(std::memory_order_relaxed); }
    VKVX_Plugin* plugin() const { return plugin_; }
    void setPlugin(VKVX_Plugin* p) { plugin_ = p; }
    const std::vector<VKVX_Device*>& slaves() const { return slaves_; }

    // The in-use lock taken by VKVX_OpenDevice; released before destruction.
    void attachInUseLock(vkvx::InUseLock* lock) { inUseLock_ = lock; }
    void releaseInUseLock();

protected:
    // Copies serial number, description and revision of info.
    void copyIdentity(const VKVX_DEVICE_INFO& info);
    void setColourMode(int32_t mode) { colourMode_.store(mode, std::memory_order_relaxed); }
    void setTimeoutMs(int32_t ms) { timeout_.store(ms, std::memory_order_relaxed); }
    void addSlave(VKVX_Device* slave) { slaves_.push_back(slave); }
    // Destroys the slave objects (each shuts down its own worker).
    void destroySlaves();

    // Worker thread: created after the instrument is open.
    void startWorker();
    // Ends the worker thread: sets the stop flag, posts the request once,
    // waits for the thread and destroys the semaphores.  Idempotent.
    void stopWorker();
    bool workerRunning() const { return worker_.joinable(); }
    // One frame request over this device and its slaves: posts every request
    // semaphore, waits for every done semaphore in order, and returns the
    // master's negative result, else the first negative slave result, else 0.
    int32_t runWorkersOnChain();

    uint8_t* rawBuffer_ = nullptr;
    FT_HANDLE dataChannel_ = nullptr;
    FT_HANDLE controlChannel_ = nullptr;

private:
    void workerLoop();

    std::atomic<int32_t> colourMode_{1};
    char serial_[17] = {};
    char description_[65] = {};
    uint8_t revision_ = 0;
    std::atomic<uint32_t> stopFlag_{0};
    std::unique_ptr<vkvx::Semaphore> requestSem_;
    std::unique_ptr<vkvx::Semaphore> doneSem_;
    std::thread worker_;
    std::atomic<int32_t> timeout_{500};
    int32_t workerResult_ = 0;
    VKVX_Plugin* plugin_ = nullptr;
    std::vector<VKVX_Device*> slaves_;
    vkvx::InUseLock* inUseLock_ = nullptr;
};
