// Control of the scripted test library (FakeApi.cpp): the tests reach these
// functions with dlsym on the library the viewer loads.
#pragma once

#include <cstdint>

enum FakeScenario : int32_t {
    kFakeNoDevices = 0,
    kFakeDeadBesideGood = 1,   // revision 255 beside a good LVDS device
    kFakeVx1Chain = 2,         // V-by-One device with two slaves and three modes
    kFakeUsb3 = 3,             // a USB 3 device beside an LVDS device
    kFakeSingleMode = 4,       // an MLC device with one operation mode
    kFakeEnumFails = 5,        // VKVX_EnumDevices answers -18
    kFakeOpenFails = 6,        // an LVDS device with two modes; open answers -34
    kFakeUnsupportedMode = 7,  // a device whose modes have ids 3 and 4 (types 5 and 3)
    kFakeEmulatedModes = 8,    // an emulated device with modes 0 (video) and 1 (audio)
    kFakeModeEnumFails = 9,    // an LVDS device whose mode enumeration answers -6
};

extern "C" {
typedef void (*FakeApi_Reset_fn)(int32_t scenario);
typedef int32_t (*FakeApi_Count_fn)(const char* entry);
typedef int32_t (*FakeApi_LastOpenMode_fn)(void);
typedef int32_t (*FakeApi_Options_fn)(int32_t* pairs, int32_t capacity);
typedef void (*FakeApi_SetResult_fn)(const char* entry, int32_t result);
typedef void (*FakeApi_SetFrame_fn)(uint32_t width, uint32_t height, int32_t format, uint32_t flags);
typedef void (*FakeApi_ScriptGetFrame_fn)(const int32_t* results, int32_t n);
typedef int32_t (*FakeApi_ScriptLeft_fn)(void);
typedef int32_t (*FakeApi_LiveBuffers_fn)(void);
typedef int32_t (*FakeApi_SavedFile_fn)(int32_t index, char* name, int32_t size);
}
