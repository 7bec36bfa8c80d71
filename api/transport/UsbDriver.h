// The FX3 driver interface: the requests the host layer (UsbDriverDevice and
// the endpoint classes) sends to the controller's driver, and the backend that
// carries them out.  A backend is one struct of function pointers; the rules
// of each entry are written beside it.  Two backends exist: libusb-1.0 for
// real instruments and the simulated instruments (libVKVX_sim.so, or linked
// into a test and installed with installUsbBackend).
//
// Only plain C types cross this interface so that a backend living in another
// shared object (the simulator) can serve the library.
#pragma once

#include <cstdint>

namespace vkvx::usb {

// Request codes (device type 0x22).
enum RequestCode : uint32_t {
    kDriverVersion = 0x220000,     // in/out: 4 bytes
    kUsbdiVersion = 0x220004,      // in/out: 4 bytes
    kAltSetting = 0x220008,        // in/out: 1 byte
    kUsbAddress = 0x220010,        // in/out: 1 byte
    kControlTransfer = 0x220020,   // in/out: header + data
    kBufferedTransfer = 0x220024,  // in/out: header + data
    kCyclePort = 0x220028,         // none
    kResetPipe = 0x22002C,         // in: 1 byte endpoint address
    kResetParentPort = 0x220030,   // none
    kSetTransferSize = 0x220038,   // in/out: address byte + 32-bit size
    kDeviceName = 0x22003C,        // in/out: up to 256 bytes
    kFriendlyName = 0x220040,      // in/out: 256 bytes
    kAbortPipe = 0x220044,         // in: 1 byte endpoint address
    kDirectTransfer = 0x22004B,    // in: 38-byte header; out: the caller's data buffer
    kDeviceSpeed = 0x22004C,       // in/out: 4 bytes
};

// Error numbers of the layer (the values of the Windows errors they stand
// for, so that logs read alike on every platform).
enum Error : uint32_t {
    kOk = 0,
    kFileNotFound = 2,
    kAccessDenied = 5,
    kInvalidHandle = 6,
    kGenFailure = 31,
    kInvalidParameter = 87,
    kSemTimeout = 121,
    kNoMoreItems = 259,
    kOperationAborted = 995,
    kIoPending = 997,
    kDeviceNotConnected = 1167,
};

// Layout of the 38-byte transfer request header (little-endian fields).
constexpr uint32_t kHeaderSize = 38;
namespace hdr {
constexpr uint32_t RequestType = 0, Request = 1, Value = 2, Index = 4, Length = 6, TimeoutSec = 8,
                   Reserved = 12, Endpoint = 13, NtStatus = 14, UsbdStatus = 18, IsoOffset = 22,
                   IsoLength = 26, DataOffset = 30, DataLength = 34;
}

inline uint32_t getLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t getLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline void putLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void putLe16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// USBD status words a backend stores in the header.
constexpr uint32_t kUsbdSuccess = 0;
constexpr uint32_t kUsbdStallPid = 0xC0000004;
constexpr uint32_t kUsbdDevNotResponding = 0xC0000005;
constexpr uint32_t kUsbdDataOverrun = 0xC0000008;
constexpr uint32_t kUsbdCanceled = 0xC0010000;  // "status=UNKNOWN" in StatusText
constexpr uint32_t kNtCancelled = 0xC0000120;
constexpr uint32_t kNtUnsuccessful = 0xC0000001;

extern "C" {

// Completion of an overlapped request.  The layer owns it; the backend calls
// done exactly once per request that it answered with kIoPending, from any
// thread, and never touches the completion (nor the request's buffers)
// afterwards.
struct UsbCompletion {
    void (*done)(UsbCompletion* self, uint32_t error, uint32_t bytes);
};

struct UsbDriverBackend {
    // Short name for logs ("libusb", "simulation").
    const char* name;
    void* context;

    // Lists the present device interfaces: calls sink once per device path,
    // in a stable order (the order of the device indexes).  Returns kOk or
    // an error; may block briefly; any thread.
    uint32_t (*enumerate)(void* context, void (*sink)(void* user, const char* path), void* user);

    // Opens a device path.  kOk and *handle, or kFileNotFound (gone),
    // kAccessDenied (no permission; the backend logs how to fix it).  A path
    // may be opened several times; each handle is independent.
    uint32_t (*open)(void* context, const char* path, void** handle);

    // Closes a handle.  Every request still pending on it is completed with
    // kOperationAborted before close returns.  Never called twice.
    void (*close)(void* handle);

    // Carries out one request.  in and out may be the same buffer (buffered
    // requests); for kDirectTransfer in is the header and out the data,
    // which the backend reads for an OUT endpoint and fills for an IN one.
    // The backend stores the NT and USBD status words in the header of the
    // transfer requests (at in).
    // completion == nullptr: synchronous; returns kOk with *returned set, or
    //   an error.
    // completion != nullptr: returns kIoPending when the request goes on
    //   (completion->done follows exactly once, with the byte count), or
    //   finishes at once: kOk with *returned, or an error (done not called).
    // kAbortPipe completes every pending transfer of that endpoint with
    // kOperationAborted before it returns (a backend may be unable to, which
    // the layer tolerates by waiting).
    uint32_t (*ioControl)(void* handle, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out,
                          uint32_t outLength, uint32_t* returned, UsbCompletion* completion);
};

// Entry point of libVKVX_sim.so: the simulated backend for the scenario file
// at path, or null (with a message on standard error) when it cannot load.
typedef const UsbDriverBackend* (*SimBackendEntry)(const char* scenarioPath);
#define VKVX_SIM_USB_ENTRY "vkvx_sim_usb_backend"

}  // extern "C"

// The backend in use: the one installed, else the simulator when
// VKVX_SIMULATION names a scenario file, else libusb.  Null when none can be
// brought up (then no device is present).
const UsbDriverBackend* usbBackend();
// Installs backend (tests); null returns to the default choice.
void installUsbBackend(const UsbDriverBackend* backend);
// The libusb-1.0 backend (created on first use; null when libusb cannot be
// initialised).
const UsbDriverBackend* libusbBackend();

}  // namespace vkvx::usb
