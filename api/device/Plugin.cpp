#include "device/Plugin.h"

#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "Log.h"
#include "device/Firmware.h"
#include "platform/MessageBox.h"
#include "platform/ModulePath.h"

namespace {

// The plugin list; plugins stay loaded until the library is unloaded.
struct PluginList {
    std::vector<VKVX_Plugin*> items;
    ~PluginList()
    {
        for (VKVX_Plugin* p : items) {
            delete p;
        }
    }
};

PluginList& pluginList()
{
    static PluginList list;
    return list;
}

std::string pluginFolder()
{
    if (const char* dir = std::getenv("VKVX_PLUGIN_DIR"); dir && *dir) {
        return dir;
    }
    std::string path = vkvx::ownModulePath();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return path.substr(0, slash + 1) + "VKVX_Plugins";
}

}  // namespace

VKVX_Plugin* VKVX_Plugin::load(const std::string& path)
{
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        return nullptr;
    }
    auto* p = new VKVX_Plugin();
    p->module_ = module;
    p->init_ = reinterpret_cast<InitFn>(dlsym(module, "VKVX_InitPlugin"));
    p->modes_ = reinterpret_cast<ModesFn>(dlsym(module, "VKVX_GetAdditionalMode"));
    p->firmware_ = reinterpret_cast<FirmwareFn>(dlsym(module, "VKVX_GetFirmware"));
    p->process_ = reinterpret_cast<ProcessFn>(dlsym(module, "VKVX_ProcessFrame"));
    const char* missing = !p->process_    ? "VKVX_ProcessFrame"
                          : !p->firmware_ ? "VKVX_GetFirmware"
                          : !p->modes_    ? "VKVX_GetAdditionalMode"
                          : !p->init_     ? "VKVX_InitPlugin"
                                          : nullptr;
    if (missing) {
        VKVX_LOG(vkvx::log::Error, "VKVX plugin must provide %s ", missing);
        delete p;
        return nullptr;
    }
    p->option_ = reinterpret_cast<OptionFn>(dlsym(module, "VKVX_SetOption"));
    if (!p->option_) {
        VKVX_LOG(vkvx::log::Info, "plugin without %s", "VKVX_SetOption");
    }
    const char* text = p->init_();
    if (text) {
        std::strncpy(p->description_, text, sizeof p->description_ - 1);
    }
    VKVX_LOG(vkvx::log::Info, "Added plugin for %s", p->description_);
    int32_t count = 0;
    const VKVX_OPERATION_MODE* modes = p->modes_(&count);
    if (!modes) {
        VKVX_LOG(vkvx::log::Error, "error getting plugin operation mode");
        delete p;
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        const VKVX_OPERATION_MODE& m = modes[i];
        VKVX_LOG(vkvx::log::Info, "%i Mode '%.65s' FW %i:%i SW %i:%i P %i", static_cast<int>(m.ModeId), m.Name,
                 m.FirmwareMajor, m.FirmwareMinor, m.SoftwareMajor, m.SoftwareMinor, m.ModeType);
    }
    return p;
}

VKVX_Plugin::~VKVX_Plugin()
{
    if (module_) {
        dlclose(module_);
    }
}

VKVX_OPERATION_MODE* VKVX_Plugin::GetModes(int32_t* count) { return modes_(count); }
VKVX_FIRMWARE_IMAGE* VKVX_Plugin::GetFirmware(int32_t* count) { return firmware_(count); }
int32_t VKVX_Plugin::ProcessFrame(VKVX_FRAME* frame) { return process_(frame); }
int32_t VKVX_Plugin::SetOption(int32_t id, int32_t value) { return option_ ? option_(id, value) : 0; }

namespace vkvx::plugins {

int32_t loadAll()
{
    std::string folder = pluginFolder();
    if (folder.empty()) {
        return 0;
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        return 0;
    }
    std::vector<std::string> files;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) {
            files.push_back(folder + "/" + name);
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    int32_t loaded = 0;
    for (const std::string& path : files) {
        if (VKVX_Plugin* p = VKVX_Plugin::load(path)) {
            pluginList().items.push_back(p);
            ++loaded;
        } else {
            messageBox("NOT FOUND PLUGIN", path.c_str());
        }
    }
    return loaded;
}

std::vector<VKVX_Plugin*> serving(const char* description)
{
    std::vector<VKVX_Plugin*> out;
    for (VKVX_Plugin* p : pluginList().items) {
        if (std::strncmp(p->description(), description, 65) == 0) {
            out.push_back(p);
        }
    }
    return out;
}

const VKVX_OPERATION_MODE* modeLookup(uint32_t type, const char* description, int32_t mode)
{
    int32_t k = mode - firmware::modeCount(type);
    if (k < 0) {
        return nullptr;
    }
    for (VKVX_Plugin* p : serving(description)) {
        VKVX_LOG(log::Info, "mode %i plugin %s", k, p->description());
        int32_t count = 0;
        VKVX_OPERATION_MODE* modes = p->GetModes(&count);
        if (modes && k < count) {
            return &modes[k];
        }
        k -= count;
    }
    return nullptr;
}

}  // namespace vkvx::plugins
