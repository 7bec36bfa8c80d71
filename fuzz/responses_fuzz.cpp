// Fuzzes the register protocol's handling of what a device sends back: the
// input is a series of packets (2-byte little-endian length, then the bytes)
// that a fake driver hands to the IN endpoint one per read.  The transactions
// run on it with a caller buffer of exactly the requested size, so that any
// copy past it is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_stubs.h"
#include "transport/UsbDevice.h"
#include "usb3/RegisterProtocol.h"

using namespace vkvx::usb;

namespace {

struct Feed {
    std::vector<std::vector<uint8_t>> packets;
    size_t next = 0;
};
Feed g_feed;

uint32_t fakeIo(void*, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength,
                uint32_t* returned, UsbCompletion*)
{
    if (code != kDirectTransfer || inLength < kHeaderSize) return kInvalidParameter;
    if (!(in[hdr::Endpoint] & 0x80)) {
        *returned = outLength;
        return kOk;
    }
    if (g_feed.next >= g_feed.packets.size()) return kSemTimeout;
    const auto& p = g_feed.packets[g_feed.next++];
    uint32_t n = p.size() < outLength ? uint32_t(p.size()) : outLength;
    if (n) std::memcpy(out, p.data(), n);
    if (p.size() > outLength) {
        putLe32(in + hdr::UsbdStatus, kUsbdDataOverrun);
        return kGenFailure;
    }
    *returned = n;
    return kOk;
}

void sink(const char* text, int32_t length)
{
    volatile char c = 0;
    for (int32_t i = 0; i < length; ++i) c = char(c ^ text[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) return 0;
    uint32_t wanted = (uint32_t(data[0]) | uint32_t(data[1]) << 8) & 0x1FFC;  // up to 8188 bytes, words
    uint8_t which = data[2];
    g_feed = Feed();
    for (size_t pos = 3; pos + 2 <= size && g_feed.packets.size() < 64;) {
        size_t len = size_t(data[pos]) | size_t(data[pos + 1]) << 8;
        pos += 2;
        if (len > size - pos) len = size - pos;
        g_feed.packets.emplace_back(data + pos, data + pos + len);
        pos += len;
    }
    for (const auto& p : g_feed.packets) (void)vkvx::usb3::parsePacket(p.data(), p.size());

    static UsbDriverBackend backend = {"fuzz", nullptr, nullptr, nullptr, nullptr, fakeIo};
    static int handle;
    EndpointDescriptor inDesc, outDesc;
    inDesc.address = 0x81;
    inDesc.attributes = 2;
    inDesc.wMaxPacketSize = 1024;
    outDesc = inDesc;
    outDesc.address = 0x01;
    UsbBulkEndPoint in(&backend, &handle, inDesc), out(&backend, &handle, outDesc);
    in.timeout_ms = 0;
    vkvx::usb3::setTerminalSink((which & 4) ? sink : nullptr);
    // Requests carry the counter's low half: let the input choose it so that
    // matching answers can be written.
    vkvx::usb3::setTnsCounter(0);
    switch (which & 3) {
    case 0: {
        std::vector<uint8_t> buffer(wanted);
        uint32_t length = wanted;
        if (vkvx::usb3::ReadFifoData(&in, &out, 0x2A, buffer.data(), &length) && length > wanted) __builtin_trap();
        break;
    }
    case 1: {
        uint32_t value = 0;
        (void)vkvx::usb3::_ReadWordRegister(&in, &out, 3, &value, (which & 8) != 0);
        break;
    }
    case 2:
        (void)vkvx::usb3::_WriteWordRegister(&in, &out, 0x26, 1);
        break;
    default: {
        std::vector<uint8_t> block(wanted, 0x5A);
        (void)vkvx::usb3::WriteFifoData(&in, &out, (which & 8) ? 0xFFFFFFFFu : 0x300, block.data(), wanted,
                                        (which & 16) != 0);
        break;
    }
    }
    return 0;
}
