// The device class registry: device type code -> prototype object of that
// class.  Prototypes are entered by an explicit registration call made when
// the registry is first used (at library load), in the order USB3_MM,
// USB_DUMMY, USB_LVDS, USB_MLC, USB_VX1; a later entry with the same code
// replaces the earlier one.  Iteration follows ascending type code.
#pragma once

#include <cstdint>
#include <map>

#include "device/Device.h"

namespace vkvx {

class Registry {
public:
    static Registry& instance();

    // Enters prototype under its type code, replacing (and destroying) an
    // earlier prototype of the same code.  Takes ownership.
    void add(VKVX_Device* prototype);
    // Removes and destroys the prototype of type (test support).
    void remove(uint32_t type);
    VKVX_Device* find(uint32_t type) const;

    // Enumerate: every class in ascending type code; returns the total.
    int32_t enumerate(VKVX_DEVICE_INFO* devices, int32_t capacity);
    // Create: the prototype's CreateDevice, or VKVX_Error(-7).
    VKVX_Device* create(const VKVX_DEVICE_INFO& info, int32_t mode, bool checkFirmware);

    ~Registry();

private:
    Registry() = default;
    std::map<uint32_t, VKVX_Device*> prototypes_;
};

// Registers the prototypes of the built-in classes (one per device folder).
void registerBuiltInClasses(Registry& registry);

}  // namespace vkvx
