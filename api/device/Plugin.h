// Plugins: separately delivered libraries (*.so in "VKVX_Plugins" beside the
// library) that add operation modes, firmware and per-frame processing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vkvx.h"

class VKVX_Plugin {
public:
    using InitFn = const char* (*)();
    using ModesFn = VKVX_OPERATION_MODE* (*)(int32_t*);
    using FirmwareFn = VKVX_FIRMWARE_IMAGE* (*)(int32_t*);
    using ProcessFn = int32_t (*)(VKVX_FRAME*);
    using OptionFn = int32_t (*)(int32_t, int32_t);

    // Loads one plugin library; null (and logged) when it is unusable.
    static VKVX_Plugin* load(const std::string& path);

    virtual ~VKVX_Plugin();
    // Its modes (count out); null on failure.
    virtual VKVX_OPERATION_MODE* GetModes(int32_t* count);
    // Its firmware records, one per mode (count out).
    virtual VKVX_FIRMWARE_IMAGE* GetFirmware(int32_t* count);
    virtual int32_t ProcessFrame(VKVX_FRAME* frame);
    // 0 when the plugin has no option entry point.
    virtual int32_t SetOption(int32_t id, int32_t value);

    const char* description() const { return description_; }

private:
    VKVX_Plugin() = default;
    void* module_ = nullptr;
    InitFn init_ = nullptr;
    ModesFn modes_ = nullptr;
    FirmwareFn firmware_ = nullptr;
    ProcessFn process_ = nullptr;
    OptionFn option_ = nullptr;
    char description_[65] = {};
};

namespace vkvx::plugins {

// Loads every plugin of the plugin folder (VKVX_PLUGIN_DIR, else
// "VKVX_Plugins" beside the library file) and appends it to the plugin list;
// returns the number loaded.
int32_t loadAll();
// The plugins serving a device description, in load order.
std::vector<VKVX_Plugin*> serving(const char* description);
// Plugin mode lookup: the mode record for (description, mode) beyond the
// built-in modes of type, or null.
const VKVX_OPERATION_MODE* modeLookup(uint32_t type, const char* description, int32_t mode);

}  // namespace vkvx::plugins
