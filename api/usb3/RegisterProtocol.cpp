#include "usb3/RegisterProtocol.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "transport/UsbDevice.h"

namespace vkvx::usb3 {

using usb::getLe32;
using usb::putLe32;
using usb::UsbEndPoint;

namespace {
std::atomic<uint32_t> g_tns{0};
std::atomic<VKVX_TERMINAL_SINK> g_sink{nullptr};

void sleepMs(int ms)
{
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    (void)ms;  // the fuzz targets feed packets without waiting
#else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
#endif
}

uint32_t carried(uint32_t counter) { return counter & 0xFFFFu; }

bool send(UsbEndPoint* out, const uint8_t* bytes, uint32_t length, uint32_t* sent)
{
    *sent = length;
    return out->Transfer(const_cast<uint8_t*>(bytes), sent);
}

// Delivers a text message to the sink or the log.
void deliverText(const Packet& p)
{
    VKVX_TERMINAL_SINK sink = g_sink.load();
    if (sink) {
        sink(p.text, int32_t(p.textLength));
        return;
    }
    char text[512];
    size_t n = p.textLength < 511 ? p.textLength : 511;
    std::memcpy(text, p.text, n);
    text[n] = '\0';
    VKVX_LOG(log::Info, "%s", text);
}

bool checkCode(uint32_t code, const char* name)
{
    if (code == ACK || code == DACK) {
        return true;
    }
    if (code == NACK) {
        VKVX_LOG(log::Warning, "%s NACK response", name);
    } else if (code == DNACK) {
        VKVX_LOG(log::Warning, "%s DNACK response", name);
    } else {
        VKVX_LOG(log::Warning, "%s Not an ACK, response unknown: %08X", name, code);
    }
    return false;
}
}  // namespace

Packet parsePacket(const uint8_t* b, size_t length)
{
    Packet p;
    if (!b || length < 4) {
        return p;
    }
    uint32_t w0 = getLe32(b);
    if (length > 4 && w0 == FWRITE) {
        p.kind = Packet::Text;
        p.code = w0;
        size_t avail = length > 16 ? length - 16 : 0;
        uint32_t words = length >= 16 ? getLe32(b + 12) : 0;
        size_t announced = size_t(words) * 4;
        p.text = reinterpret_cast<const char*>(b + (length > 16 ? 16 : length));
        p.textLength = announced < avail ? announced : avail;
        return p;
    }
    if (length < 16) {
        return p;
    }
    p.kind = Packet::Response;
    p.code = w0;
    p.tns = getLe32(b + 4);
    p.words = getLe32(b + 12);
    p.data = b + 16;
    p.available = length - 16;
    return p;
}

uint32_t tnsCounter() { return g_tns.load(std::memory_order_relaxed); }
void setTnsCounter(uint32_t value) { g_tns.store(value, std::memory_order_relaxed); }
void setTerminalSink(VKVX_TERMINAL_SINK sink) { g_sink.store(sink); }
VKVX_TERMINAL_SINK terminalSink() { return g_sink.load(); }

// One answer received during a write transaction: a device text message goes
// to the terminal sink and the wait goes on; an answer with an older TNS is
// skipped, at most 10 times (attempts is shared with the caller's retries);
// the matching answer ends the wait.
enum class WriteAnswer { Matched, Again, Failed };

static WriteAnswer takeWriteAnswer(const Packet& p, uint32_t tns, int& attempts, const char* who)
{
    if (p.kind == Packet::Text) {
        deliverText(p);
        return WriteAnswer::Again;
    }
    if (p.words != 0) {
        VKVX_LOG(log::Warning, "%s ACK with length %d data %d", who, int(p.words),
                 p.available >= 4 ? int(getLe32(p.data)) : 0);
    }
    if (p.tns != tns) {
        VKVX_LOG(log::Warning, "%s TNS mismatch %d expected %d", who, int(p.tns), int(tns));
        return ++attempts > 10 ? WriteAnswer::Failed : WriteAnswer::Again;
    }
    return WriteAnswer::Matched;
}

bool _WriteWordRegister(UsbEndPoint* in, UsbEndPoint* out, uint32_t address, uint32_t value)
{
    uint8_t req[20];
    uint32_t counter = tnsCounter();
    uint32_t tns = carried(counter);
    putLe32(req, WORD_WRITE);
    putLe32(req + 4, tns);
    putLe32(req + 8, address);
    putLe32(req + 12, 1);
    putLe32(req + 16, value);
    uint32_t sent = 0;
    if (!send(out, req, 20, &sent)) {
        VKVX_LOG(log::Warning, "_WriteWordRegister error writing addr = %X val=%04X", address, value);
        return false;
    }
    // Answers to writes are 20 bytes, but a device text message may come
    // first: the whole packet is read so that the message is not lost.
    std::vector<uint8_t> resp(kReadResponseSize);
    int attempts = 0;
    Packet p;
    for (;;) {
        uint32_t got = kReadResponseSize;
        bool ok = in->Transfer(resp.data(), &got);
        p = parsePacket(resp.data(), ok ? got : 0);
        if (!ok || p.kind == Packet::Short) {
            VKVX_LOG(log::Warning, "_WriteWordRegister error reading response addr = %X val=%04X tid=%d", address,
                     value, int(tnsCounter()));
            sleepMs(200);
            if (++attempts >= 10) {
                return false;
            }
            continue;
        }
        WriteAnswer step = takeWriteAnswer(p, tns, attempts, "_WriteWordRegister");
        if (step == WriteAnswer::Failed) {
            return false;
        }
        if (step == WriteAnswer::Matched) {
            break;
        }
    }
    g_tns.fetch_add(1, std::memory_order_relaxed);
    if (!checkCode(p.code, "_WriteWordRegister")) {
        return false;
    }
    VKVX_LOG(log::Trace, "_WriteWordRegister %02X : %04X", address, value);
    return true;
}

bool _ReadWordRegister(UsbEndPoint* in, UsbEndPoint* out, uint32_t address, uint32_t* value, bool verbose)
{
    uint8_t req[16];
    uint32_t tns = carried(tnsCounter());
    putLe32(req, WORD_READ);
    putLe32(req + 4, tns);
    putLe32(req + 8, address);
    putLe32(req + 12, 0);
    uint32_t sent = 0;
    if (!send(out, req, 16, &sent)) {
        VKVX_LOG(log::Warning, "_ReadWordRegister XferData OUT failure");
        return false;
    }
    g_tns.fetch_add(1, std::memory_order_relaxed);
    std::vector<uint8_t> resp(kReadResponseSize);
    int attempts = 0;
    Packet p;
    uint32_t got = 0;
    for (;;) {
        got = kReadResponseSize;
        bool ok = in->Transfer(resp.data(), &got);
        p = parsePacket(resp.data(), ok ? got : 0);
        if (ok && p.kind == Packet::Text) {
            deliverText(p);
            continue;
        }
        if (!ok || p.kind == Packet::Short) {
            VKVX_LOG(log::Warning, "_ReadWordRegister XferData IN failure, addr %04X", address);
        } else if (p.tns != tns) {
            VKVX_LOG(log::Warning, "_ReadWordRegister reg 0x%X TNS mismatch %d expected %d", address, int(p.tns),
                     int(tns));
        } else {
            break;
        }
        if (++attempts > 5) {
            return false;
        }
        sleepMs(in->timeout_ms);
    }
    // A reply without its data word is refused like a wrong length.
    if (p.words != 1 || p.available < 4) {
        VKVX_LOG(log::Warning, "_ReadWordRegister Not expected length %X read %X", p.words, got);
        return false;
    }
    if (!checkCode(p.code, "_ReadWordRegister")) {
        return false;
    }
    uint32_t v = getLe32(p.data);
    if (value) {
        *value = v;
    }
    if (verbose) {
        VKVX_LOG(log::Info, "_ReadWordRegister %02X -> %04X", address, v);
    }
    return true;
}

bool WriteFifoData(UsbEndPoint* in, UsbEndPoint* out, uint32_t address, const void* data, uint32_t length,
                   bool dataFlag)
{
    if (length > kMaxFifoWrite) {
        VKVX_LOG(log::Error, "Too much data to write %X", length);
        return false;
    }
    uint32_t tns = carried(tnsCounter());
    std::vector<uint8_t> req(16 + size_t(length));
    putLe32(&req[0], dataFlag ? DWRITE : FWRITE);
    putLe32(&req[4], tns);
    putLe32(&req[8], address);
    putLe32(&req[12], length / 4);
    if (length) {
        std::memcpy(&req[16], data, length);
    }
    uint32_t sent = 0;
    bool result = send(out, req.data(), uint32_t(req.size()), &sent);
    if (!result || sent != req.size()) {
        VKVX_LOG(log::Warning, "WriteFifoData error writing fifo: %i %X %X", int(result), sent, length);
        return false;
    }
    if (address == 0xFFFFFFFFu && log::active()) {
        std::string text(static_cast<const char*>(data), length);
        VKVX_LOG(log::Info, "written to address %X len = %d: %s", address, int(length), text.c_str());
    }
    std::vector<uint8_t> resp(kReadResponseSize);  // room for a text message, as above
    int attempts = 0;
    Packet p;
    for (;;) {
        uint32_t got = kReadResponseSize;
        bool ok = in->Transfer(resp.data(), &got);
        p = parsePacket(resp.data(), ok ? got : 0);
        if (!ok || p.kind == Packet::Short) {
            VKVX_LOG(log::Warning, "WriteFifoData error response for writing fifo: %i", int(result));
            return false;
        }
        WriteAnswer step = takeWriteAnswer(p, tns, attempts, "WriteFifoData");
        if (step == WriteAnswer::Failed) {
            return false;
        }
        if (step == WriteAnswer::Matched) {
            break;
        }
    }
    g_tns.fetch_add(1, std::memory_order_relaxed);
    return checkCode(p.code, "WriteFifoData");
}

bool ReadFifoData(UsbEndPoint* in, UsbEndPoint* out, uint32_t address, void* buffer, uint32_t* length)
{
    uint32_t wanted = *length;
    if (wanted > kMaxFifoRead) {
        VKVX_LOG(log::Error, "Too much data to read %X", wanted);
        return false;
    }
    uint32_t tns = carried(tnsCounter());
    uint8_t req[20];
    putLe32(req, FREAD);
    putLe32(req + 4, tns);
    putLe32(req + 8, address);
    putLe32(req + 12, 1);
    putLe32(req + 16, wanted / 4);
    uint32_t sent = 0;
    bool result = send(out, req, 20, &sent);
    if (!result || sent != 20) {
        VKVX_LOG(log::Warning, "ReadFifoData error while sending FREAD: %i %X %X", int(result), sent, wanted);
        return false;
    }
    std::vector<uint8_t> resp(kReadResponseSize);
    int attempts = 0;
    Packet p;
    for (;;) {
        std::memset(resp.data(), 0, resp.size());
        uint32_t got = kReadResponseSize;
        bool ok = in->Transfer(resp.data(), &got);
        if (ok && got) {
            p = parsePacket(resp.data(), got);
            if (p.kind == Packet::Text) {
                deliverText(p);
                continue;
            }
        }
        if (!ok || got == 0 || p.kind == Packet::Short) {
            VKVX_LOG(log::Warning, "ReadFifoData XferData IN error reading fifo; len = %ld", long(got));
        } else if (p.tns != tns) {
            VKVX_LOG(log::Warning, "ReadFifoData reg 0x%X TNS mismatch %d expected %d", address, int(p.tns),
                     int(tns));
        } else {
            break;
        }
        if (++attempts > 10) {
            return false;
        }
        sleepMs(100);
    }
    if (!checkCode(p.code, "ReadFifoData")) {
        return false;
    }
    g_tns.fetch_add(1, std::memory_order_relaxed);
    uint64_t returned = uint64_t(p.words) * 4;
    if (returned > wanted || returned > p.available) {
        // Never copied past the caller's buffer nor past what arrived.
        VKVX_LOG(log::Warning, "ReadFifoData reg 0x%X reply of %u words refused: %u bytes asked, %u received",
                 address, p.words, wanted, unsigned(p.available));
        return false;
    }
    if (returned && buffer) {
        std::memcpy(buffer, p.data, size_t(returned));
    }
    *length = uint32_t(returned);
    return true;
}

const char* moduleTypeName(uint32_t type)
{
    static const char* const kNames[] = {"version data",
                                         "data storage board",
                                         "data capture module",
                                         "video input",
                                         "input test pattern generator",
                                         "test case",
                                         "test case parameter",
                                         "ISP registers",
                                         "output test pattern generator",
                                         "front end control",
                                         "DSB FPGA control",
                                         "reserved",
                                         "QTI",
                                         "Terminal",
                                         "I2C Master"};
    static const char* const kHigh[] = {"clip control",       "DPRX sink control",  "DPTX source control",
                                        "HDMI sink control",  "HDMI source control", "SPDIF sink control"};
    if (type < 15) return kNames[type];
    if (type < 32) return "--";
    if (type < 38) return kHigh[type - 32];
    return "";
}

}  // namespace vkvx::usb3
