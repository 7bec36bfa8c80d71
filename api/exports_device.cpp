// Exports of the device life cycle and capture family (handle first).
#include "Wrapper.h"

using namespace vkvx;

extern "C" {

VKVX_API int32_t VKVX_GetDeviceCaps(VKVX_HANDLE h, uint32_t* caps, int32_t capacity)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.GetDeviceCaps(caps, capacity); });
}

VKVX_API int32_t VKVX_EnumConnectors(VKVX_HANDLE h, uint32_t* connectors, int32_t capacity)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.EnumConnectors(connectors, capacity); });
}

VKVX_API int32_t VKVX_SelectConnector(VKVX_HANDLE h, int32_t connector)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.SelectConnector(connector); });
}

VKVX_API int32_t VKVX_SetOption(VKVX_HANDLE h, int32_t id, int32_t value)
{
    VKVX_REQUIRE_INIT();
    return guarded([&]() -> int32_t {
        ApiLock lock;
        if (id == VKVX_OPTION_CHECK_FIRMWARE_VERSION) {
            library().checkFirmware.store(value != 0);
            return 0;
        }
        VKVX_Device* d = lookupDevice(h);
        if (!d) {
            return VKVX_ERROR_INVALID_HANDLE;
        }
        return d->SetOption(id, value);
    });
}

VKVX_API int32_t VKVX_AllocateFrameBuffers(VKVX_HANDLE h, VKVX_FRAME* frames, int32_t count)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.AllocateFrameBuffers(frames, count); });
}

VKVX_API int32_t VKVX_AllocateAudioBuffers(VKVX_HANDLE h, VKVX_FRAME* frames, int32_t count)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.AllocateAudioBuffers(frames, count); });
}

VKVX_API int32_t VKVX_FreeFrameBuffers(VKVX_HANDLE h, VKVX_FRAME* frames, int32_t count)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.FreeFrameBuffers(frames, count); });
}

VKVX_API int32_t VKVX_StartCapture(VKVX_HANDLE h)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [](VKVX_Device& d) { return d.StartCapture(); });
}

VKVX_API int32_t VKVX_StopCapture(VKVX_HANDLE h)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [](VKVX_Device& d) { return d.StopCapture(); });
}

VKVX_API int32_t VKVX_GetFrameInfo(VKVX_HANDLE h, VKVX_FRAME_INFO* info)
{
    VKVX_REQUIRE_INIT();
    if (!info) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return withDevice(h, [&](VKVX_Device& d) { return d.GetFrameInfo(info); });
}

VKVX_API int32_t VKVX_GetAudioInfo(VKVX_HANDLE h, VKVX_AUDIO_INFO* info)
{
    VKVX_REQUIRE_INIT();
    if (!info) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return withDevice(h, [&](VKVX_Device& d) { return d.GetAudioInfo(info); });
}

// No API lock: one thread may wait for frames while another configures.
VKVX_API int32_t VKVX_GetFrame(VKVX_HANDLE h, VKVX_FRAME* frame)
{
    VKVX_REQUIRE_INIT();
    return guarded([&]() -> int32_t {
        VKVX_Device* d = lookupDevice(h);
        if (!d) {
            return VKVX_ERROR_INVALID_HANDLE;
        }
        return d->DeliverFrame(frame);
    });
}

VKVX_API int32_t VKVX_GetVideoTimingData(VKVX_HANDLE h, int32_t selector, VKVX_TIMING_DATA* data, int32_t capacity)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.GetTimingData(selector, data, capacity); });
}

VKVX_API int32_t VKVX_WriteRegister(VKVX_HANDLE h, int32_t address, uint32_t* values, int32_t count)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.WriteRegister(address, values, count); });
}

VKVX_API int32_t VKVX_ReadRegister(VKVX_HANDLE h, int32_t address, uint32_t* values, int32_t count)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.ReadRegister(address, values, count); });
}

VKVX_API int32_t VKVX_GetConnectorAddress(VKVX_HANDLE h, int32_t connector)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.GetConnectorAddress(connector); });
}

VKVX_API int32_t VKVX_GetCVIAddress(VKVX_HANDLE h, int32_t index)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.GetCVIAddress(index); });
}

VKVX_API int32_t VKVX_ReadBulk(VKVX_HANDLE h, int32_t address, uint8_t* buffer, int32_t length)
{
    VKVX_REQUIRE_INIT();
    return withDevice(h, [&](VKVX_Device& d) { return d.ReadBulk(address, buffer, length); });
}

// Not offered by any device: -6 in every state, without any check.
VKVX_API int32_t VKVX_GetConnectorTime(VKVX_HANDLE, void*) { return VKVX_ERROR_NOT_SUPPORTED; }

}  // extern "C"
