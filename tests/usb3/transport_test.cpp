// The FX3 driver layer over the simulated driver, and its pure parsers.
#include <chrono>
#include <cstring>
#include <thread>

#include "sim_fixture.h"
#include "transport/UsbDescriptors.h"
#include "transport/UsbDevice.h"

using namespace vkvx::usb;
using usb3_test::Sim;

namespace {

class NoDevice : public Sim {
    std::string scenario() const override { return R"({"instruments":[]})"; }
};

TEST_F(NoDevice, CountIsZeroAndNothingOpens)
{
    UsbDriverDevice dev(sim->backend());
    EXPECT_EQ(dev.CountDevices(), 0);
    EXPECT_FALSE(dev.OpenIndex(0));
    EXPECT_FALSE(dev.IsOpen());
    // Only the emulated instrument is listed.
    EXPECT_EQ(VKVX_EnumDevices(nullptr, 0), 1);
}

class Driver : public Sim {
protected:
    std::string scenario() const override
    {
        return R"({"instruments":[{"model":"KVX-P17","serial":"1A2B3C4D5E6F7G8H",
                   "packet_sizes":{"133":[1000,0]}}]})";
    }
    void SetUp() override
    {
        Sim::SetUp();
        dev = std::make_unique<UsbDriverDevice>(sim->backend());
        ASSERT_EQ(dev->CountDevices(), 1);
        ASSERT_TRUE(dev->OpenIndex(0));
    }
    void TearDown() override
    {
        dev.reset();
        Sim::TearDown();
    }
    std::unique_ptr<UsbDriverDevice> dev;
};

TEST_F(Driver, OpenIndexBeyondTheCountFails)
{
    UsbDriverDevice other(sim->backend());
    EXPECT_FALSE(other.OpenIndex(other.CountDevices()));
    EXPECT_FALSE(other.IsOpen());
}

TEST_F(Driver, OpenReadsDescriptorsStringsAndEndpoints)
{
    EXPECT_EQ(dev->bcdUSB(), 0x0300);
    EXPECT_EQ(dev->ep0MaxPacketSize(), 512);
    EXPECT_EQ(dev->languageId(), 0x0409);
    EXPECT_EQ(dev->serial_number(), u"A1B2C3D4E5F6G7H8");
    EXPECT_EQ(dev->product(), u"KVX-P17");
    EXPECT_STREQ(dev->device_name(), "KVX-P17");
    EXPECT_TRUE(dev->super_speed);
    EXPECT_FALSE(dev->high_speed);
    EXPECT_TRUE(dev->bos().hasSuperSpeed);
    EXPECT_TRUE(dev->bos().hasContainerId);
    ASSERT_NE(dev->FindEndpoint(0), nullptr);
    EXPECT_EQ(dev->FindEndpoint(0), dev->controlEndPoint());
    EXPECT_EQ(dev->FindEndpoint(0x02), nullptr);
    UsbEndPoint* video = dev->FindEndpoint(0x84);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->max_packet_size, 16384);  // 1024 x burst of 16
    EXPECT_EQ(video->timeout_ms, 10000);
    EXPECT_EQ(dev->bulkOut, dev->FindEndpoint(0x01));
    EXPECT_EQ(dev->bulkIn, dev->FindEndpoint(0x81));
}

TEST_F(Driver, ZeroByteTransferSucceedsWithLengthZero)
{
    uint8_t none[1] = {0};
    uint32_t length = 0;
    EXPECT_TRUE(dev->FindEndpoint(0x01)->Transfer(none, &length));
    EXPECT_EQ(length, 0u);
}

TEST_F(Driver, PendingTransferIsAbortedAfterTheTimeout)
{
    UsbEndPoint* in = dev->FindEndpoint(0x81);
    in->timeout_ms = 100;
    uint8_t buffer[64];
    uint32_t length = sizeof buffer;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(in->Transfer(buffer, &length));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 100 + 50 + 350);  // the abort is honoured (slack for loaded sanitizer runs)
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(in->usbd_status, kUsbdCanceled);
}

TEST_F(Driver, LateAnswerCompletesAPendingTransfer)
{
    UsbEndPoint* in = dev->FindEndpoint(0x81);
    in->timeout_ms = 1000;
    std::thread feeder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sim->inject("", 0x81, {1, 2, 3, 4, 5});
    });
    uint8_t buffer[64];
    uint32_t length = sizeof buffer;
    EXPECT_TRUE(in->Transfer(buffer, &length));
    feeder.join();
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(buffer[4], 5);
}

TEST_F(Driver, BufferedModeCopiesTheAnswerBehindTheHeader)
{
    UsbEndPoint* in = dev->FindEndpoint(0x81);
    in->direct_mode = 0;
    in->timeout_ms = 200;
    sim->inject("", 0x81, {9, 8, 7});
    uint8_t buffer[2] = {};
    uint32_t length = sizeof buffer;
    // An answer longer than the caller's buffer is never copied past it.
    EXPECT_FALSE(in->Transfer(buffer, &length));
    EXPECT_LE(length, 2u);
    sim->inject("", 0x81, {9, 8});
    length = sizeof buffer;
    EXPECT_TRUE(in->Transfer(buffer, &length));
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(buffer[1], 8);
}

TEST_F(Driver, SetTransferSizeRoundsUpToPackets)
{
    struct {
        uint8_t address;
        uint32_t bytes;
        uint32_t sent;
    } cases[] = {{0x84, 65536, 65536}, {0x85, 65536, 66000}, {0x85, 1, 1000}};
    for (const auto& c : cases) {
        UsbEndPoint* ep = dev->FindEndpoint(c.address);
        ASSERT_NE(ep, nullptr);
        ep->SetTransferSize(c.bytes);
        EXPECT_EQ(sim->snapshot("").transferSizes[c.address], c.sent) << int(c.address) << " " << c.bytes;
    }
}

TEST_F(Driver, UnpluggedDeviceFailsTransfers)
{
    sim->edit("", [](vkvx::sim::Instrument& i) { i.unplugged = true; });
    uint8_t b[4] = {};
    uint32_t length = 4;
    EXPECT_FALSE(dev->FindEndpoint(0x01)->Transfer(b, &length));
    UsbDriverDevice other(sim->backend());
    EXPECT_EQ(other.CountDevices(), 0);
}

class Broken : public Sim {
    std::string scenario() const override
    {
        return R"({"instruments":[{"serial":"AAAABBBBCCCC","broken_descriptor":"bos"},
                                  {"serial":"DDDDEEEEFFFF","broken_descriptor":"config"}]})";
    }
};

TEST_F(Broken, UnparsableDescriptorSetsCloseTheDevice)
{
    UsbDriverDevice dev(sim->backend());
    ASSERT_EQ(dev.CountDevices(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(dev.OpenIndex(i)) << i;
        EXPECT_FALSE(dev.IsOpen());
        EXPECT_EQ(dev.FindEndpoint(0), nullptr);
    }
}

TEST(StatusText, NamesStateAndStatus)
{
    EXPECT_EQ(UsbDriverDevice::StatusText(0), "[state=SUCCESS status=USBD_STATUS_SUCCESS]");
    EXPECT_EQ(UsbDriverDevice::StatusText(0xC0000004), " [state=STALLED status=USBD_STATUS_STALL_PID]");
    EXPECT_EQ(UsbDriverDevice::StatusText(0x80000030), " [state=ERROR   status=USBD_STATUS_ENDPOINT_HALTED]");
    EXPECT_EQ(UsbDriverDevice::StatusText(0x40000D00),
              " [state=PENDING status=USBD_STATUS_FRAME_CONTROL_NOT_OWNED]");
    EXPECT_EQ(UsbDriverDevice::StatusText(0xC0010000), " [state=STALLED status=UNKNOWN]");
    EXPECT_EQ(UsbDriverDevice::StatusText(0x00000001), " [state=SUCCESS status=USBD_STATUS_CRC]");
    EXPECT_EQ(UsbDriverDevice::StatusText(0x20000001), "status=UNKNOWN]");  // no state part
}

TEST(Descriptors, EffectivePacketSizes)
{
    struct {
        uint8_t attributes;
        uint16_t wMax;
        bool companion;
        uint8_t burst, compAttr;
        uint16_t expected;
    } cases[] = {
        {2, 512, false, 0, 0, 512},
        {1, 0x1400, false, 0, 0, 3072},     // 1024 x 3 (bits 11-12 = 2)
        {2, 1024, true, 15, 0, 16384},
        {1, 1024, true, 15, 2, 49152},      // isochronous: x 3 for the companion's mult
        {2, 0x1FFF, true, 31, 0, uint16_t((0x7FF * 4 * 32) & 0xFFFF)},  // truncated to 16 bits
    };
    for (const auto& c : cases) {
        EndpointDescriptor e;
        e.attributes = c.attributes;
        e.wMaxPacketSize = c.wMax;
        e.hasCompanion = c.companion;
        e.maxBurst = c.burst;
        e.companionAttributes = c.compAttr;
        EXPECT_EQ(effectivePacketSize(e), c.expected) << c.wMax;
    }
}

TEST(Descriptors, ConfigurationWithCompanionsAndMalformedSets)
{
    const uint8_t good[] = {9, 2, 9 + 9 + 13 + 7, 0, 1, 1, 0, 0x80, 50,     // configuration
                            9, 4, 0, 0, 2, 0xFF, 0, 0, 0,                  // interface 0
                            7, 5, 0x81, 2, 0x00, 0x04, 0, 6, 0x30, 3, 0, 0, 0,  // bulk IN + companion
                            7, 5, 0x01, 2, 0x00, 0x04, 0};                 // bulk OUT
    Configuration c;
    ASSERT_TRUE(parseConfiguration(good, sizeof good, false, &c));
    ASSERT_EQ(c.settings.size(), 1u);
    ASSERT_EQ(c.settings[0].endpoints.size(), 2u);
    EXPECT_TRUE(c.settings[0].endpoints[0].hasCompanion);
    EXPECT_EQ(effectivePacketSize(c.settings[0].endpoints[0]), 4096);
    EXPECT_EQ(c.settings[0].altSettings, 1);
    // A USB 2 device's companion is not joined.
    ASSERT_TRUE(parseConfiguration(good, sizeof good, true, &c));
    EXPECT_FALSE(c.settings[0].endpoints[0].hasCompanion);

    uint8_t bad[sizeof good];
    std::memcpy(bad, good, sizeof good);
    bad[18] = 0;  // zero-length descriptor
    EXPECT_FALSE(parseConfiguration(bad, sizeof bad, false, &c));
    std::memcpy(bad, good, sizeof good);
    bad[18] = 60;  // runs past the set
    EXPECT_FALSE(parseConfiguration(bad, sizeof bad, false, &c));
    EXPECT_FALSE(parseConfiguration(good, 5, false, &c));

    const uint8_t lang[] = {6, 3, 0x07, 0x04, 0x09, 0x04};
    EXPECT_EQ(chooseLanguage(lang, sizeof lang), 0x0409);
    const uint8_t other[] = {4, 3, 0x07, 0x04};
    EXPECT_EQ(chooseLanguage(other, sizeof other), 0x0407);
    EXPECT_EQ(chooseLanguage(other, 2), 0);
}

}  // namespace
