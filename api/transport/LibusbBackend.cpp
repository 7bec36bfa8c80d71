// The libusb-1.0 backend of the FX3 driver interface (real instruments).
//
// Device paths: "usb-<bus>-<ports>\usb#vid_16d0&pid_0300#<SERIAL>#" so that
// the serial number sits just past "vid_xxxx&pid_0300#" as the device
// interface enumeration expects.  The serial is given as the instruments'
// driver presents it: the string descriptor with its character pairs
// exchanged (from 12 characters on), the form the open compares with.  Each request code maps onto libusb:
//   control transfer        -> libusb_control_transfer (synchronous)
//   direct/buffered transfer-> an asynchronous bulk/interrupt libusb_transfer
//   abort pipe              -> libusb_cancel_transfer of every pending
//                              transfer of the endpoint, waited for
//   reset pipe              -> libusb_clear_halt
//   cycle port, reset port  -> libusb_reset_device
//   set transfer size       -> remembered only (libusb sizes each transfer)
//   device name             -> the product string; friendly name:
//                              manufacturer and product
//   speed                   -> libusb_get_device_speed mapped to the driver's
//                              codes (2 high, 4 super)
// One event thread per backend completes asynchronous transfers while at
// least one handle is open.
#include <libusb-1.0/libusb.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "Log.h"
#include "transport/UsbDriver.h"
#include "usb3/DeviceInterfaces.h"
#include "vkvx.h"

namespace vkvx::usb {

namespace {

struct Context;

struct Pending {
    libusb_transfer* transfer = nullptr;
    UsbCompletion* completion = nullptr;
    uint8_t* header = nullptr;
    uint32_t offset = 0;  // data offset of the answer
    uint8_t endpoint = 0;
    bool finished = false;
};

struct Handle {
    Context* ctx = nullptr;
    libusb_device_handle* dev = nullptr;
    std::mutex mutex;
    std::condition_variable cv;
    std::list<Pending*> pending;
};

struct Context {
    libusb_context* usb = nullptr;
    std::mutex mutex;
    int open = 0;
    bool stop = false;
    std::thread events;
    UsbDriverBackend backend{};
};

uint32_t mapError(int e)
{
    switch (e) {
    case LIBUSB_ERROR_ACCESS: return kAccessDenied;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return kDeviceNotConnected;
    case LIBUSB_ERROR_TIMEOUT: return kSemTimeout;
    case LIBUSB_ERROR_INVALID_PARAM: return kInvalidParameter;
    default: return kGenFailure;
    }
}

std::string deviceString(libusb_device_handle* h, uint8_t index)
{
    unsigned char text[256] = {};
    if (!index || libusb_get_string_descriptor_ascii(h, index, text, sizeof text - 1) < 0) {
        return {};
    }
    return reinterpret_cast<char*>(text);
}

std::string portPath(libusb_device* d)
{
    uint8_t ports[8];
    int n = libusb_get_port_numbers(d, ports, 8);
    std::string s = "usb-" + std::to_string(libusb_get_bus_number(d));
    for (int i = 0; i < n; ++i) s += (i ? "." : "-") + std::to_string(ports[i]);
    return s;
}

uint32_t enumerate(void* c, void (*sink)(void*, const char*), void* user)
{
    auto* ctx = static_cast<Context*>(c);
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx->usb, &list);
    if (n < 0) return mapError(int(n));
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) != 0 || d.idVendor != VKVX_VENDOR_ID || d.idProduct != 0x0300) {
            continue;
        }
        char serial[17] = {};
        libusb_device_handle* h = nullptr;
        int e = libusb_open(list[i], &h);
        if (e == 0) {
            std::string text = deviceString(h, d.iSerialNumber);
            vkvx::usb3::serialFromDescriptor(std::u16string(text.begin(), text.end()), serial);
            libusb_close(h);
        } else if (e == LIBUSB_ERROR_ACCESS) {
            VKVX_LOG(log::Warning, "no permission to read the serial number of %s: install the udev rules 60-vkvx.rules",
                     portPath(list[i]).c_str());
        }
        char vid[32];
        std::snprintf(vid, sizeof vid, "vid_%04x&pid_0300#", unsigned(VKVX_VENDOR_ID));
        std::string path = portPath(list[i]) + "\\usb#" + vid + serial + "#";
        sink(user, path.c_str());
    }
    libusb_free_device_list(list, 1);
    return kOk;
}

void eventLoop(Context* ctx)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(ctx->mutex);
            if (ctx->stop) return;
        }
        timeval tv{0, 100000};
        libusb_handle_events_timeout_completed(ctx->usb, &tv, nullptr);
    }
}

uint32_t openPath(void* c, const char* path, void** out)
{
    auto* ctx = static_cast<Context*>(c);
    std::string wanted(path);
    std::string port = wanted.substr(0, wanted.find('\\'));
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx->usb, &list);
    if (n < 0) return mapError(int(n));
    uint32_t result = kFileNotFound;
    for (ssize_t i = 0; i < n; ++i) {
        if (portPath(list[i]) != port) continue;
        libusb_device_handle* h = nullptr;
        int e = libusb_open(list[i], &h);
        if (e == LIBUSB_ERROR_ACCESS) {
            std::fprintf(stderr,
                         "VKVX: no permission to open the USB device %s; install packaging/udev/60-vkvx.rules "
                         "into /etc/udev/rules.d and run: udevadm control --reload && udevadm trigger\n",
                         port.c_str());
            VKVX_LOG(log::Error, "no permission to open %s: install the udev rules 60-vkvx.rules", port.c_str());
        }
        if (e != 0) {
            result = mapError(e);
            break;
        }
        libusb_set_auto_detach_kernel_driver(h, 1);
        if (int ce = libusb_claim_interface(h, 0); ce != 0) {
            VKVX_LOG(log::Warning, "libusb: cannot claim interface 0 of %s: %s", port.c_str(), libusb_error_name(ce));
        }
        auto* handle = new Handle;
        handle->ctx = ctx;
        handle->dev = h;
        {
            std::lock_guard<std::mutex> lock(ctx->mutex);
            if (ctx->open++ == 0) {
                ctx->stop = false;
                ctx->events = std::thread(eventLoop, ctx);
            }
        }
        *out = handle;
        result = kOk;
        break;
    }
    libusb_free_device_list(list, 1);
    return result;
}

void LIBUSB_CALL onTransfer(libusb_transfer* t)
{
    auto* p = static_cast<Pending*>(t->user_data);
    uint32_t usbd = 0, nt = 0, error = kOk;
    switch (t->status) {
    case LIBUSB_TRANSFER_COMPLETED: break;
    case LIBUSB_TRANSFER_CANCELLED: usbd = kUsbdCanceled; nt = kNtCancelled; error = kOperationAborted; break;
    case LIBUSB_TRANSFER_STALL: usbd = kUsbdStallPid; nt = kNtUnsuccessful; error = kGenFailure; break;
    case LIBUSB_TRANSFER_OVERFLOW: usbd = kUsbdDataOverrun; nt = kNtUnsuccessful; error = kGenFailure; break;
    case LIBUSB_TRANSFER_NO_DEVICE: usbd = kUsbdDevNotResponding; nt = kNtUnsuccessful; error = kDeviceNotConnected; break;
    default: usbd = kUsbdDevNotResponding; nt = kNtUnsuccessful; error = kGenFailure; break;
    }
    putLe32(p->header + hdr::NtStatus, nt);
    putLe32(p->header + hdr::UsbdStatus, usbd);
    uint32_t bytes = uint32_t(t->actual_length) + (t->actual_length ? p->offset : 0);
    UsbCompletion* c = p->completion;
    p->finished = true;
    c->done(c, error, bytes);
}

uint32_t transfer(Handle* h, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength,
                  uint32_t* returned, UsbCompletion* completion)
{
    if (inLength < kHeaderSize) return kInvalidParameter;
    uint8_t ep = in[hdr::Endpoint];
    uint8_t* data = out;
    uint32_t length = outLength;
    uint32_t offset = 0;
    if (code == kBufferedTransfer) {
        offset = getLe32(in + hdr::DataOffset);
        uint32_t dl = getLe32(in + hdr::DataLength);
        if (offset < kHeaderSize || offset > inLength || dl > inLength - offset) return kInvalidParameter;
        data = in + offset;
        length = dl;
    }
    if (!completion) {
        // synchronous use: run it to the end here
        int actual = 0;
        int e = libusb_bulk_transfer(h->dev, ep, data, int(length), &actual, 0);
        putLe32(in + hdr::UsbdStatus, e ? kUsbdDevNotResponding : 0);
        putLe32(in + hdr::NtStatus, e ? kNtUnsuccessful : 0);
        if (e) return mapError(e);
        *returned = uint32_t(actual) + (actual ? offset : 0);
        return kOk;
    }
    auto* p = new Pending;
    p->header = in;
    p->offset = offset;
    p->endpoint = ep;
    p->transfer = libusb_alloc_transfer(0);
    if (!p->transfer) {
        delete p;
        return kGenFailure;
    }
    // Bulk endpoints (the Linux kernel also takes a bulk request on an
    // interrupt endpoint as an interrupt transfer).
    libusb_fill_bulk_transfer(p->transfer, h->dev, ep, data, int(length), onTransfer, p, 0);
    // Wrap the completion so that the pending list is kept.
    struct Wrap : UsbCompletion {
        Handle* h;
        Pending* p;
        UsbCompletion* inner;
    };
    auto* w = new Wrap;
    w->h = h;
    w->p = p;
    w->inner = completion;
    w->done = [](UsbCompletion* self, uint32_t error, uint32_t bytes) {
        auto* wr = static_cast<Wrap*>(self);
        {
            std::lock_guard<std::mutex> lock(wr->h->mutex);
            wr->h->pending.remove(wr->p);
            wr->h->cv.notify_all();
        }
        libusb_free_transfer(wr->p->transfer);
        UsbCompletion* inner = wr->inner;
        delete wr->p;
        delete wr;
        inner->done(inner, error, bytes);
    };
    p->completion = w;
    {
        std::lock_guard<std::mutex> lock(h->mutex);
        h->pending.push_back(p);
    }
    int e = libusb_submit_transfer(p->transfer);
    if (e != 0) {
        {
            std::lock_guard<std::mutex> lock(h->mutex);
            h->pending.remove(p);
        }
        libusb_free_transfer(p->transfer);
        delete p;
        delete w;
        return mapError(e);
    }
    return kIoPending;
}

uint32_t ioControl(void* handle, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength,
                   uint32_t* returned, UsbCompletion* completion)
{
    auto* h = static_cast<Handle*>(handle);
    if (!h) return kInvalidHandle;
    *returned = 0;
    libusb_device* dev = libusb_get_device(h->dev);
    switch (code) {
    case kDriverVersion:
    case kUsbdiVersion: {
        if (outLength < 4) return kInvalidParameter;
        const libusb_version* v = libusb_get_version();
        putLe32(out, uint32_t(v->major) << 16 | uint32_t(v->minor) << 8 | (v->micro & 0xFF));
        *returned = 4;
        return kOk;
    }
    case kAltSetting:
        if (outLength < 1) return kInvalidParameter;
        out[0] = 0;
        *returned = 1;
        return kOk;
    case kUsbAddress:
        if (outLength < 1) return kInvalidParameter;
        out[0] = libusb_get_device_address(dev);
        *returned = 1;
        return kOk;
    case kDeviceSpeed: {
        if (outLength < 4) return kInvalidParameter;
        int s = libusb_get_device_speed(dev);
        putLe32(out, s == LIBUSB_SPEED_HIGH ? 2u : s >= LIBUSB_SPEED_SUPER ? 4u : s == LIBUSB_SPEED_FULL ? 1u : 0u);
        *returned = 4;
        return kOk;
    }
    case kDeviceName:
    case kFriendlyName: {
        libusb_device_descriptor d{};
        libusb_get_device_descriptor(dev, &d);
        std::string name = deviceString(h->dev, d.iProduct);
        if (code == kFriendlyName) name = deviceString(h->dev, d.iManufacturer) + " " + name;
        std::memset(out, 0, outLength);
        if (outLength) std::strncpy(reinterpret_cast<char*>(out), name.c_str(), outLength - 1);
        *returned = outLength;
        return kOk;
    }
    case kControlTransfer: {
        if (inLength < kHeaderSize) return kInvalidParameter;
        uint32_t dl = getLe32(in + hdr::DataLength);
        if (dl > inLength - kHeaderSize) return kInvalidParameter;
        unsigned timeout = getLe32(in + hdr::TimeoutSec) * 1000u;
        int r = libusb_control_transfer(h->dev, in[hdr::RequestType], in[hdr::Request], getLe16(in + hdr::Value),
                                        getLe16(in + hdr::Index), in + kHeaderSize, uint16_t(dl), timeout);
        putLe32(in + hdr::UsbdStatus, r < 0 ? kUsbdStallPid : 0);
        putLe32(in + hdr::NtStatus, r < 0 ? kNtUnsuccessful : 0);
        if (r < 0) return mapError(r);
        *returned = kHeaderSize + uint32_t(r);
        return kOk;
    }
    case kBufferedTransfer:
    case kDirectTransfer:
        return transfer(h, code, in, inLength, out, outLength, returned, completion);
    case kResetPipe: {
        if (inLength < 1) return kInvalidParameter;
        int r = libusb_clear_halt(h->dev, in[0]);
        return r ? mapError(r) : kOk;
    }
    case kAbortPipe: {
        if (inLength < 1) return kInvalidParameter;
        std::unique_lock<std::mutex> lock(h->mutex);
        for (Pending* p : h->pending) {
            if (p->endpoint == in[0]) libusb_cancel_transfer(p->transfer);
        }
        h->cv.wait_for(lock, std::chrono::seconds(2), [&] {
            for (Pending* p : h->pending)
                if (p->endpoint == in[0]) return false;
            return true;
        });
        return kOk;
    }
    case kCyclePort:
    case kResetParentPort: {
        int r = libusb_reset_device(h->dev);
        return r ? mapError(r) : kOk;
    }
    case kSetTransferSize:
        if (inLength < 5) return kInvalidParameter;
        *returned = 5;
        return kOk;
    default:
        return kInvalidParameter;
    }
}

void closeHandle(void* handle)
{
    auto* h = static_cast<Handle*>(handle);
    {
        std::unique_lock<std::mutex> lock(h->mutex);
        for (Pending* p : h->pending) libusb_cancel_transfer(p->transfer);
        h->cv.wait(lock, [&] { return h->pending.empty(); });
    }
    libusb_release_interface(h->dev, 0);
    libusb_close(h->dev);
    Context* ctx = h->ctx;
    delete h;
    std::thread events;
    {
        std::lock_guard<std::mutex> lock(ctx->mutex);
        if (--ctx->open == 0) {
            ctx->stop = true;
            events = std::move(ctx->events);
        }
    }
    if (events.joinable()) {
        libusb_interrupt_event_handler(ctx->usb);
        events.join();
    }
}

}  // namespace

const UsbDriverBackend* libusbBackend()
{
    static Context* ctx = [] {
        auto* c = new Context;  // lives as long as the process
        if (libusb_init(&c->usb) != 0) {
            VKVX_LOG(log::Error, "libusb cannot be initialised; no USB 3 instrument is visible");
            delete c;
            return static_cast<Context*>(nullptr);
        }
        c->backend.name = "libusb";
        c->backend.context = c;
        c->backend.enumerate = enumerate;
        c->backend.open = openPath;
        c->backend.close = closeHandle;
        c->backend.ioControl = ioControl;
        return c;
    }();
    return ctx ? &ctx->backend : nullptr;
}

}  // namespace vkvx::usb
