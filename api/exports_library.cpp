// Exports of the library and enumeration family and the device life cycle.
#include <cstdio>
#include <cstring>

#include "Wrapper.h"
#include "device/Firmware.h"
#include "device/Plugin.h"
#include "device/Registry.h"
#include "platform/InUseLock.h"

using namespace vkvx;

namespace {

// The record's serial number, terminated even when the record's is not.
struct Serial {
    explicit Serial(const VKVX_DEVICE_INFO& info)
    {
        std::memcpy(text, info.SerialNumber, sizeof text - 1);
        text[sizeof text - 1] = '\0';
    }
    char text[17];
};

}  // namespace

extern "C" {

VKVX_API int32_t VKVX_EnumDevices(VKVX_DEVICE_INFO* devices, int32_t capacity)
{
    VKVX_REQUIRE_INIT();
    if (capacity < 0) {
        capacity = 0;
    }
    return guarded([&] {
        ApiLock lock;
        return Registry::instance().enumerate(devices, capacity);
    });
}

VKVX_API VKVX_HANDLE VKVX_OpenDevice(const VKVX_DEVICE_INFO* info, int32_t mode, int32_t* status)
{
    auto fail = [status](int32_t s) -> VKVX_HANDLE {
        if (status) {
            *status = s;
        }
        return nullptr;
    };
    if (!initialised()) {
        return fail(VKVX_ERROR_NOT_INITIALIZED);
    }
    if (!info) {
        return fail(VKVX_ERROR_INVALID_PARAMETER);
    }
    VKVX_Device* device = nullptr;
    int32_t result = guarded([&]() -> int32_t {
        ApiLock lock;
        InUseLock* inUse = InUseLock::take(Serial(*info).text);
        if (!inUse) {
            return VKVX_ERROR_DEVICE_IN_USE;
        }
        try {
            device = Registry::instance().create(*info, mode, library().checkFirmware.load());
        } catch (...) {
            delete inUse;
            throw;
        }
        if (!device) {
            delete inUse;
            return VKVX_ERROR_DEVICE_NOT_RECOGNIZED;
        }
        device->attachInUseLock(inUse);
        insertDevice(device);
        return 0;
    });
    if (result < 0) {
        return fail(result);
    }
    return device;
}

VKVX_API int32_t VKVX_EnumOperationModes(const VKVX_DEVICE_INFO* info, VKVX_OPERATION_MODE* modes,
                                         int32_t capacity)
{
    VKVX_REQUIRE_INIT();
    if (!info || capacity < 0) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return guarded([&]() -> int32_t {
        ApiLock lock;
        std::unique_ptr<InUseLock> inUse(InUseLock::take(Serial(*info).text));
        if (!inUse) {
            return VKVX_ERROR_DEVICE_IN_USE;
        }
        Registry& registry = Registry::instance();
        if (!registry.find(info->DeviceType)) {
            return VKVX_ERROR_DEVICE_NOT_RECOGNIZED;
        }
        std::unique_ptr<VKVX_Device> temporary(registry.create(*info, -1, false));
        if (!temporary) {
            VKVX_LOG(log::Error, "Failed to open device %.65s %.17s", info->Description, info->SerialNumber);
            return VKVX_ERROR_DEVICE_NOT_RECOGNIZED;
        }
        int32_t n = temporary->GetOperationModes(modes, capacity);
        temporary.reset();
        if (n < 0) {
            return n;
        }
        char description[66];
        std::memcpy(description, info->Description, 65);
        description[65] = '\0';
        int32_t next = n;
        int32_t written = n < capacity ? n : capacity;
        for (VKVX_Plugin* plugin : plugins::serving(description)) {
            int32_t m = 0, f = 0;
            VKVX_OPERATION_MODE* pluginModes = plugin->GetModes(&m);
            VKVX_FIRMWARE_IMAGE* firmware = plugin->GetFirmware(&f);
            if (!pluginModes || !firmware || m != f) {
                VKVX_LOG(log::Error, "Invalid plugin %s: %i != %i", plugin->description(), m, f);
                continue;
            }
            for (int32_t i = 0; i < m; ++i) {
                if (firmware::applicable(info->DeviceType, firmware[i].Id)) {
                    if (modes && written < capacity) {
                        modes[written] = pluginModes[i];
                        modes[written].ModeId = static_cast<uint32_t>(next);
                        ++written;
                    }
                    VKVX_LOG(log::Info, "Assigned modeID %i to '%.65s'", next, pluginModes[i].Name);
                    ++next;
                } else {
                    VKVX_LOG(log::Info, "Plugin mode '%.65s' is not applicable for device %s", pluginModes[i].Name,
                             description);
                }
            }
        }
        return next;
    });
}

VKVX_API int32_t VKVX_CloseDevice(VKVX_HANDLE handle)
{
    VKVX_REQUIRE_INIT();
    return withDevice(handle, [](VKVX_Device& d) {
        eraseDevice(&d);
        d.releaseInUseLock();
        delete &d;
        return 0;
    });
}

VKVX_API int32_t VKVX_DeviceInfo(VKVX_HANDLE handle, VKVX_DEVICE_INFO* info)
{
    VKVX_REQUIRE_INIT();
    if (!info) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return withDevice(handle, [info](VKVX_Device& d) {
        std::snprintf(info->Description, sizeof info->Description, "%s", d.description());
        std::snprintf(info->SerialNumber, sizeof info->SerialNumber, "%s", d.serialNumber());
        return 0;
    });
}

}  // extern "C"
