#include "ApiBinding.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/StatusTexts.h"
#include "platform/VersionNote.h"

namespace kvx {
namespace {

using vkvx::kStatusTextCount;
using vkvx::kStatusTexts;

// Module state: one instance for the process.
struct ModuleState {
    void* handle = nullptr;
    uint16_t loaded = 0;
    ApiVersion version;
    uint16_t missing = 0;
    char lastMissing[64] = {};
#define KVX_POINTER(group, name, counted, guard, kind, ret, params, args) ret(*name) params = nullptr;
    KVX_API_ENTRIES(KVX_POINTER)
#undef KVX_POINTER
};
ModuleState g_api;

// Clears every entry pointer: nothing may call into a library that is gone.
void clearEntries()
{
#define KVX_CLEAR(group, name, counted, guard, kind, ret, params, args) g_api.name = nullptr;
    KVX_API_ENTRIES(KVX_CLEAR)
#undef KVX_CLEAR
}

void freeLibrary()
{
    if (g_api.handle) {
        dlclose(g_api.handle);
    }
    g_api.handle = nullptr;
    g_api.loaded = 0;
    clearEntries();
}

void noteMissing(const char* name)
{
    ++g_api.missing;
    std::memset(g_api.lastMissing, 0, sizeof g_api.lastMissing);
    std::strncpy(g_api.lastMissing, name, sizeof g_api.lastMissing - 1);
}

// Looks up one entry; counted entries that are missing increment the counter.
template <typename Fn>
void bindEntry(Fn& slot, const char* name, bool counted)
{
    void* symbol = g_api.handle ? dlsym(g_api.handle, name) : nullptr;
    slot = reinterpret_cast<Fn>(symbol);
    if (!symbol && counted) {
        noteMissing(name);
    }
}

void bindGroup(int wanted)
{
#define KVX_BIND(group, name, counted, guard, kind, ret, params, args) \
    if (group == wanted) {                                             \
        bindEntry(g_api.name, #name, counted);                         \
    }
    KVX_API_ENTRIES(KVX_BIND)
#undef KVX_BIND
}

// The path of the file the loader actually mapped for the handle.
std::string loadedFilePath(void* handle)
{
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !map->l_name[0]) {
        return {};
    }
    return map->l_name;
}

bool guardL() { return g_api.loaded == 1; }

}  // namespace

int32_t LoadApiLibrary(const char* path)
{
    if (g_api.handle) {
        // A second load replaces the first library.
        int32_t r = UnloadApiLibrary();
        if (r < 0) {
            return r;
        }
    }
    g_api.version = ApiVersion{};
    g_api.missing = 0;
    std::memset(g_api.lastMissing, 0, sizeof g_api.lastMissing);

    if (path) {
        g_api.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!g_api.handle) {
            return VKVX_ERROR_LOAD_LIBRARY;
        }
    } else {
        g_api.handle = dlopen(kApiLibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!g_api.handle) {
            std::string fallback = std::string(kApiFallbackFolder) + kApiLibraryName;
            g_api.handle = dlopen(fallback.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        if (!g_api.handle) {
            return VKVX_ERROR_LOAD_LIBRARY;
        }
    }

    // Version numbers from the note in the loaded file.
    vkvx::VersionNumbers numbers;
    std::string file = loadedFilePath(g_api.handle);
    if (file.empty() || !vkvx::readVersionNote(file.c_str(), numbers)) {
        freeLibrary();
        return VKVX_ERROR_VERSION;
    }
    g_api.version = ApiVersion{numbers.major, numbers.minor, numbers.build, numbers.revision};
    if (numbers.major != 1 || numbers.minor < 1) {
        freeLibrary();
        return VKVX_ERROR_VERSION;
    }

    bindGroup(1);
    if (g_api.missing != 0) {
        freeLibrary();
        return VKVX_ERROR_FUNCTION_NOT_FOUND;
    }

    g_api.loaded = 1;
    int32_t r = g_api.VKVX_Initialize();
    if (r < 0) {
        return r;  // the library stays loaded and marked ready
    }
    return static_cast<int32_t>((static_cast<uint32_t>(numbers.major) << 16) | numbers.minor);
}

int32_t BindExtendedEntries()
{
    bindGroup(2);
    return g_api.missing != 0 ? VKVX_ERROR_FUNCTION_NOT_FOUND : 0;
}

int32_t UnloadApiLibrary()
{
    if (g_api.loaded == 1 && g_api.VKVX_CleanUp) {
        int32_t r = g_api.VKVX_CleanUp();
        if (r < 0) {
            return r;
        }
    }
    freeLibrary();
    return 0;
}

int32_t ApiStatusText(int32_t code, char* buffer, int32_t size)
{
    // 64-bit index: -INT32_MIN does not fit in 32 bits.
    int64_t index = code < 0 ? -static_cast<int64_t>(code) : 0;
    if (index >= kStatusTextCount) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const char* text = kStatusTexts[index];
    size_t length = std::strlen(text);
    if (buffer && size > 0) {
        size_t n = length < static_cast<size_t>(size - 1) ? length : static_cast<size_t>(size - 1);
        std::memcpy(buffer, text, n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(length);
}

std::string ApiStatusText(int32_t code)
{
    char buffer[1024];
    if (ApiStatusText(code, buffer, sizeof buffer) < 0) {
        std::snprintf(buffer, sizeof buffer, "Unknown error %d", code);
    }
    return buffer;
}

ApiVersion ApiLibraryVersion() { return g_api.version; }
bool ApiLibraryLoaded() { return g_api.loaded == 1; }
int ApiMissingEntryCount() { return g_api.missing; }
const char* ApiLastMissingEntry() { return g_api.lastMissing; }

// Wrappers.  Every guard also requires the entry's pointer, so that a wrapper
// never calls through a null pointer whatever state the module is in.
#define KVX_GUARD_L(name) (guardL() && g_api.name)
#define KVX_GUARD_P(name) (g_api.name != nullptr)
#define KVX_GUARD_LP(name) (guardL() && g_api.name)
#define KVX_WRAPPER_S(name, guard, ret, params, args) \
    ret name params                                   \
    {                                                 \
        if (!KVX_GUARD_##guard(name)) {               \
            return VKVX_ERROR_NOT_INITIALIZED;        \
        }                                             \
        return g_api.name args;                       \
    }
#define KVX_WRAPPER_H(name, guard, ret, params, args) \
    ret name params                                   \
    {                                                 \
        if (!KVX_GUARD_##guard(name)) {               \
            if (status) {                             \
                *status = VKVX_ERROR_NOT_INITIALIZED; \
            }                                         \
            return nullptr;                           \
        }                                             \
        return g_api.name args;                       \
    }
#define KVX_WRAPPER(group, name, counted, guard, kind, ret, params, args) \
    KVX_WRAPPER_##kind(name, guard, ret, params, args)
KVX_API_ENTRIES(KVX_WRAPPER)
#undef KVX_WRAPPER

}  // namespace kvx
