// A scripted stand-in for libVKVX.so.1: the device list, the operation modes
// and the results of the entries the viewer's workflow calls, chosen by a
// scenario; every call is counted.
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "FakeApi.h"
#include "vkvx.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_mutex;
int32_t g_scenario = kFakeNoDevices;
std::map<std::string, int32_t> g_counts;
std::map<std::string, int32_t> g_results;
std::vector<int32_t> g_options;
int32_t g_lastOpenMode = -1;
int g_handleTag = 0;
VKVX_DEVICE_INFO g_slaves[2];

void count(const char* entry)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_counts[entry];
}

int32_t resultOf(const char* entry, int32_t fallback)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_results.find(entry);
    return it == g_results.end() ? fallback : it->second;
}

VKVX_DEVICE_INFO record(uint32_t product, const char* description, const char* serial, uint8_t revision,
                        int32_t slaves = 0, VKVX_DEVICE_INFO* next = nullptr)
{
    VKVX_DEVICE_INFO d{};
    d.DeviceType = VKVX_DEVICE_TYPE(product);
    std::strncpy(d.Description, description, sizeof d.Description - 1);
    std::strncpy(d.SerialNumber, serial, sizeof d.SerialNumber - 1);
    d.Revision = revision;
    d.SlaveCount = slaves;
    d.NextSlave = next;
    return d;
}

std::vector<VKVX_DEVICE_INFO> devices()
{
    g_slaves[0] = record(VKVX_PRODUCT_VX1, "KVX Vx1", "V002", 2, 0, &g_slaves[1]);
    g_slaves[1] = record(VKVX_PRODUCT_VX1, "KVX Vx1", "V003", 2);
    switch (g_scenario) {
    case kFakeDeadBesideGood:
        return {record(VKVX_PRODUCT_LVDS, "Dead LVDS", "D001", 255), record(VKVX_PRODUCT_LVDS, "KVX LVDS", "L001", 3)};
    case kFakeVx1Chain:
        return {record(VKVX_PRODUCT_VX1, "KVX Vx1", "V001", 2, 2, &g_slaves[0])};
    case kFakeUsb3:
        return {record(VKVX_PRODUCT_USB3_MM, "KVX-P42", "P001", 1), record(VKVX_PRODUCT_LVDS, "KVX LVDS", "L001", 3)};
    case kFakeSingleMode:
        return {record(VKVX_PRODUCT_MLC, "KVX MLC", "M001", 4)};
    case kFakeOpenFails:
    case kFakeModeEnumFails:
        return {record(VKVX_PRODUCT_LVDS, "KVX LVDS", "L001", 3)};
    case kFakeUnsupportedMode:
        return {record(VKVX_PRODUCT_LVDS, "KVX Plugin", "X001", 1)};
    case kFakeEmulatedModes:
        return {record(VKVX_PRODUCT_DUMMY, "Fake Emulated", "F001", 0)};
    default:
        return {};
    }
}

VKVX_OPERATION_MODE mode(uint32_t id, const char* name, uint16_t type)
{
    VKVX_OPERATION_MODE m{};
    m.ModeId = id;
    std::strncpy(m.Name, name, sizeof m.Name - 1);
    m.FirmwareMajor = 2;
    m.FirmwareMinor = 1;
    m.SoftwareMajor = 1;
    m.SoftwareMinor = 0;
    m.ModeType = type;
    return m;
}

std::vector<VKVX_OPERATION_MODE> modes()
{
    switch (g_scenario) {
    case kFakeVx1Chain:
        return {mode(0, "Vx1 Capture", 1), mode(1, "Vx1 Generic", 1), mode(2, "Timing", 2)};
    case kFakeSingleMode:
        return {mode(0, "MLC Capture", 1)};
    case kFakeUnsupportedMode: {
        VKVX_OPERATION_MODE plugin = mode(3, "Audio Plugin", 5);
        plugin.Reserved[0] = 0xAB;
        plugin.Reserved[15] = 0x01;
        return {plugin, mode(4, "MLC Plugin", 3)};
    }
    case kFakeEmulatedModes:
        return {mode(0, "Video", 1), mode(1, "Audio", 5)};
    default:
        return {mode(0, "LVDS Capture", 1), mode(1, "MLC Capture", 3)};
    }
}

}  // namespace

// ---- control ----------------------------------------------------------

FAKE_EXPORT void FakeApi_Reset(int32_t scenario)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_scenario = scenario;
    g_counts.clear();
    g_results.clear();
    g_options.clear();
    g_lastOpenMode = -1;
}

FAKE_EXPORT int32_t FakeApi_Count(const char* entry)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_counts.find(entry);
    return it == g_counts.end() ? 0 : it->second;
}

FAKE_EXPORT int32_t FakeApi_LastOpenMode(void) { return g_lastOpenMode; }

FAKE_EXPORT int32_t FakeApi_Options(int32_t* pairs, int32_t capacity)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const int32_t n = static_cast<int32_t>(g_options.size());
    for (int32_t i = 0; i < n && i < capacity; ++i) {
        pairs[i] = g_options[static_cast<size_t>(i)];
    }
    return n;
}

FAKE_EXPORT void FakeApi_SetResult(const char* entry, int32_t result)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_results[entry] = result;
}

// ---- scripted entries --------------------------------------------------

FAKE_EXPORT int32_t VKVX_Initialize(void)
{
    count("VKVX_Initialize");
    return resultOf("VKVX_Initialize", 1);
}

FAKE_EXPORT int32_t VKVX_CleanUp(void)
{
    count("VKVX_CleanUp");
    return resultOf("VKVX_CleanUp", 0);
}

FAKE_EXPORT int32_t VKVX_EnumDevices(VKVX_DEVICE_INFO* out, int32_t capacity)
{
    count("VKVX_EnumDevices");
    if (g_scenario == kFakeEnumFails) {
        return VKVX_ERROR_ENUMERATION_ERROR;
    }
    const std::vector<VKVX_DEVICE_INFO> list = devices();
    for (int32_t i = 0; out && i < capacity && i < static_cast<int32_t>(list.size()); ++i) {
        out[i] = list[static_cast<size_t>(i)];
    }
    return static_cast<int32_t>(list.size());
}

FAKE_EXPORT int32_t VKVX_EnumOperationModes(const VKVX_DEVICE_INFO*, VKVX_OPERATION_MODE* out, int32_t capacity)
{
    count("VKVX_EnumOperationModes");
    if (g_scenario == kFakeModeEnumFails) {
        return VKVX_ERROR_NOT_SUPPORTED;
    }
    const std::vector<VKVX_OPERATION_MODE> list = modes();
    for (int32_t i = 0; out && i < capacity && i < static_cast<int32_t>(list.size()); ++i) {
        out[i] = list[static_cast<size_t>(i)];
    }
    return static_cast<int32_t>(list.size());
}

FAKE_EXPORT VKVX_HANDLE VKVX_OpenDevice(const VKVX_DEVICE_INFO*, int32_t modeId, int32_t* status)
{
    count("VKVX_OpenDevice");
    g_lastOpenMode = modeId;
    if (g_scenario == kFakeOpenFails) {
        if (status) {
            *status = VKVX_ERROR_DEVICE_IN_USE;
        }
        return nullptr;
    }
    if (status) {
        *status = 0;
    }
    return &g_handleTag;
}

FAKE_EXPORT int32_t VKVX_CloseDevice(VKVX_HANDLE)
{
    count("VKVX_CloseDevice");
    return 0;
}

FAKE_EXPORT int32_t VKVX_SetOption(VKVX_HANDLE, int32_t id, int32_t value)
{
    count("VKVX_SetOption");
    std::lock_guard<std::mutex> lock(g_mutex);
    g_options.push_back(id);
    g_options.push_back(value);
    return 0;
}

FAKE_EXPORT int32_t VKVX_SelectConnector(VKVX_HANDLE, int32_t)
{
    count("VKVX_SelectConnector");
    return 0;
}

FAKE_EXPORT int32_t VKVX_EnumConnectors(VKVX_HANDLE, uint32_t*, int32_t)
{
    count("VKVX_EnumConnectors");
    return 1;
}

FAKE_EXPORT int32_t VKVX_ReInitDevice(VKVX_HANDLE, int32_t, int32_t)
{
    count("VKVX_ReInitDevice");
    return resultOf("VKVX_ReInitDevice", 0);
}

FAKE_EXPORT int32_t VKVX_ReadRegister(VKVX_HANDLE, int32_t, uint32_t*, int32_t)
{
    count("VKVX_ReadRegister");
    return resultOf("VKVX_ReadRegister", 7);
}

FAKE_EXPORT int32_t VKVX_GetConnectorState(VKVX_HANDLE, int32_t, VKVX_CONNECTOR_STATE*)
{
    count("VKVX_GetConnectorState");
    return 3;
}

FAKE_EXPORT int32_t VKVX_DP_GetHPDStatus(VKVX_HANDLE, int32_t)
{
    count("VKVX_DP_GetHPDStatus");
    return 11;
}
