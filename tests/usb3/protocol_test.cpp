// The register protocol through the public register exports against the
// simulated instrument, with its faults.
#include <mutex>
#include <string>
#include <vector>

#include "sim_fixture.h"
#include "usb3/RegisterProtocol.h"

using usb3_test::Opened;
using vkvx::sim::Instrument;

namespace {

std::mutex g_textMutex;
std::string g_text;
void sink(const char* text, int32_t length)
{
    std::lock_guard<std::mutex> lock(g_textMutex);
    g_text.append(text, size_t(length));
}

using Protocol = Opened;

TEST_F(Protocol, WordWriteAndReadRoundTrip)
{
    uint32_t v = 0x1234;
    EXPECT_EQ(VKVX_WriteRegister(h, 0x300, &v, 1), 0);
    EXPECT_EQ(state().regs[0x300], 0x1234u);
    uint32_t r = 0;
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, &r, 1), 0);
    EXPECT_EQ(r, 0x1234u);
}

TEST_F(Protocol, OlderTnsIsSkipped)
{
    sim->edit("", [](Instrument& i) { i.faults.mismatchBefore = 2; });
    uint32_t v = 7;
    EXPECT_EQ(VKVX_WriteRegister(h, 0x300, &v, 1), 0);
    uint32_t r = 0;
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, &r, 1), 0);
    EXPECT_EQ(r, 7u);
}

TEST_F(Protocol, ElevenMismatchesFailAWordWriteAndTheNextTransactionResynchronises)
{
    struct {
        int mismatches;
        int32_t result;
    } cases[] = {{10, 0}, {11, VKVX_ERROR_USB_IO}};
    for (const auto& c : cases) {
        sim->edit("", [&](Instrument& i) {
            i.faults.mismatchBefore = 1;
            i.faults.mismatchCount = c.mismatches;
        });
        uint32_t v = 5;
        EXPECT_EQ(VKVX_WriteRegister(h, 0x300, &v, 1), c.result) << c.mismatches;
        // The channel stays usable after the failure.
        EXPECT_EQ(VKVX_WriteRegister(h, 0x301, &v, 1), 0);
    }
}

TEST_F(Protocol, TextMessagesReachTheSinkWithoutCountingAttempts)
{
    ASSERT_EQ(VKVX_SetTerminalSink(h, sink), 0);
    g_text.clear();
    // Twelve messages before one answer: counted as attempts they would fail
    // the write.
    sim->edit("", [](Instrument& i) {
        i.faults.textBefore = 1;
        i.faults.textCount = 12;
        i.faults.text = "temp ok ";
    });
    uint32_t v = 1;
    EXPECT_EQ(VKVX_WriteRegister(h, 0x300, &v, 1), 0);
    {
        std::lock_guard<std::mutex> lock(g_textMutex);
        EXPECT_EQ(g_text.substr(0, 8), "temp ok ");
        EXPECT_EQ(g_text.size(), 12u * 8u);
    }
    sim->edit("", [](Instrument& i) { i.faults.textBefore = 1; i.faults.textCount = 1; });
    uint32_t words[4] = {};
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, words, 4), 4);
    EXPECT_EQ(VKVX_SetTerminalSink(h, nullptr), 0);
}

TEST_F(Protocol, CountsAndSizeLimits)
{
    uint32_t before = uint32_t(outTransfers());
    uint32_t word = 0;
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, &word, 0), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, &word, -1), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_WriteRegister(h, 0x300, &word, 0), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(uint32_t(outTransfers()), before);

    sim->edit("", [](Instrument& i) {
        for (uint32_t a = 0; a < 4; ++a) i.regs[0x400 + a] = 0xA0 + a;
    });
    uint32_t four[4] = {};
    EXPECT_EQ(VKVX_ReadRegister(h, 0x400, four, 4), 4);
    EXPECT_EQ(four[3], 0xA3u);

    std::vector<uint32_t> big(10237, 0x55);
    // 8172 bytes fit one reply; 8176 are refused without traffic.
    EXPECT_EQ(VKVX_ReadRegister(h, 0x400, big.data(), 2043), 2043);
    before = uint32_t(outTransfers());
    EXPECT_EQ(VKVX_ReadRegister(h, 0x400, big.data(), 2044), VKVX_ERROR_USB_IO);
    EXPECT_EQ(uint32_t(outTransfers()), before);

    // 40944 bytes go out as one 40960-byte transfer; 40948 are refused.
    EXPECT_EQ(VKVX_WriteRegister(h, 0x5000, big.data(), 10236), 0);
    EXPECT_EQ(state().lastOutLengths.back(), 40960u);
    EXPECT_EQ(uint32_t(outTransfers()), before + 1);
    EXPECT_EQ(VKVX_WriteRegister(h, 0x5000, big.data(), 10237), VKVX_ERROR_USB_IO);
    EXPECT_EQ(uint32_t(outTransfers()), before + 1);
}

TEST_F(Protocol, NackAdvancesTheTnsOfAWordWriteButNotOfAFifoRead)
{
    uint32_t v = 1;
    sim->edit("", [](Instrument& i) { i.faults.refuse = 1; });
    uint32_t tns = vkvx::usb3::tnsCounter();
    EXPECT_EQ(VKVX_WriteRegister(h, 0x300, &v, 1), VKVX_ERROR_USB_IO);
    EXPECT_EQ(vkvx::usb3::tnsCounter(), tns + 1);

    uint32_t two[2];
    sim->edit("", [](Instrument& i) { i.faults.refuse = 1; });
    tns = vkvx::usb3::tnsCounter();
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, two, 2), VKVX_ERROR_USB_IO);
    EXPECT_EQ(vkvx::usb3::tnsCounter(), tns);
    // The refused request's TNS is used again and answered normally.
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, two, 2), 2);
}

TEST_F(Protocol, ReplyLongerThanAskedIsRefusedNotCopied)
{
    sim->edit("", [](Instrument& i) { i.faults.overlongReply = 1; });
    uint32_t words[6] = {0, 0, 0xC0FFEE, 0xC0FFEE, 0xC0FFEE, 0xC0FFEE};
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, words, 2), VKVX_ERROR_USB_IO);
    for (int i = 2; i < 6; ++i) EXPECT_EQ(words[i], 0xC0FFEEu);
    EXPECT_EQ(VKVX_ReadRegister(h, 0x300, words, 2), 2);
}

TEST_F(Protocol, LateAnswerIsWaitedForAndDroppedAnswerFails)
{
    sim->edit("", [](Instrument& i) { i.faults.lateMs = 150; });
    uint32_t r = 0;
    EXPECT_EQ(VKVX_ReadRegister(h, 3, &r, 1), 0);
    EXPECT_EQ(r, state().fpgaVersion);
    sim->edit("", [](Instrument& i) {
        i.faults.lateMs = 0;
        i.faults.drop = 1;
    });
    EXPECT_EQ(VKVX_ReadRegister(h, 3, &r, 1), VKVX_ERROR_USB_IO);
    EXPECT_EQ(VKVX_ReadRegister(h, 3, &r, 1), 0);
}

TEST_F(Protocol, UnpluggedInstrumentFailsAndUnknownAddressesAreRefused)
{
    uint32_t two[2];
    EXPECT_EQ(VKVX_ReadRegister(h, int32_t(0xF000), two, 2), 2);  // the directory exists
    sim->edit("", [](Instrument& i) { i.faults.refuseAddresses.insert(0x700); });
    EXPECT_EQ(VKVX_ReadRegister(h, 0x700, two, 1), VKVX_ERROR_USB_IO);
    sim->edit("", [](Instrument& i) { i.unplugged = true; });
    EXPECT_EQ(VKVX_WriteRegister(h, 0x300, two, 1), VKVX_ERROR_USB_IO);
}

TEST(Packets, TextAndResponsesAreToldApart)
{
    using namespace vkvx::usb3;
    uint8_t text[24] = {0x0B, 'w', 't', 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    Packet p = parsePacket(text, sizeof text);
    EXPECT_EQ(p.kind, Packet::Text);
    EXPECT_EQ(p.textLength, 8u);  // 4 words announced, 8 bytes arrived
    EXPECT_EQ(parsePacket(text, 4).kind, Packet::Short);
    EXPECT_EQ(parsePacket(text, 6).textLength, 0u);
    uint8_t ack[20] = {0x0B, 'A', 'C', 0x0B, 7, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0};
    p = parsePacket(ack, sizeof ack);
    EXPECT_EQ(p.kind, Packet::Response);
    EXPECT_EQ(p.code, ACK);
    EXPECT_EQ(p.tns, 7u);
    EXPECT_EQ(p.available, 4u);
}

}  // namespace
