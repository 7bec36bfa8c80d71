#include "device/Device.h"

#include <cstring>

#include "Log.h"
#include "device/Firmware.h"
#include "device/Plugin.h"
#include "platform/InUseLock.h"

VKVX_Device::VKVX_Device() = default;

VKVX_Device::~VKVX_Device()
{
    // Classes end their own activity in their destructors; this is the last
    // line of defence so that no worker thread outlives its object.
    stopWorker();
    destroySlaves();
    releaseInUseLock();
}

void VKVX_Device::copyIdentity(const VKVX_DEVICE_INFO& info)
{
    std::memcpy(serial_, info.SerialNumber, sizeof serial_ - 1);
    serial_[sizeof serial_ - 1] = '\0';
    std::memcpy(description_, info.Description, sizeof description_ - 1);
    description_[sizeof description_ - 1] = '\0';
    revision_ = info.Revision;
}

void VKVX_Device::releaseInUseLock()
{
    delete inUseLock_;
    inUseLock_ = nullptr;
}

void VKVX_Device::destroySlaves()
{
    for (VKVX_Device* s : slaves_) {
        delete s;
    }
    slaves_.clear();
}

// ---- base behaviour of the virtual operations ------------------------------

void VKVX_Device::WorkerStarted() { VKVX_LOG(vkvx::log::Info, "Started worker thread %s", serial_); }

int32_t VKVX_Device::ResetAndSynchDevice(FT_HANDLE channel)
{
    // Without an open MPSSE channel there is nothing to synchronise.
    (void)channel;
    return VKVX_ERROR_CONFIGURATION;
}

bool VKVX_Device::IsInterlaced() { return false; }

int32_t VKVX_Device::GetAudioInfo(VKVX_AUDIO_INFO*) { return VKVX_ERROR_NOT_SUPPORTED; }

bool VKVX_Device::GetFirmwareVersion(uint16_t*, uint16_t*, uint16_t*, int32_t, uint16_t*) { return false; }

int32_t VKVX_Device::GetDeviceCaps(uint32_t* caps, int32_t capacity)
{
    if (caps && capacity >= 1) {
        caps[0] = 1;
    }
    return 1;
}

int32_t VKVX_Device::WriteRegister(int32_t address, uint32_t* values, int32_t count)
{
    (void)address;
    if (count != 1 || !values) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    // Register packets travel on the FTDI data channel; a device without one
    // cannot send them.
    return 4;
}

int32_t VKVX_Device::ReadRegister(int32_t address, uint32_t* values, int32_t count)
{
    (void)address;
    if (count != 1 || !values) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return 4;
}

int32_t VKVX_Device::GetConnectorAddress(int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t VKVX_Device::GetCVIAddress(int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t VKVX_Device::ReadBulk(int32_t, uint8_t*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }

int32_t VKVX_Device::SetOption(int32_t id, int32_t value)
{
    for (VKVX_Plugin* p : vkvx::plugins::serving(description_)) {
        p->SetOption(id, value);
    }
    return SetDeviceOption(id, value);
}

int32_t VKVX_Device::DeliverFrame(VKVX_FRAME* frame)
{
    if (!frame) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    frame->Flags = 0;
    int32_t status = GetFrame(frame);
    if (plugin_ && status == 0) {
        return plugin_->ProcessFrame(frame);
    }
    return status;
}

int32_t VKVX_Device::GetOperationModes(VKVX_OPERATION_MODE* modes, int32_t capacity)
{
    if (capacity != 0 && !modes) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const uint32_t type = GetDeviceType();
    const int32_t n = vkvx::firmware::modeCount(type);
    if (n <= revision_) {
        VKVX_LOG(vkvx::log::Warning, "count %i revision %i", n, revision_);
        return VKVX_ERROR_DEVICE_NOT_RECOGNIZED;
    }
    for (int32_t i = 0; i < n && i < capacity; ++i) {
        const VKVX_OPERATION_MODE* m = vkvx::firmware::builtInMode(type, i, revision_);
        if (m) {
            modes[i] = *m;
            uint16_t major = 0, minor = 0;
            if (GetFirmwareVersion(&major, &minor, nullptr, -1, nullptr)) {
                modes[i].FirmwareMajor = major;
                modes[i].FirmwareMinor = minor;
            }
        } else {
            std::memset(&modes[i], 0, sizeof modes[i]);
        }
    }
    return n;
}

int32_t VKVX_Device::ProgramFirmware(JtagPlayer* player, int32_t mode)
{
    const uint32_t type = GetDeviceType();
    if (vkvx::firmware::revisions(type) <= revision_) {
        VKVX_LOG(vkvx::log::Error, "%s: No firmware for revision %i", description_, revision_);
        return VKVX_ERROR_DEVICE_NOT_RECOGNIZED;
    }
    const VKVX_FIRMWARE_IMAGE* fw = vkvx::firmware::get(type, mode, revision_);
    if (!fw) {
        VKVX_LOG(vkvx::log::Info, "%s No native firmware for mode %i and revision '%i'", serial_, mode, revision_);
        return VKVX_ERROR_MODE_NOT_SUPPORTED;
    }
    if (!fw->Cdf) {
        VKVX_LOG(vkvx::log::Error, "%s: No CDF for mode %i and firmware revision %i", description_, mode, revision_);
        return VKVX_ERROR_MODE_NOT_SUPPORTED;
    }
    // Programming runs the JTAG player bound to the control channel; this
    // build carries no player yet, so a load cannot succeed.
    (void)player;
    return VKVX_ERROR_FIRMWARE_UPLOAD;
}

// ---- worker thread ----------------------------------------------------------

void VKVX_Device::startWorker()
{
    if (worker_.joinable()) {
        return;
    }
    stopFlag_.store(0);
    requestSem_ = std::make_unique<vkvx::Semaphore>(0);
    doneSem_ = std::make_unique<vkvx::Semaphore>(0);
    worker_ = std::thread([this] { workerLoop(); });
}

void VKVX_Device::workerLoop()
{
    WorkerStarted();
    while (stopFlag_.load() == 0) {
        requestSem_->wait();
        if (stopFlag_.load() != 0) {
            break;
        }
        workerResult_ = WorkerStep();
        doneSem_->post();
    }
}

void VKVX_Device::stopWorker()
{
    if (!worker_.joinable()) {
        return;
    }
    stopFlag_.store(1);
    requestSem_->post();
    worker_.join();
    requestSem_.reset();
    doneSem_.reset();
}

int32_t VKVX_Device::runWorkersOnChain()
{
    requestSem_->post();
    for (VKVX_Device* s : slaves_) {
        s->requestSem_->post();
    }
    doneSem_->wait();
    for (VKVX_Device* s : slaves_) {
        s->doneSem_->wait();
    }
    if (workerResult_ < 0) {
        return workerResult_;
    }
    for (VKVX_Device* s : slaves_) {
        if (s->workerResult_ < 0) {
            return s->workerResult_;
        }
    }
    return 0;
}
