#include "device/Registry.h"

#include "Error.h"
#include "Log.h"

namespace vkvx {

Registry& Registry::instance()
{
    static Registry* registry = [] {
        static Registry r;
        registerBuiltInClasses(r);
        return &r;
    }();
    return *registry;
}

// Prototypes are registered while the library is loaded.
__attribute__((constructor)) static void registerAtLoad() { Registry::instance(); }

Registry::~Registry()
{
    for (auto& [type, prototype] : prototypes_) {
        delete prototype;
    }
}

void Registry::add(VKVX_Device* prototype)
{
    VKVX_Device*& slot = prototypes_[prototype->GetDeviceType()];
    if (slot != prototype) {
        delete slot;
        slot = prototype;
    }
}

void Registry::remove(uint32_t type)
{
    auto it = prototypes_.find(type);
    if (it != prototypes_.end()) {
        delete it->second;
        prototypes_.erase(it);
    }
}

VKVX_Device* Registry::find(uint32_t type) const
{
    auto it = prototypes_.find(type);
    return it == prototypes_.end() ? nullptr : it->second;
}

int32_t Registry::enumerate(VKVX_DEVICE_INFO* devices, int32_t capacity)
{
    int32_t total = 0;
    for (auto& [type, prototype] : prototypes_) {
        int32_t room = capacity > total ? capacity - total : 0;
        VKVX_DEVICE_INFO* at = (devices && room > 0) ? devices + total : nullptr;
        int32_t n = prototype->EnumDevices(at, room);
        if (n >= 0) {
            total += n;
        } else {
            VKVX_LOG(log::Warning, "Enumeration failed for %s", prototype->description());
        }
    }
    return total;
}

VKVX_Device* Registry::create(const VKVX_DEVICE_INFO& info, int32_t mode, bool checkFirmware)
{
    VKVX_Device* prototype = find(info.DeviceType);
    if (!prototype) {
        throw VKVX_Error(VKVX_ERROR_DEVICE_NOT_RECOGNIZED);
    }
    return prototype->CreateDevice(info, mode, checkFirmware);
}

}  // namespace vkvx
