// The USB 3 instruments' register protocol: request and response packets,
// the library-wide transaction sequence number (TNS), device text messages
// and the four transactions over the bulk endpoints of a register channel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vkvx.h"

namespace vkvx::usb {
class UsbEndPoint;
}

namespace vkvx::usb3 {

// Command and response words: 0x0B, two ASCII letters, 0x0B on the wire.
constexpr uint32_t WORD_WRITE = 0x0B54570B;
constexpr uint32_t WORD_READ = 0x0B44520B;
constexpr uint32_t FREAD = 0x0B64720B;
constexpr uint32_t FWRITE = 0x0B74770B;
constexpr uint32_t DWRITE = 0x0B74640B;
constexpr uint32_t ACK = 0x0B43410B;
constexpr uint32_t DACK = 0x0B61640B;
constexpr uint32_t NACK = 0x0B4E4B0B;
constexpr uint32_t DNACK = 0x0B6B640B;

constexpr uint32_t kWriteResponseSize = 20;
constexpr uint32_t kReadResponseSize = 8192;
constexpr uint32_t kMaxFifoRead = 8172;    // reply plus 16-byte header fits 8192 bytes
constexpr uint32_t kMaxFifoWrite = 40944;  // packet at most 40960 bytes

// A received packet, parsed.  Pure: no I/O.
struct Packet {
    enum Kind { Short, Text, Response } kind = Short;
    uint32_t code = 0;
    uint32_t tns = 0;
    uint32_t words = 0;          // word 3 as sent by the device
    const uint8_t* data = nullptr;  // from byte 16
    size_t available = 0;        // data bytes actually received
    // Text message: the text and its length (word 3 x 4, cut to what was
    // received).
    const char* text = nullptr;
    size_t textLength = 0;
};
// Classifies length bytes received on an IN endpoint: a text message when
// longer than 4 bytes with word 0 FWRITE; a response when at least 16
// bytes; else Short.
Packet parsePacket(const uint8_t* bytes, size_t length);

// The library-wide TNS counter (32 bits; requests carry its low 16 bits).
uint32_t tnsCounter();
void setTnsCounter(uint32_t value);  // test support

// The library-wide terminal sink (null: text messages are logged).
void setTerminalSink(VKVX_TERMINAL_SINK sink);
VKVX_TERMINAL_SINK terminalSink();

// Transactions; the caller holds the channel's semaphore.
bool _WriteWordRegister(usb::UsbEndPoint* in, usb::UsbEndPoint* out, uint32_t address, uint32_t value);
bool _ReadWordRegister(usb::UsbEndPoint* in, usb::UsbEndPoint* out, uint32_t address, uint32_t* value,
                       bool verbose);
bool WriteFifoData(usb::UsbEndPoint* in, usb::UsbEndPoint* out, uint32_t address, const void* data,
                   uint32_t length, bool dataFlag);
// length: in, the bytes wanted (and the room of buffer); out, the bytes the
// device returned.  A reply announcing more words than were asked for or
// than arrived is refused.
bool ReadFifoData(usb::UsbEndPoint* in, usb::UsbEndPoint* out, uint32_t address, void* buffer, uint32_t* length);

// Module type names of the module directory.
const char* moduleTypeName(uint32_t type);

}  // namespace vkvx::usb3
