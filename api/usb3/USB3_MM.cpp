#include "usb3/USB3_MM.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "Error.h"
#include "Log.h"
#include "transport/UsbDevice.h"
#include "usb3/DeviceInterfaces.h"
#include "usb3/RegisterProtocol.h"

using namespace vkvx;
using namespace vkvx::usb3;
using vkvx::usb::UsbEndPoint;

namespace {

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

const char* const kModels[] = {"KVX-P17", "KVX-P11", "KVX-P13", "KVX-P30", "KVX-Q10", "KVX-R20"};

uint8_t modelIndexOf(const char* name)
{
    for (uint8_t i = 0; i < 6; ++i) {
        if (std::strcmp(name, kModels[i]) == 0) return i;
    }
    return 0;
}

// Register offsets of a connector from its input select value.
ConnectorEntry entryForSel(uint32_t sel)
{
    ConnectorEntry e;
    e.sel = sel;
    switch (sel) {
    case 0: break;
    case 1: e.tpg = true; e.sts = 0xD0; break;
    case 2:
    case 3: e.sts = 0x40; e.frate = 0x49; e.vmode = 0x50; break;
    case 4: e.sts = 0x60; e.frate = 0x69; e.vmode = 0x70; break;
    case 5: e.sts = 0x80; e.frate = 0x89; e.vmode = 0x90; break;
    default: throw VKVX_Error(VKVX_ERROR_INVALID_PARAMETER);
    }
    return e;
}

struct ConnectorDef {
    uint32_t type, sel;
};
const ConnectorDef kFrontEnd1[] = {{0x2, 3}, {0x1, 4}, {0x20000, 0}, {0x10000, 0}, {0x400, 1}};
const ConnectorDef kFrontEnd2[] = {{0x2, 3}, {0x1, 4}, {0x20, 2}, {0x100, 5}, {0x400, 1}};
const ConnectorDef kFrontEnd5[] = {{0x40000, 0}, {0x1, 4}, {0x10000, 0}};

struct ModeDef {
    uint32_t code;
    uint32_t modeId;
    const char* name;
    uint16_t type;
};
const ModeDef kModes[] = {
    {2, 0, "HDMI, DisplayPort (SST) Reference Sink", 6},
    {3, 1, "DisplayPort Reference Source (MST - 2 streams, HDCP 2.2)", 7},
    {4, 3, "DisplayPort Reference Sink (SST, HDCP 2.2)", 6},
    {5, 4, "HDMI Reference Sink (HDCP 2.2)", 6},
    {6, 0xFFFFFFFFu, "DisplayPort Reference Source (MST \x96 4 streams)", 7},
    {7, 0xFFFFFFFFu, "DisplayPort Reference Sink (MST \x96 4 streams)", 6},
    {8, 2, "HDMI Reference Source (HDCP 2.2)", 7},
    {9, 5, "USB-C, DP Alt Mode Reference Sink", 6},
    {10, 7, "USB-C, DP Alt Mode Reference Source", 7},
    {11, 6, "DisplayPort Reference Source (SST, HDCP 2.2)", 7},
};
// Image code of each mode id.
const uint32_t kCodeOfMode[8] = {2, 3, 8, 4, 5, 9, 11, 10};

uint32_t imageCode(uint32_t entry) { return ((entry >> 22) & 3u) << 2 | ((entry >> 10) & 3u); }

// The header last read for a package version, shared by all devices.
std::mutex g_headerMutex;
uint32_t g_header[16] = {};
uint32_t g_headerCount = 0;

}  // namespace

// ---- construction -------------------------------------------------------------

USB3_MM::USB3_MM() { VKVX_LOG(log::Info, "USB3_MM mapDevice"); }

USB3_MM::USB3_MM(const VKVX_DEVICE_INFO& info, int32_t mode, bool checkFirmware)
    : mainLock_(std::make_unique<Semaphore>(1)), fx3Lock_(std::make_unique<Semaphore>(1))
{
    VKVX_DEVICE_INFO record = info;
    record.SerialNumber[16] = '\0';
    record.Description[64] = '\0';
    VKVX_LOG(log::Info, "USB3_MM::USB3_MM %s %s", record.SerialNumber, record.Description);
    std::memcpy(wantedSerial_, record.SerialNumber, 16);
    std::memcpy(modelName_, record.Description, 64);
    if (record.SerialNumber[0] == '\0') {
        VKVX_LOG(log::Warning, "Invalid serial number for %s", record.Description);
        std::strcpy(record.SerialNumber, "UNKNOWN");
        record.Revision = 0xFF;
    } else if (!OpenDeviceByName()) {
        VKVX_LOG(log::Error, "Failed to open %s", record.SerialNumber);
        throw VKVX_Error(VKVX_ERROR_OPEN_FAILED);
    }
    copyIdentity(record);
    modelIndex_ = record.Revision;
    if (mode < 0) {
        return;
    }
    if (wantedSerial_[0] == '\0') {
        throw VKVX_Error(VKVX_ERROR_FIRMWARE_UPDATE_REQUIRED);
    }
    if (!Autoconfigure(false)) {
        reInitImage(mode, true);
        if (!Autoconfigure(false)) {
            VKVX_LOG(log::Error, "Autoconfiguration failure");
            throw VKVX_Error(VKVX_ERROR_OPEN_FAILED);
        }
    }
    int32_t kept = 0;
    uint32_t version = 0;
    bool connectorsFound = false;
    for (int failures = 0; failures < 3; ++failures) {
        if (InitConnectors(&version)) {
            connectorsFound = true;
            break;
        }
        if (failures < 2) {
            kept = reInitImage(mode, failures >= 1);
        }
    }
    if (!connectorsFound) {
        VKVX_LOG(log::Warning, "Frontend not found or unknown");
        throw VKVX_Error(VKVX_ERROR_HARDWARE_FAILURE);
    }
    if (checkFirmware && version != 0 && version < 0xB05) {
        VKVX_LOG(log::Warning, "NIOS version mismatch: found %X vs required %X", version, 0xB05u);
        throw VKVX_Error(VKVX_ERROR_FIRMWARE_UPDATE_REQUIRED);
    }
    if (kept >= 0) {
        kept = loadTestCatalogue();
    }
    VKVX_LOG(log::Info, "MaxPacketSize: %d USB: 0x%X high: %d ss: %d", int(usb_->ep0MaxPacketSize()),
             unsigned(usb_->bcdUSB()), int(usb_->high_speed), int(usb_->super_speed));
    if (kept < 0) {
        throw VKVX_Error(kept);
    }
    VKVX_LOG(log::Info, "USB3_MM: inputs: %i outputs: %i", int(sinkList_.size()), int(sourceList_.size()));
}

USB3_MM::~USB3_MM()
{
    if (usb_ && usb_->IsOpen()) {
        VKVX_LOG(log::Info, "USB3_MM::~USB3_MM Closing %s at USB3_MM::~USB3_MM", usb_->device_name());
        usb_->CloseDevice();
    }
    usb_.reset();
}

VKVX_Device* USB3_MM::CreateDevice(const VKVX_DEVICE_INFO& info, int32_t mode, bool checkFirmware)
{
    return new USB3_MM(info, mode, checkFirmware);
}

uint32_t USB3_MM::GetDeviceType() const { return USB3_MM_DEVICE_ID; }

int32_t USB3_MM::EnumDevices(VKVX_DEVICE_INFO* devices, int32_t capacity)
{
    VKVX_LOG(log::Info, "USB3_MM::EnumDevices");
    std::vector<VKVX_DEVICE_INFO> list;
    listDeviceInterfaces(usb::usbBackend(), list);
    int32_t n = 0;
    for (VKVX_DEVICE_INFO& e : list) {
        e.DeviceType = USB3_MM_DEVICE_ID;
        e.Revision = modelIndexOf(e.Description);
        VKVX_LOG(log::Info, "Found device '%s' '%s'", e.Description, e.SerialNumber);
        if (devices && n < capacity) {
            devices[n] = e;
        }
        ++n;
    }
    return n;
}

bool USB3_MM::isModel(const char* name, bool prefixOnly) const
{
    return prefixOnly ? std::strncmp(modelName_, name, 7) == 0 : std::strcmp(modelName_, name) == 0;
}

bool USB3_MM::hasDevice() const { return usb_ && usb_->IsOpen(); }

bool USB3_MM::channelsReady() const { return hasDevice() && mainIn_ && mainOut_ && fx3In_ && fx3Out_; }

// ---- open ------------------------------------------------------------------------

bool USB3_MM::findEndpoints()
{
    videoIn_ = audioIn_ = mainOut_ = mainIn_ = fx3Out_ = fx3In_ = nullptr;
    auto flush = [](UsbEndPoint* ep) {
        ep->ResetPipe();
        ep->timeout_ms = 500;
        uint8_t block[256];
        for (int i = 0; i < 64; ++i) {  // stale data is discarded (bounded)
            uint32_t n = sizeof block;
            if (!ep->Transfer(block, &n)) break;
        }
        ep->timeout_ms = 500;
    };
    videoIn_ = usb_->FindEndpoint(0x84);
    audioIn_ = usb_->FindEndpoint(0x85);
    if (videoIn_) videoIn_->timeout_ms = 500;
    if (audioIn_) audioIn_->timeout_ms = 500;
    mainOut_ = usb_->FindEndpoint(0x01);
    if (mainOut_) mainOut_->timeout_ms = 500;
    mainIn_ = usb_->FindEndpoint(0x81);
    if (mainIn_) flush(mainIn_);
    fx3Out_ = usb_->FindEndpoint(0x03);
    if (fx3Out_) {
        fx3Out_->timeout_ms = 500;
    } else {
        fx3Out_ = mainOut_;
    }
    fx3In_ = usb_->FindEndpoint(0x83);
    if (fx3In_) {
        flush(fx3In_);
    } else {
        fx3In_ = mainIn_;
    }
    return videoIn_ && audioIn_ && mainOut_ && mainIn_;
}

bool USB3_MM::OpenDeviceByName()
{
    // A device that never presents its endpoints is given up after this many
    // port resets.
    constexpr int kMaxEndpointRetries = 3;
    if (usb_) {
        VKVX_LOG(log::Info, "Closed %s", usb_->device_name());
        usb_->CloseDevice();
        usb_.reset();
    }
    usb_ = std::make_unique<usb::UsbDriverDevice>();
    if (usb_->CountDevices() == 0) {
        return false;
    }
    int attempts = 0;
    int endpointRetries = 0;
    for (int i = 0; i < usb_->CountDevices();) {
        if (!usb_->OpenIndex(i)) {
            ++i;
            continue;
        }
        char serial[17];
        serialFromDescriptor(usb_->serial_number(), serial);
        if (std::strcmp(serial, wantedSerial_) != 0) {
            VKVX_LOG(log::Info, "Skipping %s: SN %s wanted %s", usb_->device_name(), serial, wantedSerial_);
            usb_->CloseDevice();
            ++i;
            continue;
        }
        if (!findEndpoints()) {
            VKVX_LOG(log::Warning, "USB3_MM::OpenDeviceByName Null bulk endpoints at %s [%i]", wantedSerial_, attempts);
            ++attempts;
            if (++endpointRetries > kMaxEndpointRetries) {
                usb_->CloseDevice();
                return false;
            }
            usb_->ResetHubPort();
            usb_->RecyclePort();
            sleepMs(1000);
            continue;
        }
        videoIn_->SetTransferSize(transferSize_);
        audioIn_->SetTransferSize(transferSize_);
        VKVX_LOG(log::Info, "Found %s", wantedSerial_);
        mainIn_->timeout_ms = 50;
        uint32_t version = 0;
        int32_t probe = ReadRegister(3, &version, 1);
        mainIn_->timeout_ms = 100;
        if (probe == 0) {
            VKVX_LOG(log::Info, "Opened %s", usb_->device_name());
            return true;
        }
        if (std::strcmp(usb_->device_name(), "KVX-Q10") == 0) {
            return false;
        }
        if (attempts == 0) {
            VKVX_LOG(log::Info, "Trying to recover %s [%i]", wantedSerial_, 1);
            uint32_t fx3 = 0;
            if (ReadFX3(0, &fx3, 1) == 0) {
                VKVX_LOG(log::Info, "FX-3: Version check returned TRUE => USB OK; Reseting FPGA");
                uint32_t reset = 3;
                WriteFX3(0x90, &reset, 1);
                sleepMs(1500);
            } else {
                VKVX_LOG(log::Info, "FX-3: Version check returned FALSE => USB Failure; Resetting USB endpoints");
                usb_->ResetHubPort();
                usb_->RecyclePort();
                sleepMs(1000);
            }
        } else if (attempts == 1) {
            uint32_t image = 1;
            WriteRegister(0x26, &image, 1);
            sleepMs(500);
        } else {
            usb_->CloseDevice();
            return false;
        }
        ++attempts;
    }
    return false;
}

// ---- register operations -------------------------------------------------------

int32_t USB3_MM::WriteRegister(int32_t address, uint32_t* values, int32_t count)
{
    if (!channelsReady()) return VKVX_ERROR_NOT_INITIALIZED;
    if (count < 1 || !values) return VKVX_ERROR_INVALID_PARAMETER;
    uint64_t bytes = uint64_t(count) * 4;
    SemaphoreGuard lock(*mainLock_);
    // Beyond the largest packet WriteFifoData refuses it without traffic.
    bool ok = count == 1 ? _WriteWordRegister(mainIn_, mainOut_, uint32_t(address), values[0])
                         : WriteFifoData(mainIn_, mainOut_, uint32_t(address), values,
                                         bytes > kMaxFifoWrite ? 0xFFFFFFFFu : uint32_t(bytes), false);
    return ok ? 0 : VKVX_ERROR_USB_IO;
}

int32_t USB3_MM::ReadRegister(int32_t address, uint32_t* values, int32_t count)
{
    if (!channelsReady()) return VKVX_ERROR_NOT_INITIALIZED;
    // A count below 1 has nothing to read; it goes to no FIFO.
    if (count < 1 || !values) return VKVX_ERROR_INVALID_PARAMETER;
    if (count == 1) {
        SemaphoreGuard lock(*mainLock_);
        return _ReadWordRegister(mainIn_, mainOut_, uint32_t(address), values, false) ? 0 : VKVX_ERROR_USB_IO;
    }
    uint64_t bytes64 = uint64_t(count) * 4;
    uint32_t bytes = bytes64 > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(bytes64);
    int32_t r = ReadFifo(address, values, &bytes);
    return r < 0 ? r : int32_t(bytes / 4);
}

int32_t USB3_MM::ReadFifo(int32_t address, void* buffer, uint32_t* bytes)
{
    if (!hasDevice() || !mainIn_ || !mainOut_) {
        if (hasDevice()) {
            VKVX_LOG(log::Error, "%X %X", unsigned(reinterpret_cast<uintptr_t>(mainIn_)),
                     unsigned(reinterpret_cast<uintptr_t>(mainOut_)));
        }
        return VKVX_ERROR_NOT_INITIALIZED;
    }
    SemaphoreGuard lock(*mainLock_);
    return ReadFifoData(mainIn_, mainOut_, uint32_t(address), buffer, bytes) ? 0 : VKVX_ERROR_USB_IO;
}

int32_t USB3_MM::WriteFifo(int32_t address, const void* buffer, uint32_t bytes)
{
    if (!channelsReady()) return VKVX_ERROR_NOT_INITIALIZED;
    SemaphoreGuard lock(*mainLock_);
    return WriteFifoData(mainIn_, mainOut_, uint32_t(address), buffer, bytes, false) ? 0 : VKVX_ERROR_USB_IO;
}

int32_t USB3_MM::WriteData(int32_t address, const void* data, int32_t length)
{
    if (!channelsReady()) return VKVX_ERROR_NOT_INITIALIZED;
    if (length < 1 || !data) return VKVX_ERROR_INVALID_PARAMETER;
    uint64_t bytes = uint64_t(length) * 4;
    SemaphoreGuard lock(*mainLock_);
    return WriteFifoData(mainIn_, mainOut_, uint32_t(address), data,
                         bytes > kMaxFifoWrite ? 0xFFFFFFFFu : uint32_t(bytes), true)
               ? 0
               : VKVX_ERROR_USB_IO;
}

int32_t USB3_MM::WriteFX3(int32_t address, uint32_t* values, int32_t count)
{
    if (!channelsReady()) return VKVX_ERROR_NOT_INITIALIZED;
    if (count != 1 || !values) {
        VKVX_LOG(log::Warning, "USB3_MM::WriteFX3: count must be one, it is %d", count);
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    SemaphoreGuard lock(*fx3Lock_);
    return _WriteWordRegister(fx3In_, fx3Out_, uint32_t(address), values[0]) ? 0 : VKVX_ERROR_USB_IO;
}

int32_t USB3_MM::ReadFX3(int32_t address, uint32_t* values, int32_t count)
{
    if (!channelsReady()) return VKVX_ERROR_NOT_INITIALIZED;
    if (count != 1 || !values) {
        VKVX_LOG(log::Warning, "USB3_MM::ReadFX3: count must be one, it is %d", count);
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    SemaphoreGuard lock(*fx3Lock_);
    return _ReadWordRegister(fx3In_, fx3Out_, uint32_t(address), values, true) ? 0 : VKVX_ERROR_USB_IO;
}

bool USB3_MM::ReadWord(uint32_t address, uint32_t* value)
{
    if (!channelsReady()) return false;
    if (address <= 1) {
        SemaphoreGuard lock(*fx3Lock_);
        return _ReadWordRegister(fx3In_, fx3Out_, address, value, false);
    }
    SemaphoreGuard lock(*mainLock_);
    return _ReadWordRegister(mainIn_, mainOut_, address, value, false);
}

int32_t USB3_MM::UploadFirmware()
{
    VKVX_LOG(log::Error, "USB3_MM::UploadFirmware should not be used");
    return VKVX_ERROR_NOT_SUPPORTED;
}

int32_t USB3_MM::SetTerminalSink(VKVX_TERMINAL_SINK sink)
{
    setTerminalSink(sink);
    return 0;
}

// ---- configuration ------------------------------------------------------------

bool USB3_MM::Autoconfigure(bool reduced)
{
    dsbList_.clear();
    sinkList_.clear();
    sourceList_.clear();
    frontEndList_.clear();
    outPatternList_.clear();
    imageControlList_.clear();
    VKVX_LOG(log::Info, "USB3_MM::Autoconfigure");
    auto line = [](const DIR_ENTRY& e) {
        VKVX_LOG(log::Info, "%04X %04X %04X %04X:%s", e.word[2], e.word[0], e.word[3], e.word[1],
                 moduleTypeName(e.word[1]));
    };
    DIR_ENTRY root;
    uint32_t len = 16;
    int32_t r = ReadFifo(0xF000, root.word, &len);
    if (r == 0 && len == 16) {
        line(root);
        std::vector<DIR_ENTRY> entries;
        for (uint32_t i = 0; i < root.word[3]; ++i) {
            DIR_ENTRY e;
            // Each read asks for what the previous one returned.
            int32_t er = ReadFifo(int32_t(root.word[2] + i), e.word, &len);
            if (er != 0) {
                VKVX_LOG(log::Error, "Autoconfigure: Failed to read FIFO from %04X", root.word[2] + i);
                return false;
            }
            if (len != 16) {
                break;  // a short entry ends the directory (counted below)
            }
            line(e);
            entries.push_back(e);
        }
        if (entries.size() < root.word[3]) {
            VKVX_LOG(log::Error, "Autoconfigure: Fatal error %d != %d", int(entries.size()), int(root.word[3]));
            return false;
        }
        for (const DIR_ENTRY& e : entries) {
            switch (e.type()) {
            case 10: imageControlList_.push_back(e); break;
            case 1: if (!reduced) dsbList_.push_back(e); break;
            case 33:
            case 35:
            case 4: if (!reduced) sinkList_.push_back(e); break;
            case 34:
            case 36: if (!reduced) sourceList_.push_back(e); break;
            case 9: if (!reduced) frontEndList_.push_back(e); break;
            case 8: if (!reduced) outPatternList_.push_back(e); break;
            default: break;
            }
        }
    } else {
        VKVX_LOG(log::Info, "Reading root DIR_ENTRY, res %x", unsigned(r == 0 ? VKVX_ERROR_USB_IO : r));
    }
    dsbIndex_ = 0;
    if (imageControlList_.empty()) {
        DIR_ENTRY e;
        e.word[0] = 0;
        e.word[1] = 10;
        e.word[2] = 0x24;
        e.word[3] = 1;
        imageControlList_.push_back(e);
    }
    return true;
}

bool USB3_MM::InitConnectors(uint32_t* version)
{
    bool q10 = isModel("KVX-Q10", true);
    bool forced = isModel("KVX-P30", true) || isModel("KVX-R20", true);
    connectors_.clear();
    for (const DIR_ENTRY& fe : frontEndList_) {
        uint32_t words[4] = {};
        uint32_t feType = 1;  // "KVX-Q10": the one fixed connector set
        if (!q10) {
            uint32_t len = 16;
            int32_t r = ReadFifo(int32_t(fe.base()), words, &len);
            if (r != 0) {
                VKVX_LOG(log::Error, "USB3_MM::InitConnectors FE reading error %d", r);
                return false;
            }
            if (len != 16) {
                VKVX_LOG(log::Error, "USB3_MM::InitConnectors FE reading: got only %ld bytes", long(len));
                continue;
            }
            VKVX_LOG(log::Info, "USB3_MM::InitConnectors FE %04X %04X %04X %04X", words[0], words[1], words[2],
                     words[3]);
            feType = words[0];
        }
        if (forced && feType != 5) {
            VKVX_LOG(log::Warning, "USB3_MM::InitConnectors Correcting FE type to 5 for KVX-P30");
            feType = 5;
        }
        const ConnectorDef* set = nullptr;
        size_t setSize = 0;
        if (feType == 0 && !q10) {
            continue;
        } else if (feType == 1) {
            set = kFrontEnd1;
            setSize = 5;
        } else if (feType == 2) {
            set = kFrontEnd2;
            setSize = 5;
        } else if (feType == 5) {
            set = kFrontEnd5;
            setSize = 3;
        } else {
            VKVX_LOG(log::Warning, "USB3_MM::InitConnectors Unknown FE data %04X %04X %04X %04X from %04X", words[0],
                     words[1], words[2], words[3], fe.base());
            continue;
        }
        uint32_t nios = 0;
        if (!ReadWord(2, &nios)) {
            VKVX_LOG(log::Warning, "USB3_MM::InitConnectors error reading DSB_NIOS_FW_VER (%0X)", 2u);
            nios = 0;
        }
        if (q10) {
            VKVX_LOG(log::Info, "disabled NIOS version check for %s", usb_ ? usb_->device_name() : modelName_);
            nios = 0;
        }
        if (version) *version = nios;
        uint32_t dsb = dsbIndex_ < dsbList_.size() ? dsbList_[dsbIndex_].base() : 0;
        for (size_t i = 0; i < setSize; ++i) {
            ConnectorEntry c = entryForSel(set[i].sel);
            c.nios_version = nios;
            c.type = set[i].type;
            c.dsb = dsb;
            VKVX_LOG(log::Info, "USB3_MM::InitConnectors Type %04X  DSB: %04X STS: %04X SEL: %04X VMODE: %04X ",
                     c.type, c.dsb, c.sts, c.sel, c.vmode);
            connectors_.push_back(c);
        }
        if (q10) break;
    }
    return !connectors_.empty();
}

int32_t USB3_MM::EnumConnectors(uint32_t* connectors, int32_t capacity)
{
    int32_t n = int32_t(connectors_.size());
    if (connectors) {
        for (int32_t i = 0; i < n && i < capacity; ++i) {
            connectors[i] = connectors_[size_t(i)].type;
        }
    }
    return n;
}

int32_t USB3_MM::GetDeviceCaps(uint32_t* caps, int32_t capacity)
{
    if (caps) {
        if (capacity >= 1) caps[0] = 1;
        if (capacity >= 2) caps[1] = 2;
    }
    return 2;
}

// ---- operation modes and FPGA images --------------------------------------------

uint32_t USB3_MM::LoadCumulativeFPGAHeader(uint32_t header[16])
{
    uint32_t count = 0, ignored = 0;
    if (ReadRegister(0x24, &count, 1) != 0) return 0;
    if (ReadRegister(0x28, &ignored, 1) != 0) return 0;
    uint32_t len = 64;
    if (ReadFifo(0x2A, header, &len) != 0) return 0;
    if (len < 64) std::memset(reinterpret_cast<uint8_t*>(header) + len, 0, 64 - len);
    return count;
}

int32_t USB3_MM::GetOperationModes(VKVX_OPERATION_MODE* modes, int32_t capacity)
{
    if (isModel("KVX-Q10", true)) {
        if (modes && capacity >= 1) {
            std::memset(&modes[0], 0, sizeof modes[0]);
            modes[0].ModeId = 8;
            std::strcpy(modes[0].Name, "DisplayPort Source and Sink");
            modes[0].ModeType = 8;
        }
        return 1;
    }
    uint32_t header[16] = {};
    uint32_t count = hasDevice() ? LoadCumulativeFPGAHeader(header) : 0;
    if (modes) {
        for (uint32_t i = 0; i < count && int64_t(i) < capacity; ++i) {
            // Entries exist for images 0 to 11 only.
            if ((i & 15) >= count || header[0] < 15 || i >= 12) continue;
            uint32_t entry = header[4 + i];
            uint32_t code = imageCode(entry);
            VKVX_OPERATION_MODE& m = modes[i];
            std::memset(&m, 0, sizeof m);
            m.ModeId = 0xFFFFFFFFu;
            for (const ModeDef& d : kModes) {
                if (d.code == code) {
                    m.ModeId = d.modeId;
                    std::strcpy(m.Name, d.name);
                    m.ModeType = d.type;
                }
            }
            if (code == 2 && isModel("KVX-P11", true)) {
                std::strcpy(m.Name, "HDMI, DisplayPort (SST), SPDIF Reference Sink");
            }
            m.FirmwareMajor = uint16_t((entry >> 20) & 3);
            m.FirmwareMinor = uint16_t((entry >> 16) & 15);
            m.SoftwareMajor = uint16_t((entry >> 8) & 3);
            m.SoftwareMinor = uint16_t((entry >> 4) & 15);
            VKVX_LOG(log::Info, "USB3_MM::GetOperationModes FPGA code : %08X code %d %s [%i]", entry, int(code),
                     m.Name, int(m.ModeId));
        }
    }
    return int32_t(count);
}

bool USB3_MM::GetFirmwareVersion(uint16_t* major, uint16_t* minor, uint16_t* build, int32_t image, uint16_t* code)
{
    if (!hasDevice()) {
        VKVX_LOG(log::Warning, "USB3_MM::GetFirmwareVersion Null device");
        return false;
    }
    if (image < 0) {
        uint32_t header[16] = {};
        uint32_t count = LoadCumulativeFPGAHeader(header);
        {
            std::lock_guard<std::mutex> lock(g_headerMutex);
            std::memcpy(g_header, header, sizeof header);
            g_headerCount = count;
        }
        uint32_t v = 0;
        if (count == 0) {
            if (ReadRegister(3, &v, 1) != 0) return false;
            VKVX_LOG(log::Info, "GetFirmwareVersion() DSB_FPGA_VER : %08X", v);
        } else {
            v = header[1];
        }
        if (major) *major = uint16_t((v >> 16) & 0xFF);
        if (minor) *minor = uint16_t((v >> 8) & 0xFF);
        if (build) *build = uint16_t(v & 0xFF);
        return true;
    }
    std::lock_guard<std::mutex> lock(g_headerMutex);
    uint32_t i = uint32_t(image) & 15;
    if (i >= g_headerCount || g_header[0] < 15 || i >= 12) return false;
    uint32_t entry = g_header[4 + i];
    uint32_t c = imageCode(entry);
    if (image >= 0x10000) {
        if (major) *major = uint16_t((entry >> 8) & 3);
        if (minor) *minor = uint16_t((entry >> 4) & 15);
        if (build) *build = uint16_t(entry & 15);
    } else {
        if (major) *major = uint16_t((entry >> 20) & 3);
        if (minor) *minor = uint16_t((entry >> 16) & 15);
        if (build) *build = uint16_t((entry >> 12) & 15);
    }
    VKVX_LOG(log::Info, "GetFirmwareVersion() FPGA code : %08X code %d", entry, int(c));
    if (code) *code = uint16_t(c);
    return true;
}

int32_t USB3_MM::ReInit(int32_t image, bool flag)
{
    if (reInitImage(image, flag) < 0) {
        return VKVX_ERROR_FIRMWARE_UPLOAD;
    }
    uint32_t version = 0;
    if (!Autoconfigure(false) || !InitConnectors(&version)) {
        return VKVX_ERROR_NOT_INITIALIZED;
    }
    return 0;
}

int32_t USB3_MM::reInitImage(int32_t image, bool force)
{
    if (!channelsReady()) return VKVX_ERROR_NOT_INITIALIZED;
    int32_t last = 0;
    std::vector<DIR_ENTRY> modules = imageControlList_;
    if (modules.empty()) {
        DIR_ENTRY e;
        e.word[1] = 10;
        e.word[2] = 0x24;
        e.word[3] = 1;
        modules.push_back(e);
    }
    // The index of image in the header (the image itself when the header
    // does not list it); the device reports the index it loaded.
    auto indexFor = [&](bool log) -> uint32_t {
        uint32_t header[16] = {};
        uint32_t n = LoadCumulativeFPGAHeader(header);
        uint32_t index = uint32_t(image);
        if (n == 0) {
            if (log) VKVX_LOG(log::Warning, "LoadCumulativeFPGAHeader failed, image may not be selected correctly.");
        } else if (image >= 0 && image < 8) {
            for (uint32_t i = 0; i < n && i < 12; ++i) {
                if (imageCode(header[4 + i]) == kCodeOfMode[image]) {
                    index = i;
                    if (log)
                        VKVX_LOG(log::Info, "found FPGA code : %d requested image %d will use index %d",
                                 int(kCodeOfMode[image]), int(image), int(i));
                    break;
                }
            }
        } else if (log) {
            VKVX_LOG(log::Info, "Not expected image : %d", int(image));
        }
        return index;
    };
    for (size_t k = 0; k < modules.size(); ++k) {
        uint32_t b = modules[k].base();
        uint32_t count = 0, current = 0;
        if (ReadRegister(int32_t(b), &count, 1) != 0) {
            VKVX_LOG(log::Warning, "ReInit: FPGA %d cannot read from %04X error %d", int(k), b, VKVX_ERROR_USB_IO);
            return VKVX_ERROR_USB_IO;
        }
        if (ReadRegister(int32_t(b + 2), &current, 1) != 0) {
            VKVX_LOG(log::Warning, "ReInit: FPGA %d cannot read from %04X error %d", int(k), b + 2, VKVX_ERROR_USB_IO);
            return VKVX_ERROR_USB_IO;
        }
        VKVX_LOG(log::Info, "DSB %d image %i of %d", int(k), int(current), int(count));
        if (!force && current == indexFor(false)) {
            continue;
        }
        uint32_t state = 0;
        if ((last = ReadRegister(0x10, &state, 1)) != 0) return last;
        if (!(state & 1)) {
            uint32_t ver = 0;
            if ((last = ReadRegister(3, &ver, 1)) != 0) {
                VKVX_LOG(log::Warning, "ReInit: Failed to read DSB_FPGA_VER %d", last);
                return last;
            }
            if (ver == 0x10000) {
                return image == 0 ? 0 : VKVX_ERROR_MODE_NOT_SUPPORTED;
            }
        }
        sleepMs(250);
        uint32_t index = indexFor(true);
        if (index >= count) {
            VKVX_LOG(log::Info, "ReInit: FPGA %d image count %d - cannot select %d / %d", int(k), int(count),
                     int(image), int(index));
            return VKVX_ERROR_INVALID_PARAMETER;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            uint32_t value = index;
            WriteRegister(int32_t(b + 2), &value, 1);
            sleepMs(2000);
            auto first = std::chrono::steady_clock::now();
            uint32_t shown = 0;
            bool read = false;
            for (;;) {
                last = ReadRegister(int32_t(b + 2), &shown, 1);
                if (last == 0) {
                    read = true;
                    break;
                }
                VKVX_LOG(log::Warning, "ReInit: FPGA %d error reading from %04X error %d", int(k), b + 2, last);
                if (std::chrono::steady_clock::now() - first > std::chrono::milliseconds(6000)) {
                    VKVX_LOG(log::Warning, "timeout %i on loading FPGA image: %d instead of %d", attempt, int(shown),
                             int(image));
                    break;
                }
                sleepMs(1500);
            }
            if (read && shown == index && Autoconfigure(false)) {
                break;
            }
            sleepMs(1000);
        }
    }
    if (last < 0) return last;
    return loadTestCatalogue();
}

int32_t USB3_MM::loadTestCatalogue()
{
    // The device-test catalogue is not read by this class yet: there is no
    // catalogue to load, which is not an error of the open or switch.
    return 0;
}

// ---- capture operations of the family not offered yet ----------------------------

int32_t USB3_MM::WorkerStep() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::SetDeviceOption(int32_t, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::StartCapture() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::StopCapture() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetFrame(VKVX_FRAME*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetFrameInfo(VKVX_FRAME_INFO*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetTimingData(int32_t, VKVX_TIMING_DATA*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }

int32_t USB3_MM::SelectConnector(int32_t connector)
{
    // A connector number outside the list is refused before anything else.
    if (connector < 0 || size_t(connector) >= connectors_.size()) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return VKVX_ERROR_NOT_SUPPORTED;
}
