// Exports of the USB 3 device family: each verifies the device's class at run
// time after the handle lookup.
#include <cstring>

#include "Wrapper.h"

using namespace vkvx;

namespace {

constexpr int32_t kOtherClass = VKVX_ERROR_INVALID_HANDLE;

// The memory-block family takes the memory lock instead of the API lock.
template <class F>
int32_t withUsb3MemoryLock(VKVX_HANDLE h, F&& op) noexcept
{
    return guarded([&]() -> int32_t {
        MemoryLock lock;
        auto* usb3 = dynamic_cast<USB3_MM*>(lookupDevice(h));
        if (!usb3) {
            return VKVX_ERROR_INVALID_HANDLE;
        }
        return op(*usb3);
    });
}

}  // namespace

#define USB3_EXPORT(name, params, call)                                               \
    VKVX_API int32_t name params                                                      \
    {                                                                                 \
        VKVX_REQUIRE_INIT();                                                          \
        return withUsb3(h, kOtherClass, [&](USB3_MM& d) -> int32_t { return call; }); \
    }

extern "C" {

USB3_EXPORT(VKVX_WriteData, (VKVX_HANDLE h, int32_t address, const void* data, int32_t length),
            d.WriteData(address, data, length))
USB3_EXPORT(VKVX_ReInitDevice, (VKVX_HANDLE h, int32_t image, int32_t flag), d.ReInit(image, flag != 0))
USB3_EXPORT(VKVX_GetConnectorState, (VKVX_HANDLE h, int32_t connector, VKVX_CONNECTOR_STATE* state),
            d.GetConnectorState(connector, state))
USB3_EXPORT(VKVX_DP_GetMainLinkStatus, (VKVX_HANDLE h, int32_t connector, VKVX_LINK_STATUS* status),
            d.GetMainLinkStatus(connector, status))
USB3_EXPORT(VKVX_DP_GetMainLinkSetup, (VKVX_HANDLE h, int32_t connector, VKVX_LINK_SETUP* setup),
            d.GetMainLinkSetup(connector, setup))
USB3_EXPORT(VKVX_DP_SetMainLinkSetup, (VKVX_HANDLE h, int32_t connector, const VKVX_LINK_SETUP* setup),
            d.SetMainLinkSetup(connector, setup))
USB3_EXPORT(VKVX_DP_GetHPDStatus, (VKVX_HANDLE h, int32_t connector), d.GetHPDStatus(connector))
USB3_EXPORT(VKVX_DP_SetHPDStatus, (VKVX_HANDLE h, int32_t connector, uint32_t state),
            d.SetHPDStatus(connector, state))
USB3_EXPORT(VKVX_DP_ReadDPCD, (VKVX_HANDLE h, int32_t connector, uint32_t address, int32_t count, uint8_t* data),
            d.ReadDPCD(connector, address, count, data))
USB3_EXPORT(VKVX_DP_WriteDPCD,
            (VKVX_HANDLE h, int32_t connector, uint32_t address, int32_t count, const uint8_t* data),
            d.WriteDPCD(connector, address, count, data))
USB3_EXPORT(VKVX_DP_ReadEDIDex,
            (VKVX_HANDLE h, int32_t connector, uint32_t block, int32_t timeout_ms, int32_t count, uint8_t* data),
            d.ReadEDID(connector, block, timeout_ms, count, data))
USB3_EXPORT(VKVX_DP_WriteEDIDex,
            (VKVX_HANDLE h, int32_t connector, uint32_t block, int32_t count, const uint8_t* data),
            d.WriteEDID(connector, block, count, data))
USB3_EXPORT(VKVX_DP_ReadEDID, (VKVX_HANDLE h, int32_t connector, int32_t count, uint8_t* data),
            d.ReadEDID(connector, 0, 50, count, data))
USB3_EXPORT(VKVX_DP_WriteEDID, (VKVX_HANDLE h, int32_t connector, int32_t count, const uint8_t* data),
            d.WriteEDID(connector, 0, count, data))
USB3_EXPORT(VKVX_DP_SetCaptureState, (VKVX_HANDLE h, int32_t connector, int32_t feature, int32_t enable),
            d.SetDPCaptureState(connector, feature, enable))
USB3_EXPORT(VKVX_DP_GetCaptureState, (VKVX_HANDLE h, int32_t connector, int32_t feature, int32_t* state),
            d.GetDPCaptureState(connector, feature, state))
USB3_EXPORT(VKVX_DP_ReadCaptureData,
            (VKVX_HANDLE h, int32_t connector, int32_t kind, int32_t length, void* data),
            d.ReadCaptureData(connector, kind, length, data))
USB3_EXPORT(VKVX_DP_GetCurrentTiming, (VKVX_HANDLE h, int32_t connector, VKVX_DP_TIMING* timings),
            d.GetCurrentTiming(connector, timings))
USB3_EXPORT(VKVX_DP_SetCurrentTiming,
            (VKVX_HANDLE h, int32_t connector, const VKVX_DP_TIMING* timing, uint32_t frame_rate),
            d.SetCurrentTiming(connector, timing, frame_rate))
USB3_EXPORT(VKVX_GetCurrentCRC, (VKVX_HANDLE h, int32_t connector, VKVX_CRC_RECORD* records, int32_t count),
            d.GetDPCurrentCrc(connector, records, count))
USB3_EXPORT(VKVX_DP_GetCurrentCRC, (VKVX_HANDLE h, int32_t connector, VKVX_CRC_RECORD* record),
            d.GetDPCurrentCrc(connector, record, 1))
USB3_EXPORT(VKVX_TPG_SelectPattern, (VKVX_HANDLE h, int32_t connector, int32_t stream, int32_t pattern),
            d.TPG_SelectPattern(connector, stream, pattern))
USB3_EXPORT(VKVX_TPG_SetPatternParameters,
            (VKVX_HANDLE h, int32_t connector, int32_t stream, uint32_t a, uint32_t b, uint32_t c),
            d.TPG_SetPatternParameters(connector, stream, a, b, c))
USB3_EXPORT(VKVX_DTest_Enumerate, (VKVX_HANDLE h, uint32_t* tests, int32_t capacity),
            d.DTest_Enumerate(tests, capacity))
USB3_EXPORT(VKVX_DTest_GetName, (VKVX_HANDLE h, int32_t test, char* name, int32_t length),
            d.DTest_GetName(test, name, length))
USB3_EXPORT(VKVX_DTest_GetPort, (VKVX_HANDLE h, int32_t test), d.DTest_GetPort(test))
USB3_EXPORT(VKVX_DTest_GetConfig, (VKVX_HANDLE h, int32_t test, void* buffer, int32_t* size),
            d.DTest_GetConfig(test, buffer, size))
USB3_EXPORT(VKVX_DTest_RunEx,
            (VKVX_HANDLE h, int32_t test, const void* config, int32_t config_size, const void* input,
             int32_t input_size),
            d.DTest_RunEx(test, config, config_size, input, input_size))
USB3_EXPORT(VKVX_DTest_Run, (VKVX_HANDLE h, int32_t test, const void* config, int32_t config_size),
            d.DTest_RunEx(test, config, config_size, nullptr, 0))
USB3_EXPORT(VKVX_DTest_Stop, (VKVX_HANDLE h), d.DTest_Stop())
USB3_EXPORT(VKVX_DTest_Reset, (VKVX_HANDLE h), d.DTest_Reset())
USB3_EXPORT(VKVX_DTest_GetStatus, (VKVX_HANDLE h), d.DTest_GetStatus())
USB3_EXPORT(VKVX_DTest_ReadLog, (VKVX_HANDLE h, void* buffer, int32_t size), d.DTest_ReadLog(buffer, size))
USB3_EXPORT(VKVX_DTest_ReadData, (VKVX_HANDLE h, void* buffer, int32_t size), d.DTest_ReadData(buffer, size))
USB3_EXPORT(VKVX_CRC_Configure,
            (VKVX_HANDLE h, const uint32_t* config, VKVX_CRC_RECORD* records, int32_t count),
            d.CRC_Configure(config, records, count))
USB3_EXPORT(VKVX_CRC_Read, (VKVX_HANDLE h, void*, VKVX_CRC_RECORD* records, int32_t count),
            d.CRC_Read(records, count))
USB3_EXPORT(VKVX_CRC_Stop, (VKVX_HANDLE h), d.CRC_Stop())
USB3_EXPORT(VKVX_ARC_Control, (VKVX_HANDLE h, int32_t connector, int32_t value18, int32_t value19),
            d.ARC_Control(connector, value18, value19))
USB3_EXPORT(VKVX_IF_Read, (VKVX_HANDLE h, int32_t connector, int32_t type, uint8_t* buffer, int32_t size),
            d.IF_Read(connector, type, buffer, size))
USB3_EXPORT(VKVX_PDC_Read, (VKVX_HANDLE h, int32_t reg, uint32_t* data, int32_t count),
            d.PDC_Read(reg, data, count))
USB3_EXPORT(VKVX_PDC_Write, (VKVX_HANDLE h, int32_t reg, const uint32_t* data, int32_t count),
            d.PDC_Write(reg, data, count))

// The bitmap exports check their buffer before the lock and clear it fully.
VKVX_API int32_t VKVX_IF_Available(VKVX_HANDLE h, int32_t connector, uint8_t* bitmap, int32_t length)
{
    VKVX_REQUIRE_INIT();
    if (!bitmap || length < 4) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return withUsb3(h, kOtherClass, [&](USB3_MM& d) {
        std::memset(bitmap, 0, static_cast<size_t>(length));
        return d.IF_Available(connector, bitmap, length);
    });
}

VKVX_API int32_t VKVX_IF_Updated(VKVX_HANDLE h, int32_t connector, uint8_t* bitmap, int32_t length)
{
    VKVX_REQUIRE_INIT();
    if (!bitmap || length < 4) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return withUsb3(h, kOtherClass, [&](USB3_MM& d) {
        std::memset(bitmap, 0, static_cast<size_t>(length));
        return d.IF_Updated(connector, bitmap, length);
    });
}

// These four answer -6, not -12, for a device of another class.
VKVX_API int32_t VKVX_GetCombinedVersion(VKVX_HANDLE h, uint32_t* version)
{
    VKVX_REQUIRE_INIT();
    if (!version) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return withUsb3(h, VKVX_ERROR_NOT_SUPPORTED, [&](USB3_MM& d) -> int32_t {
        uint16_t major = 0, minor = 0, build = 0;
        if (!d.GetFirmwareVersion(&major, &minor, &build, -1, nullptr)) {
            return VKVX_ERROR_FIRMWARE_UPDATE_REQUIRED;
        }
        *version = static_cast<uint32_t>(major) * 65536u + static_cast<uint32_t>(minor) * 256u + build;
        return 0;
    });
}

VKVX_API int32_t VKVX_GetDiagnosticInfo(VKVX_HANDLE h, char* text, int32_t length)
{
    VKVX_REQUIRE_INIT();
    return withUsb3(h, VKVX_ERROR_NOT_SUPPORTED, [&](USB3_MM& d) { return d.GetDiagnosticInfo(text, length); });
}

VKVX_API int32_t VKVX_USB_COM_Check(VKVX_HANDLE h)
{
    VKVX_REQUIRE_INIT();
    return withUsb3(h, VKVX_ERROR_NOT_SUPPORTED, [&](USB3_MM& d) { return d.USB_COM_Check(); });
}

VKVX_API int32_t VKVX_SetTerminalSink(VKVX_HANDLE h, VKVX_TERMINAL_SINK sink)
{
    VKVX_REQUIRE_INIT();
    return withUsb3(h, VKVX_ERROR_NOT_SUPPORTED, [&](USB3_MM& d) { return d.SetTerminalSink(sink); });
}

VKVX_API int32_t VKVX_Mem_Layout(VKVX_HANDLE h, void* layout, int32_t length)
{
    VKVX_REQUIRE_INIT();
    return withUsb3MemoryLock(h, [&](USB3_MM& d) { return d.Mem_Layout(layout, length); });
}

VKVX_API int32_t VKVX_Mem_Total(VKVX_HANDLE h)
{
    VKVX_REQUIRE_INIT();
    return withUsb3MemoryLock(h, [&](USB3_MM& d) { return d.Mem_Total(); });
}

VKVX_API int32_t VKVX_Mem_Load(VKVX_HANDLE h, int32_t block, const void* data, int32_t length)
{
    VKVX_REQUIRE_INIT();
    return withUsb3MemoryLock(h, [&](USB3_MM& d) { return d.Mem_Load(block, data, length); });
}

}  // extern "C"
