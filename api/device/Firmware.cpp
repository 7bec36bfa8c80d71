#include "device/Firmware.h"

#include <cstring>

#include "Log.h"
#include "Version.h"

namespace vkvx::firmware {

namespace {

bool isHardware(uint32_t type)
{
    return type == VKVX_TYPE_USB_LVDS || type == VKVX_TYPE_USB_VX1 || type == VKVX_TYPE_USB_MLC ||
           type == VKVX_TYPE_USB3_MM;
}

VKVX_FIRMWARE_IMAGE image(const char* id)
{
    VKVX_FIRMWARE_IMAGE f{};
    std::memcpy(f.Id, id, std::strlen(id));
    return f;
}

const VKVX_FIRMWARE_IMAGE kLvds[3] = {image("LA01"), image("MB01"), image("MC01")};
const VKVX_FIRMWARE_IMAGE kVx1Rev0[3] = {image("VA01"), image("VG01"), image("VM01")};
const VKVX_FIRMWARE_IMAGE kVx1Rev1[3] = {image("VB01"), image("VGB1"), image("VM01")};

VKVX_OPERATION_MODE mode(uint32_t id, const char* name, uint16_t fwMajor, uint16_t fwMinor, uint16_t type)
{
    VKVX_OPERATION_MODE m{};
    m.ModeId = id;
    std::strncpy(m.Name, name, sizeof m.Name - 1);
    m.FirmwareMajor = fwMajor;
    m.FirmwareMinor = fwMinor;
    m.SoftwareMajor = kApiMajor;
    m.SoftwareMinor = kApiMinor;
    m.ModeType = type;
    return m;
}

const VKVX_OPERATION_MODE kLvdsModes[3] = {
    mode(0, "LVDS Basic Video Capture", 1, 3, 1),
    mode(1, "miniLVDS Basic Video Capture", 1, 2, 3),
    mode(2, "miniLVDS Basic Video Capture (PLL)", 1, 3, 3),
};
const VKVX_OPERATION_MODE kVx1Rev0Modes[3] = {
    mode(0, "Basic Video Capture", 1, 12, 1),
    mode(1, "Internal pattern generator", 1, 6, 1),
    mode(2, "Timing Measurement", 1, 0, 2),
};
const VKVX_OPERATION_MODE kVx1Rev1Modes[3] = {
    mode(0, "Basic Video Capture", 1, 3, 1),
    mode(1, "Internal pattern generator", 1, 1, 1),
    mode(2, "Timing Measurement", 1, 0, 2),
};
const VKVX_OPERATION_MODE kUsb3Modes[3] = {
    mode(0, "Video and Audio Capture", 1, 0, 1),
    mode(1, "Audio Capture", 1, 0, 5),
    mode(2, "Video Source", 1, 0, 7),
};

}  // namespace

int32_t modeCount(uint32_t type) { return isHardware(type) ? 3 : 0; }

int32_t revisions(uint32_t type)
{
    VKVX_LOG(log::Trace, "GetRevisions %x", type);
    if (type == VKVX_TYPE_USB_LVDS || type == VKVX_TYPE_USB_VX1 || type == VKVX_TYPE_USB_MLC) {
        return 2;
    }
    return type == VKVX_TYPE_USB3_MM ? 1 : 0;
}

const VKVX_FIRMWARE_IMAGE* get(uint32_t type, int32_t mode, int32_t revision)
{
    if (mode < 0 || mode >= modeCount(type)) {
        return nullptr;
    }
    if (type == VKVX_TYPE_USB_LVDS || type == VKVX_TYPE_USB_MLC) {
        return &kLvds[mode];
    }
    if (type == VKVX_TYPE_USB_VX1) {
        if (revision == 0) {
            return &kVx1Rev0[mode];
        }
        return revision == 1 ? &kVx1Rev1[mode] : nullptr;
    }
    if (type == VKVX_TYPE_USB3_MM) {
        VKVX_LOG(log::Warning, "VKVX_Firmware::GetFirmware should not be called for USB3_MM_DEVICE_ID");
    }
    return nullptr;
}

bool applicable(uint32_t type, const char id[8])
{
    if (!isHardware(type)) {
        return false;
    }
    return std::memcmp(id, "LA01", 4) == 0 || std::memcmp(id, "MB01", 4) == 0 || std::memcmp(id, "MC01", 4) == 0;
}

const VKVX_OPERATION_MODE* builtInMode(uint32_t type, int32_t mode, int32_t revision)
{
    if (mode < 0 || mode >= modeCount(type)) {
        return nullptr;
    }
    if (type == VKVX_TYPE_USB_LVDS || type == VKVX_TYPE_USB_MLC) {
        return &kLvdsModes[mode];
    }
    if (type == VKVX_TYPE_USB_VX1) {
        if (revision == 0) {
            return &kVx1Rev0Modes[mode];
        }
        return revision == 1 ? &kVx1Rev1Modes[mode] : nullptr;
    }
    return type == VKVX_TYPE_USB3_MM ? &kUsb3Modes[mode] : nullptr;
}

}  // namespace vkvx::firmware
