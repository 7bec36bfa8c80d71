// A scripted stand-in for libVKVX.so.1: the device list, the operation modes
// and the results of the entries the viewer's workflow calls, chosen by a
// scenario; every call is counted.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <thread>
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
// Frames: geometry of the allocated buffers, and the scripted results of
// VKVX_GetFrame (taken one per call; 0 once the script is used up).
uint32_t g_frameWidth = 64;
uint32_t g_frameHeight = 48;
int32_t g_frameFormat = 1;
uint32_t g_frameFlags = 0;
std::deque<int32_t> g_getFrameScript;
std::vector<std::string> g_savedFiles;
int32_t g_liveBuffers = 0;

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
    g_frameWidth = 64;
    g_frameHeight = 48;
    g_frameFormat = 1;
    g_frameFlags = 0;
    g_getFrameScript.clear();
    g_savedFiles.clear();
}

// Names handed to VKVX_SaveFrameToFile, with the format id appended after '|'.
FAKE_EXPORT int32_t FakeApi_SavedFile(int32_t index, char* name, int32_t size)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (index < 0 || static_cast<size_t>(index) >= g_savedFiles.size()) {
        return -1;
    }
    std::strncpy(name, g_savedFiles[static_cast<size_t>(index)].c_str(), static_cast<size_t>(size) - 1);
    name[size - 1] = 0;
    return static_cast<int32_t>(g_savedFiles.size());
}

FAKE_EXPORT int32_t VKVX_SaveFrameToFile(const char* fileName, const VKVX_FRAME*, int32_t format)
{
    count("VKVX_SaveFrameToFile");
    std::lock_guard<std::mutex> lock(g_mutex);
    g_savedFiles.push_back(std::string(fileName) + "|" + std::to_string(format));
    return 0;
}

FAKE_EXPORT void FakeApi_SetFrame(uint32_t width, uint32_t height, int32_t format, uint32_t flags)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_frameWidth = width;
    g_frameHeight = height;
    g_frameFormat = format;
    g_frameFlags = flags;
}

FAKE_EXPORT void FakeApi_ScriptGetFrame(const int32_t* results, int32_t n)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    for (int32_t i = 0; i < n; ++i) {
        g_getFrameScript.push_back(results[i]);
    }
}

FAKE_EXPORT int32_t FakeApi_ScriptLeft(void)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<int32_t>(g_getFrameScript.size());
}

FAKE_EXPORT int32_t FakeApi_LiveBuffers(void)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_liveBuffers;
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
    const int32_t r = resultOf("VKVX_SetOption", 0);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_options.push_back(id);
    g_options.push_back(value);
    return r;
}

FAKE_EXPORT int32_t VKVX_StartCapture(VKVX_HANDLE)
{
    count("VKVX_StartCapture");
    return resultOf("VKVX_StartCapture", 0);
}

FAKE_EXPORT int32_t VKVX_StopCapture(VKVX_HANDLE)
{
    count("VKVX_StopCapture");
    return 0;
}

FAKE_EXPORT int32_t VKVX_AllocateFrameBuffers(VKVX_HANDLE, VKVX_FRAME* frames, int32_t n)
{
    count("VKVX_AllocateFrameBuffers");
    const int32_t r = resultOf("VKVX_AllocateFrameBuffers", 0);
    if (r < 0) {
        return r;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    const uint8_t bpe = (g_frameFormat == 0 || g_frameFormat == 1) ? 4 : 8;
    for (int32_t i = 0; i < n; ++i) {
        frames[i].Width = g_frameWidth;
        frames[i].Height = g_frameHeight;
        frames[i].Format = g_frameFormat;
        frames[i].BytesPerElement = bpe;
        frames[i].Buffer = std::calloc(static_cast<size_t>(g_frameWidth) * g_frameHeight, bpe);
        ++g_liveBuffers;
    }
    return 0;
}

FAKE_EXPORT int32_t VKVX_FreeFrameBuffers(VKVX_HANDLE, VKVX_FRAME* frames, int32_t n)
{
    count("VKVX_FreeFrameBuffers");
    std::lock_guard<std::mutex> lock(g_mutex);
    for (int32_t i = 0; i < n; ++i) {
        if (frames[i].Buffer) {
            std::free(frames[i].Buffer);
            frames[i].Buffer = nullptr;
            --g_liveBuffers;
        }
    }
    return 0;
}

// A frame: a vertical red gradient (16-bit components for 8-byte pixels).
FAKE_EXPORT int32_t VKVX_GetFrame(VKVX_HANDLE, VKVX_FRAME* frame)
{
    count("VKVX_GetFrame");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int32_t r = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_getFrameScript.empty()) {
            r = g_getFrameScript.front();
            g_getFrameScript.pop_front();
        }
        frame->Flags = g_frameFlags;
    }
    if (r < 0 || !frame->Buffer) {
        return r;
    }
    auto* p = static_cast<uint8_t*>(frame->Buffer);
    const size_t bpe = frame->BytesPerElement;
    for (uint32_t y = 0; y < frame->Height; ++y) {
        for (uint32_t x = 0; x < frame->Width; ++x) {
            uint8_t* px = p + (static_cast<size_t>(y) * frame->Width + x) * bpe;
            std::memset(px, 0, bpe);
            const uint32_t g = 255 * y / frame->Height;
            if (bpe == 4) {
                px[2] = static_cast<uint8_t>(g);
            } else {
                px[5] = static_cast<uint8_t>(g);  // high byte of component 2
            }
        }
    }
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
