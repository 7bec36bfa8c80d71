// Discovery, open, autoconfiguration, operation modes and image switches of
// the USB 3 instruments through the public interface, against the simulator.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sim_fixture.h"
#include "test_support.h"
#include "usb3/DeviceInterfaces.h"
#include "usb3/USB3_MM.h"

using usb3_test::Opened;
using usb3_test::Sim;
using vkvx::sim::Instrument;

namespace {

std::string one(const std::string& fields)
{
    return R"({"instruments":[{"serial":"1A2B3C4D5E6F7G8H",)" + fields + "}]}";
}

// A scenario chosen per test.
class Scenario : public Sim {
protected:
    std::string scenario() const override { return text; }
    void SetUp() override {}
    void start(const std::string& s)
    {
        text = s;
        Sim::SetUp();
    }
    void TearDown() override
    {
        if (sim) Sim::TearDown();
    }
    std::string text;
};

TEST(Serial, DescriptorPairsAreExchanged)
{
    struct {
        std::u16string descriptor;
        const char* serial;
    } cases[] = {
        {u"A1B2C3D4E5F6G7H8", "1A2B3C4D5E6F7G8H"},
        {u"a1b2c3d4e5f6", "1A2B3C4D5E6F"},     // the even-position letter is upper-cased
        {u"A1B2C3D4E5", "A1B2C3D4E5"},         // 10 characters: unchanged
        {u"A1B2C3D4E5F6X", "1A2B3C4D5E6FX"},   // an odd last character stays
        {u"A1B2C3D4E5F6G7H8J9", "1A2B3C4D5E6F7G8H"},  // at most 16 characters
    };
    for (const auto& c : cases) {
        char serial[17];
        vkvx::usb3::serialFromDescriptor(c.descriptor, serial);
        EXPECT_STREQ(serial, c.serial);
    }
    char serial[17];
    EXPECT_TRUE(vkvx::usb3::serialFromPath("x\\usb#vid_16d0&pid_0300#ab12#{g}", serial));
    EXPECT_STREQ(serial, "AB12");
    EXPECT_FALSE(vkvx::usb3::serialFromPath("x\\usb#vid_16d0&pid_0301#ab12#{g}", serial));
}

TEST_F(Scenario, EnumerationMarksModelsAndTypes)
{
    start(R"({"instruments":[{"model":"KVX-P30","serial":"AAAABBBBCCCC"},
                               {"model":"KVX-Q10","serial":"DDDDEEEEFFFF"},
                               {"model":"KVX-P13","serial":"GONEGONEGONE","unplugged":true}]})");
    VKVX_DEVICE_INFO list[4] = {};
    ASSERT_EQ(VKVX_EnumDevices(list, 4), 3);  // two instruments and the emulated one
    EXPECT_EQ(vkvx_test::value(list[0].DeviceType), uint32_t(USB3_MM_DEVICE_ID));
    EXPECT_STREQ(list[0].Description, "KVX-P30");
    EXPECT_EQ(list[0].Revision, 3);
    EXPECT_STREQ(list[1].SerialNumber, "DDDDEEEEFFFF");
    EXPECT_EQ(list[1].Revision, 4);
    // Capacity 1: the USB 3 instrument comes first (type order).
    VKVX_DEVICE_INFO first{};
    EXPECT_EQ(VKVX_EnumDevices(&first, 1), 3);
    EXPECT_STREQ(first.Description, "KVX-P30");
}

TEST_F(Scenario, OpenConfiguresConnectorsAndSecondOpenIsInUse)
{
    start(one(R"("model":"KVX-P13","front_ends":[{"type":1}])"));
    int32_t status = 0;
    VKVX_HANDLE h = open("1A2B3C4D5E6F7G8H", 0, &status);
    ASSERT_NE(h, nullptr) << status;
    uint32_t types[5] = {};
    EXPECT_EQ(VKVX_EnumConnectors(h, types, 2), 5);
    EXPECT_EQ(types[0], 0x2u);
    EXPECT_EQ(types[1], 0x1u);
    EXPECT_EQ(types[2], 0u);  // beyond the maximum: untouched
    EXPECT_EQ(VKVX_EnumConnectors(h, types, 5), 5);
    EXPECT_EQ(types[4], 0x400u);
    EXPECT_EQ(VKVX_SelectConnector(h, 5), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_SelectConnector(h, -1), VKVX_ERROR_INVALID_PARAMETER);
    uint32_t caps[2] = {};
    EXPECT_EQ(VKVX_GetDeviceCaps(h, caps, 2), 2);
    EXPECT_EQ(caps[1], 2u);

    // Listed as in use while open; a second open is refused.
    VKVX_DEVICE_INFO list[2] = {};
    ASSERT_EQ(VKVX_EnumDevices(list, 2), 2);
    EXPECT_STREQ(list[0].Description, "< in use >");
    VKVX_DEVICE_INFO again = list[0];
    EXPECT_EQ(VKVX_OpenDevice(&again, 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_DEVICE_IN_USE);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
    ASSERT_EQ(VKVX_EnumDevices(list, 2), 2);
    EXPECT_STREQ(list[0].Description, "KVX-P13");
}

TEST_F(Scenario, FrontEndTypesByModel)
{
    struct {
        const char* model;
        uint32_t feType;
        std::vector<uint32_t> types;
    } cases[] = {
        {"KVX-P30", 2, {0x40000, 0x1, 0x10000}},  // corrected to type 5
        {"KVX-R20", 5, {0x40000, 0x1, 0x10000}},
        {"KVX-P17", 2, {0x2, 0x1, 0x20, 0x100, 0x400}},
        {"KVX-Q10", 0, {0x2, 0x1, 0x20000, 0x10000, 0x400}},  // front end not read
    };
    for (const auto& c : cases) {
        start(one(std::string(R"("model":")") + c.model + R"(","front_ends":[{"type":)" +
                  std::to_string(c.feType) + "}]"));
        int32_t status = 0;
        VKVX_HANDLE h = open("1A2B3C4D5E6F7G8H", 0, &status);
        ASSERT_NE(h, nullptr) << c.model << " " << status;
        std::vector<uint32_t> types(8, 0);
        int32_t n = VKVX_EnumConnectors(h, types.data(), 8);
        types.resize(size_t(n > 0 ? n : 0));
        EXPECT_EQ(types, c.types) << c.model;
        EXPECT_EQ(VKVX_CloseDevice(h), 0);
        Sim::TearDown();
        sim.reset();
    }
}

TEST_F(Scenario, OperationModesOfEachModel)
{
    struct {
        const char* model;
        int32_t count;
        uint32_t firstId;
        const char* firstName;
        uint16_t firstType;
    } cases[] = {
        {"KVX-P17", 5, 0, "HDMI, DisplayPort (SST) Reference Sink", 6},
        {"KVX-P11", 5, 0, "HDMI, DisplayPort (SST), SPDIF Reference Sink", 6},
        {"KVX-P13", 5, 0, "HDMI, DisplayPort (SST) Reference Sink", 6},
        {"KVX-P30", 5, 0, "HDMI, DisplayPort (SST) Reference Sink", 6},
        {"KVX-Q10", 1, 8, "DisplayPort Source and Sink", 8},
        {"KVX-R20", 5, 0, "HDMI, DisplayPort (SST) Reference Sink", 6},
    };
    for (const auto& c : cases) {
        start(one(std::string(R"("model":")") + c.model + R"(","images":[2,3,8,4,5])"));
        VKVX_DEVICE_INFO info = find("1A2B3C4D5E6F7G8H");
        VKVX_OPERATION_MODE modes[8] = {};
        ASSERT_EQ(VKVX_EnumOperationModes(&info, modes, 8), c.count) << c.model;
        EXPECT_EQ(vkvx_test::value(modes[0].ModeId), c.firstId) << c.model;
        EXPECT_STREQ(modes[0].Name, c.firstName) << c.model;
        EXPECT_EQ(vkvx_test::value(modes[0].ModeType), c.firstType) << c.model;
        if (c.count == 5) {
            EXPECT_EQ(vkvx_test::value(modes[2].ModeId), 2u);  // code 8
            EXPECT_STREQ(modes[2].Name, "HDMI Reference Source (HDCP 2.2)");
            EXPECT_EQ(vkvx_test::value(modes[1].FirmwareMajor), 1);
            EXPECT_EQ(vkvx_test::value(modes[1].FirmwareMinor), 2);  // entry 1
            EXPECT_EQ(vkvx_test::value(modes[1].SoftwareMajor), 2);
            EXPECT_EQ(vkvx_test::value(modes[1].SoftwareMinor), 4);
        }
        Sim::TearDown();
        sim.reset();
    }
}

TEST_F(Scenario, Q10WithoutAnswerGetsNoRecovery)
{
    start(one(R"("model":"KVX-Q10","needs":"fpga_reset")"));
    int32_t status = 0;
    EXPECT_EQ(open("1A2B3C4D5E6F7G8H", 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_OPEN_FAILED);
    EXPECT_EQ(state().fpgaResets, 0);
    EXPECT_TRUE(state().imageWrites.empty());
}

TEST_F(Scenario, RecoveryByFpgaResetOrImageLoad)
{
    start(one(R"("model":"KVX-P13","needs":"fpga_reset")"));
    int32_t status = 0;
    VKVX_HANDLE h = open("1A2B3C4D5E6F7G8H", 0, &status);
    ASSERT_NE(h, nullptr) << status;
    EXPECT_EQ(state().fpgaResets, 1);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
    Sim::TearDown();

    start(one(R"("model":"KVX-P13","needs":"image1")"));
    h = open("1A2B3C4D5E6F7G8H", 0, &status);
    ASSERT_NE(h, nullptr) << status;
    ASSERT_FALSE(state().imageWrites.empty());
    EXPECT_EQ(state().imageWrites[0], 1u);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
}

TEST_F(Scenario, SilentControllerIsRecoveredByPortReset)
{
    // Neither channel answers until the port is reset: the controller's
    // version check fails, the port is reset, and the image load of the next
    // attempt finds the instrument answering.
    start(one(R"("model":"KVX-P13","needs":"port_reset")"));
    int32_t status = 0;
    VKVX_HANDLE h = open("1A2B3C4D5E6F7G8H", 0, &status);
    ASSERT_NE(h, nullptr) << status;
    EXPECT_GE(state().portResets, 1);
    EXPECT_EQ(state().fpgaResets, 0);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
}

TEST_F(Scenario, EndpointsAfterPortResetsAndTheBoundOnRetries)
{
    start(one(R"("model":"KVX-P13","endpoints_after_resets":1)"));
    int32_t status = 0;
    VKVX_HANDLE h = open("1A2B3C4D5E6F7G8H", 0, &status);
    ASSERT_NE(h, nullptr) << status;
    EXPECT_GE(state().portResets, 1);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
    Sim::TearDown();

    start(one(R"("model":"KVX-P13","endpoints":[1,129,3,131,132])"));  // no audio endpoint ever
    EXPECT_EQ(open("1A2B3C4D5E6F7G8H", 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_OPEN_FAILED);
    int resets = state().portResets;
    EXPECT_GE(resets, 1);
    EXPECT_LE(resets, 2 * 3);  // bounded: both port requests per retry
}

TEST_F(Scenario, NoDirectoryKeepsTheImageControlEntryThenFailsWithoutFrontEnds)
{
    start(one(R"("model":"KVX-P13","directory":false,"images":[2,3])"));
    int32_t status = 0;
    EXPECT_EQ(open("1A2B3C4D5E6F7G8H", 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_HARDWARE_FAILURE);
    // The forced switch after the second failure went to the default image
    // control module at 0x24 (its image register 0x26).
    EXPECT_FALSE(state().imageWrites.empty());
}

TEST_F(Scenario, FrontEndThatAppearsLate)
{
    start(one(R"("model":"KVX-P13","front_ends":[{"type":1,"late_reads":1}])"));
    int32_t status = 0;
    VKVX_HANDLE h = open("1A2B3C4D5E6F7G8H", 0, &status);
    ASSERT_NE(h, nullptr) << status;
    EXPECT_EQ(VKVX_EnumConnectors(h, nullptr, 0), 5);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
}

TEST_F(Scenario, OldSoftProcessorFirmwareNeedsAnUpdateWhenChecked)
{
    start(one(R"("model":"KVX-P13","nios_version":2820)"));
    ASSERT_EQ(VKVX_SetOption(nullptr, VKVX_OPTION_CHECK_FIRMWARE_VERSION, 1), 0);
    int32_t status = 0;
    EXPECT_EQ(open("1A2B3C4D5E6F7G8H", 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_FIRMWARE_UPDATE_REQUIRED);
    ASSERT_EQ(VKVX_SetOption(nullptr, VKVX_OPTION_CHECK_FIRMWARE_VERSION, 0), 0);
    VKVX_HANDLE h = open("1A2B3C4D5E6F7G8H", 0, &status);
    ASSERT_NE(h, nullptr) << status;
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
}

class Images : public Opened {
    std::string scenario() const override
    {
        return one(R"("model":"KVX-P13","images":[2,3,8,4,5],"package_version":197121)");
    }
};

TEST_F(Images, ReInitSwitchesToTheIndexOfTheModeAndVersionsFollowTheHeader)
{
    uint32_t version = 0;
    EXPECT_EQ(VKVX_GetCombinedVersion(h, &version), 0);
    EXPECT_EQ(version, 0x030201u);
    // Mode 2 is image code 8, listed third.
    EXPECT_EQ(VKVX_ReInitDevice(h, 2, 0), 0);
    EXPECT_EQ(state().currentImage, 2u);
    ASSERT_EQ(state().imageWrites.size(), 1u);
    EXPECT_EQ(state().imageWrites[0], 2u);
    // Current already: nothing written without force.
    EXPECT_EQ(VKVX_ReInitDevice(h, 2, 0), 0);
    EXPECT_EQ(state().imageWrites.size(), 1u);
    // A mode whose image is absent is refused.
    EXPECT_EQ(VKVX_ReInitDevice(h, 7, 0), VKVX_ERROR_FIRMWARE_UPLOAD);
    EXPECT_EQ(VKVX_EnumConnectors(h, nullptr, 0), 5);
}

TEST_F(Images, VersionsOfEachImageFromTheHeader)
{
    // The handle is the device object (this test links the library's objects).
    auto* device = dynamic_cast<USB3_MM*>(static_cast<VKVX_Device*>(h));
    ASSERT_NE(device, nullptr);
    uint16_t major = 0, minor = 0, build = 0, code = 0;
    ASSERT_TRUE(device->GetFirmwareVersion(&major, &minor, &build, -1, nullptr));
    EXPECT_EQ(major, 3);
    struct {
        int32_t selector;
        uint16_t major, minor, build, code;
    } cases[] = {
        {0, 1, 1, 3, 2},        // FPGA version of image 0 (code 2)
        {2, 1, 3, 3, 8},        // image 2: code 8
        {0x10000, 2, 4, 5, 2},  // soft-processor version of image 0
        {0x10004, 2, 4, 5, 5},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(device->GetFirmwareVersion(&major, &minor, &build, c.selector, &code)) << c.selector;
        EXPECT_EQ(major, c.major) << c.selector;
        EXPECT_EQ(minor, c.minor) << c.selector;
        EXPECT_EQ(build, c.build) << c.selector;
        EXPECT_EQ(code, c.code) << c.selector;
    }
    EXPECT_FALSE(device->GetFirmwareVersion(&major, &minor, &build, 5, &code));  // five images only
}

class NoHeader : public Opened {
    std::string scenario() const override
    {
        return one(R"("model":"KVX-P13","images":[],"fpga_version":263429)");
    }
};

TEST_F(NoHeader, PackageVersionComesFromTheFpgaVersionRegister)
{
    uint32_t version = 0;
    EXPECT_EQ(VKVX_GetCombinedVersion(h, &version), 0);
    EXPECT_EQ(version, 0x040505u);
}

class Reordered : public Opened {
    std::string scenario() const override { return one(R"("model":"KVX-P13","images":[2,8,3])"); }
};

TEST_F(Reordered, ModeTwoIsTheSecondEntry)
{
    EXPECT_EQ(VKVX_ReInitDevice(h, 2, 0), 0);
    ASSERT_EQ(state().imageWrites.size(), 1u);
    EXPECT_EQ(state().imageWrites[0], 1u);
}

}  // namespace
