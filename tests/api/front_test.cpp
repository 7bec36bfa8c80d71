// The API front: initialisation and clean-up, the wrapper pattern's checks,
// handles, the USB 3 family on another class, version and option 36.
#include <functional>
#include <string>

#include "platform/VersionNote.h"
#include "test_support.h"

#include <dlfcn.h>

using namespace vkvx_test;

namespace {

// Every export that must answer -5 before initialisation, called with
// arguments that would otherwise be acceptable.
std::vector<std::pair<const char*, std::function<int32_t()>>> uninitialisedCalls()
{
    static VKVX_FRAME frame{};
    static uint32_t words[8];
    static uint8_t bytes[64];
    static VKVX_DEVICE_INFO info{};
    VKVX_HANDLE h = reinterpret_cast<VKVX_HANDLE>(0x1234);
    return {
        {"EnumDevices", [] { return VKVX_EnumDevices(nullptr, 0); }},
        {"EnumOperationModes", [] { return VKVX_EnumOperationModes(&info, nullptr, 0); }},
        {"OpenDevice",
         [] {
             int32_t s = 0;
             return VKVX_OpenDevice(&info, 0, &s) ? 0 : s;
         }},
        {"CloseDevice", [h] { return VKVX_CloseDevice(h); }},
        {"DeviceInfo", [h] { return VKVX_DeviceInfo(h, &info); }},
        {"GetDeviceCaps", [h] { return VKVX_GetDeviceCaps(h, words, 8); }},
        {"EnumConnectors", [h] { return VKVX_EnumConnectors(h, words, 8); }},
        {"SelectConnector", [h] { return VKVX_SelectConnector(h, 0); }},
        {"SetOption", [h] { return VKVX_SetOption(h, VKVX_OPTION_CHECK_FIRMWARE_VERSION, 0); }},
        {"AllocateFrameBuffers", [h] { return VKVX_AllocateFrameBuffers(h, &frame, 1); }},
        {"AllocateAudioBuffers", [h] { return VKVX_AllocateAudioBuffers(h, &frame, 1); }},
        {"FreeFrameBuffers", [h] { return VKVX_FreeFrameBuffers(h, &frame, 1); }},
        {"StartCapture", [h] { return VKVX_StartCapture(h); }},
        {"StopCapture", [h] { return VKVX_StopCapture(h); }},
        {"GetFrame", [h] { return VKVX_GetFrame(h, &frame); }},
        {"GetVideoTimingData", [h] { return VKVX_GetVideoTimingData(h, 0, nullptr, 0); }},
        {"ReadRegister", [h] { return VKVX_ReadRegister(h, 0, words, 1); }},
        {"GetCombinedVersion", [h] { return VKVX_GetCombinedVersion(h, words); }},
        {"IF_Available", [h] { return VKVX_IF_Available(h, 0, bytes, 32); }},
        {"DP_GetHPDStatus", [h] { return VKVX_DP_GetHPDStatus(h, 0); }},
        {"Mem_Total", [h] { return VKVX_Mem_Total(h); }},
        {"FrameCompare", [] { return VKVX_FrameCompare(&frame, &frame, &frame, 1); }},
        {"CreateDataMapping", [] { return VKVX_CreateDataMapping(nullptr, nullptr); }},
        {"VP_CreateVideoView",
         [] {
             int32_t s = 0;
             VP_VIEW_PARAMETERS p{16, 16};
             return VP_CreateVideoView(0, &p, &s) ? 0 : s;
         }},
        {"VP_DestroyVideoView", [h] { return VP_DestroyVideoView(h); }},
    };
}

}  // namespace

TEST(ApiFront, EveryExportAnswersNotInitialisedBeforeInitialize)
{
    for (auto& [name, call] : uninitialisedCalls()) {
        EXPECT_EQ(call(), VKVX_ERROR_NOT_INITIALIZED) << name;
    }
    // These four need no initialisation.
    EXPECT_EQ(VKVX_GetConnectorTime(nullptr, nullptr), VKVX_ERROR_NOT_SUPPORTED);
    EXPECT_NE(VKVX_FrameToRGB(nullptr, nullptr), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_NE(VKVX_SaveFrameToFile(nullptr, nullptr, 3), VKVX_ERROR_NOT_INITIALIZED);
}

TEST(ApiFront, ReferenceCountedInitialisation)
{
    EXPECT_EQ(VKVX_Initialize(), 1);
    EXPECT_EQ(VKVX_Initialize(), 2);
    VKVX_DEVICE_INFO info = emulatedInfo();
    int32_t status = 0;
    VKVX_HANDLE h = VKVX_OpenDevice(&info, 0, &status);
    ASSERT_NE(h, nullptr);
    // The first clean-up leaves the device open ...
    EXPECT_EQ(VKVX_CleanUp(), 1);
    VKVX_FRAME_INFO fi{};
    EXPECT_EQ(VKVX_GetFrameInfo(h, &fi), 0);
    // ... the second closes it and releases its in-use lock.
    EXPECT_EQ(VKVX_CleanUp(), 0);
    EXPECT_EQ(VKVX_GetFrameInfo(h, &fi), VKVX_ERROR_NOT_INITIALIZED);
    ASSERT_EQ(VKVX_Initialize(), 1);
    h = VKVX_OpenDevice(&info, 0, &status);
    EXPECT_NE(h, nullptr) << status;
    EXPECT_EQ(VKVX_CleanUp(), 0);
}

TEST(ApiFront, UnmatchedCleanUpCountsBelowZero)
{
    EXPECT_EQ(VKVX_CleanUp(), -1);
    // The next initialisation reaches 0, not 1, and gives up after its polls.
    EXPECT_EQ(VKVX_Initialize(), VKVX_ERROR_INITIALIZATION);
    // The one after that initialises normally.
    EXPECT_EQ(VKVX_Initialize(), 1);
    EXPECT_EQ(VKVX_CleanUp(), 0);
}

TEST(ApiFront, VersionNoteOfTheLibraryFile)
{
    Dl_info dl{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&VKVX_Initialize), &dl), 0);
    vkvx::VersionNumbers v;
    ASSERT_TRUE(vkvx::readVersionNote(dl.dli_fname, v)) << dl.dli_fname;
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 6);
    EXPECT_GE(v.build, 1);
}

TEST(ApiFront, VersionNoteParserRefusesDamagedFiles)
{
    vkvx::VersionNumbers v;
    const uint8_t junk[] = {0x7f, 'E', 'L', 'F', 2, 1, 1, 0};
    EXPECT_FALSE(vkvx::parseVersionNote(junk, sizeof junk, v));
    EXPECT_FALSE(vkvx::readVersionNote("/nonexistent/libVKVX.so.1", v));
    // A real library cut after its header: its tables point past the end.
    Dl_info dl{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&VKVX_Initialize), &dl), 0);
    FILE* f = fopen(dl.dli_fname, "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> bytes(80);
    bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
    fclose(f);
    EXPECT_FALSE(vkvx::parseVersionNote(bytes.data(), bytes.size(), v));
}

class ApiHandles : public Emulated {};

TEST_F(ApiHandles, ClosedOrForeignHandlesAreRefusedWithoutBlocking)
{
    VKVX_FRAME_INFO fi{};
    int local = 0;
    for (VKVX_HANDLE bad : {static_cast<VKVX_HANDLE>(nullptr), static_cast<VKVX_HANDLE>(&local),
                            reinterpret_cast<VKVX_HANDLE>(0xdeadbeef)}) {
        EXPECT_EQ(VKVX_GetFrameInfo(bad, &fi), VKVX_ERROR_INVALID_HANDLE);
        EXPECT_EQ(VKVX_StartCapture(bad), VKVX_ERROR_INVALID_HANDLE);
        EXPECT_EQ(VKVX_GetFrame(bad, nullptr), VKVX_ERROR_INVALID_HANDLE);
    }
    ASSERT_EQ(VKVX_CloseDevice(h), 0);
    EXPECT_EQ(VKVX_CloseDevice(h), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VKVX_GetFrameInfo(h, &fi), VKVX_ERROR_INVALID_HANDLE);
    // The lock was released on each failure path: the next call goes through.
    EXPECT_GE(VKVX_EnumDevices(nullptr, 0), 1);
}

TEST_F(ApiHandles, Usb3FamilyOnAnotherClass)
{
    uint32_t words[4];
    uint8_t bitmap[32];
    VKVX_LINK_STATUS ls{};
    char text[64];
    // The class-verifying down-cast refuses the emulated device ...
    EXPECT_EQ(VKVX_DP_GetHPDStatus(h, 0), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VKVX_DP_GetMainLinkStatus(h, 0, &ls), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VKVX_ReInitDevice(h, 1, 1), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VKVX_DTest_Run(h, 0, nullptr, 0), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VKVX_IF_Available(h, 0, bitmap, sizeof bitmap), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VKVX_Mem_Total(h), VKVX_ERROR_INVALID_HANDLE);
    // ... except four exports that answer "not supported".
    EXPECT_EQ(VKVX_GetCombinedVersion(h, words), VKVX_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(VKVX_GetDiagnosticInfo(h, text, sizeof text), VKVX_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(VKVX_USB_COM_Check(h), VKVX_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(VKVX_SetTerminalSink(h, nullptr), VKVX_ERROR_NOT_SUPPORTED);
    // Own argument checks come before the handle.
    EXPECT_EQ(VKVX_GetCombinedVersion(h, nullptr), VKVX_ERROR_INVALID_PARAMETER);
    uint8_t small[3] = {7, 7, 7};
    EXPECT_EQ(VKVX_IF_Available(reinterpret_cast<VKVX_HANDLE>(0x1), 0, small, 3), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(small[0] + small[1] + small[2], 21);
    EXPECT_EQ(VKVX_GetConnectorTime(h, nullptr), VKVX_ERROR_NOT_SUPPORTED);
}

TEST_F(ApiHandles, FirmwareCheckOptionNeedsNoHandle)
{
    EXPECT_EQ(VKVX_SetOption(reinterpret_cast<VKVX_HANDLE>(0x77), VKVX_OPTION_CHECK_FIRMWARE_VERSION, 0), 0);
    EXPECT_EQ(VKVX_SetOption(nullptr, VKVX_OPTION_CHECK_FIRMWARE_VERSION, 1), 0);
    EXPECT_EQ(VKVX_SetOption(nullptr, VKVX_OPTION_COLOUR_MODE, 1), VKVX_ERROR_INVALID_HANDLE);
}

TEST_F(ApiHandles, RegisterAccessWithoutDataChannel)
{
    uint32_t v[2] = {0, 0};
    EXPECT_EQ(VKVX_WriteRegister(h, 0x12345, v, 2), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_ReadRegister(h, 5, v, 1), 4);
    EXPECT_EQ(VKVX_WriteRegister(h, 5, v, 1), 4);
    EXPECT_EQ(VKVX_ReadRegister(h, 5, nullptr, 1), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_GetConnectorAddress(h, 0), VKVX_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(VKVX_GetCVIAddress(h, 0), VKVX_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(VKVX_ReadBulk(h, 0, nullptr, 0), VKVX_ERROR_NOT_SUPPORTED);
}
