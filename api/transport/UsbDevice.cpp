#include "transport/UsbDevice.h"

#include <chrono>
#include <cstring>

#include "Log.h"
#include "platform/MessageBox.h"

namespace vkvx::usb {

// ---- UsbOverlapped ----------------------------------------------------------

UsbOverlapped::UsbOverlapped() { done = &UsbOverlapped::onDone; }

void UsbOverlapped::onDone(UsbCompletion* self, uint32_t error, uint32_t bytes)
{
    auto* ov = static_cast<UsbOverlapped*>(self);
    std::lock_guard<std::mutex> lock(ov->mutex_);
    ov->error = error;
    ov->bytes = bytes;
    ov->completed = true;
    ov->signalled_ = true;
    ov->cv_.notify_all();
}

bool UsbOverlapped::wait(int ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (ms < 0) {
        cv_.wait(lock, [this] { return signalled_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; })) {
        return false;
    }
    signalled_ = false;  // auto-reset
    return true;
}

// ---- UsbEndPoint -------------------------------------------------------------

UsbEndPoint::UsbEndPoint(const UsbDriverBackend* backend, void* handle, const EndpointDescriptor& d)
    : backend_(backend), handle_(handle), desc_(d)
{
    max_packet_size = effectivePacketSize(d);
}

std::unique_ptr<TransferContext> UsbEndPoint::issue(uint32_t code, std::vector<uint8_t> request, uint8_t* out,
                                                    uint32_t outLength, UsbOverlapped* ov)
{
    auto ctx = std::make_unique<TransferContext>();
    ctx->buffer = std::move(request);
    uint8_t* in = ctx->buffer.data();
    if (!out) {  // buffered: the request buffer is also the answer buffer
        out = in;
        outLength = uint32_t(ctx->buffer.size());
    }
    ctx->startError = backend_->ioControl(handle_, code, in, uint32_t(ctx->buffer.size()), out, outLength,
                                          &ctx->returned, ov);
    last_error = ctx->startError;
    // A pending request belongs to the driver until it completes: its status
    // words are read by FinishTransfer.
    if (ctx->startError != kIoPending) {
        nt_status = getLe32(in + hdr::NtStatus);
        usbd_status = getLe32(in + hdr::UsbdStatus);
    }
    return ctx;
}

std::unique_ptr<TransferContext> UsbEndPoint::StartDirectTransfer(uint8_t* buffer, uint32_t length,
                                                                  UsbOverlapped* ov)
{
    std::vector<uint8_t> header(kHeaderSize, 0);
    header[hdr::Endpoint] = desc_.address;
    return issue(kDirectTransfer, std::move(header), buffer, length, ov);
}

std::unique_ptr<TransferContext> UsbEndPoint::StartBufferedTransfer(uint8_t* buffer, uint32_t length,
                                                                    UsbOverlapped* ov)
{
    std::vector<uint8_t> request(kHeaderSize + size_t(length), 0);
    request[hdr::Endpoint] = desc_.address;
    putLe32(&request[hdr::DataOffset], kHeaderSize);
    putLe32(&request[hdr::DataLength], length);
    if (length && buffer) {
        std::memcpy(&request[kHeaderSize], buffer, length);
    }
    return issue(kBufferedTransfer, std::move(request), nullptr, 0, ov);
}

std::unique_ptr<TransferContext> UsbEndPoint::StartTransfer(uint8_t* buffer, uint32_t length, UsbOverlapped* ov)
{
    if (!handle_) {
        return nullptr;
    }
    return direct_mode == 1 ? StartDirectTransfer(buffer, length, ov) : StartBufferedTransfer(buffer, length, ov);
}

bool UsbEndPoint::AwaitTransfer(UsbOverlapped* ov, const TransferContext* context)
{
    last_error = context->startError;
    if (context->startError == kOk) {
        return true;
    }
    if (context->startError != kIoPending) {
        return false;
    }
    if (ov->wait(timeout_ms)) {
        return true;
    }
    AbortPipe();
    if (ov->wait(50)) {
        return true;
    }
    AbortPipe();
    return ov->wait(-1);
}

bool UsbEndPoint::FinishTransfer(uint8_t* buffer, uint32_t* length, UsbOverlapped* ov,
                                 std::unique_ptr<TransferContext> context)
{
    if (!context) {
        *length = 0;
        return false;
    }
    bool ok = false;
    uint32_t count = 0;
    if (context->startError == kOk) {
        ok = true;
        count = context->returned;
    } else if (context->startError == kIoPending && ov->completed) {
        ok = ov->error == kOk;
        count = ov->bytes;
        last_error = ov->error;
    }
    const uint8_t* header = context->buffer.data();
    uint32_t offset = getLe32(header + hdr::DataOffset);
    uint32_t moved = count > offset ? count - offset : 0;
    if (moved > *length) {
        moved = *length;  // never more than the caller's buffer holds
    }
    nt_status = getLe32(header + hdr::NtStatus);
    usbd_status = getLe32(header + hdr::UsbdStatus);
    bool copyBack = isIn() || (desc_.address == 0 && (header[hdr::RequestType] & 0x80));
    if (ok && offset && copyBack && moved && buffer) {
        size_t avail = context->buffer.size() > offset ? context->buffer.size() - offset : 0;
        if (moved > avail) moved = uint32_t(avail);
        std::memcpy(buffer, context->buffer.data() + offset, moved);
    }
    *length = moved;
    bytes_transferred = moved;
    return ok && nt_status == 0 && usbd_status == 0;
}

bool UsbEndPoint::Transfer(uint8_t* buffer, uint32_t* length)
{
    UsbOverlapped ov;
    auto context = StartTransfer(buffer, *length, &ov);
    if (!context) {
        *length = 0;
        return false;
    }
    bool done = AwaitTransfer(&ov, context.get());
    bool ok = FinishTransfer(buffer, length, &ov, std::move(context));
    return done && ok;
}

bool UsbEndPoint::ResetPipe()
{
    if (!handle_) return false;
    uint8_t a = desc_.address;
    uint32_t returned = 0;
    last_error = backend_->ioControl(handle_, kResetPipe, &a, 1, nullptr, 0, &returned, nullptr);
    return last_error == kOk;
}

bool UsbEndPoint::AbortPipe()
{
    if (!handle_) return true;
    uint8_t a = desc_.address;
    uint32_t returned = 0;
    UsbOverlapped ov;
    uint32_t e = backend_->ioControl(handle_, kAbortPipe, &a, 1, nullptr, 0, &returned, &ov);
    if (e == kIoPending) {
        ov.wait(-1);
    }
    return true;
}

void UsbEndPoint::SetTransferSize(uint32_t bytes)
{
    if (!handle_ || max_packet_size == 0) {
        return;
    }
    uint64_t size = (uint64_t(bytes) + max_packet_size - 1) / max_packet_size * max_packet_size;
    if (size > 0xFFFFFFFFu) size = 0xFFFFFFFFu / max_packet_size * max_packet_size;
    uint8_t buf[5];
    buf[0] = desc_.address;
    putLe32(buf + 1, uint32_t(size));
    uint32_t returned = 0;
    last_error = backend_->ioControl(handle_, kSetTransferSize, buf, 5, buf, 5, &returned, nullptr);
    transferSize_ = uint32_t(size);
}

// ---- UsbControlEndPoint ------------------------------------------------------

UsbControlEndPoint::UsbControlEndPoint(const UsbDriverBackend* backend, void* handle, const EndpointDescriptor& d)
    : UsbEndPoint(backend, handle, d)
{
    direct_mode = 0;
}

std::unique_ptr<TransferContext> UsbControlEndPoint::StartTransfer(uint8_t* buffer, uint32_t length,
                                                                   UsbOverlapped* ov)
{
    if (!handle_) {
        return nullptr;
    }
    std::vector<uint8_t> request(kHeaderSize + size_t(length), 0);
    request[hdr::RequestType] = uint8_t(direction << 7 | (request_type & 3) << 5 | (target & 31));
    request[hdr::Request] = request_code;
    putLe16(&request[hdr::Value], value);
    putLe16(&request[hdr::Index], index);
    putLe16(&request[hdr::Length], uint16_t(length));
    uint32_t seconds = uint32_t(timeout_ms) / 1000;
    if (timeout_ms > 0 && timeout_ms < 1000) seconds = 1;
    putLe32(&request[hdr::TimeoutSec], seconds);
    putLe32(&request[hdr::DataOffset], kHeaderSize);
    putLe32(&request[hdr::DataLength], length);
    if (length && buffer) {
        std::memcpy(&request[kHeaderSize], buffer, length);
    }
    return issue(kControlTransfer, std::move(request), nullptr, 0, ov);
}

bool UsbControlEndPoint::FinishTransfer(uint8_t* buffer, uint32_t* length, UsbOverlapped* ov,
                                        std::unique_ptr<TransferContext> context)
{
    return UsbEndPoint::FinishTransfer(buffer, length, ov, std::move(context));
}

// ---- UsbIsocEndPoint ---------------------------------------------------------

namespace {
std::vector<uint8_t> isoRequest(uint8_t address, uint32_t packets, bool buffered, const uint8_t* data,
                                uint32_t length)
{
    uint32_t iso = packets * 8;
    std::vector<uint8_t> r(kHeaderSize + iso + (buffered ? length : 0), 0);
    r[hdr::Endpoint] = address;
    putLe32(&r[hdr::IsoOffset], kHeaderSize);
    putLe32(&r[hdr::IsoLength], iso);
    if (buffered) {
        putLe32(&r[hdr::DataOffset], kHeaderSize + iso);
        putLe32(&r[hdr::DataLength], length);
        if (length && data) std::memcpy(&r[kHeaderSize + iso], data, length);
    }
    return r;
}
}  // namespace

std::unique_ptr<TransferContext> UsbIsocEndPoint::StartDirectTransfer(uint8_t* buffer, uint32_t length,
                                                                      UsbOverlapped* ov)
{
    uint32_t packets = max_packet_size ? (length + max_packet_size - 1) / max_packet_size : 0;
    if (!packets) return nullptr;
    return issue(kDirectTransfer, isoRequest(desc_.address, packets, false, nullptr, 0), buffer, length, ov);
}

std::unique_ptr<TransferContext> UsbIsocEndPoint::StartBufferedTransfer(uint8_t* buffer, uint32_t length,
                                                                        UsbOverlapped* ov)
{
    uint32_t packets = max_packet_size ? (length + max_packet_size - 1) / max_packet_size : 0;
    if (!packets) return nullptr;
    return issue(kBufferedTransfer, isoRequest(desc_.address, packets, true, buffer, length), nullptr, 0, ov);
}

bool UsbIsocEndPoint::FinishTransfer(uint8_t* buffer, uint32_t* length, UsbOverlapped* ov,
                                     std::unique_ptr<TransferContext> context)
{
    return UsbEndPoint::FinishTransfer(buffer, length, ov, std::move(context));
}

// ---- UsbDriverDevice ---------------------------------------------------------

UsbDriverDevice::UsbDriverDevice(const UsbDriverBackend* backend) : backend_(backend ? backend : usbBackend()) {}

UsbDriverDevice::~UsbDriverDevice() { CloseDevice(); }

std::vector<std::string> UsbDriverDevice::listPaths()
{
    std::vector<std::string> paths;
    if (!backend_) return paths;
    backend_->enumerate(
        backend_->context, [](void* user, const char* path) { static_cast<std::vector<std::string>*>(user)->push_back(path); },
        &paths);
    return paths;
}

uint8_t UsbDriverDevice::CountDevices()
{
    size_t n = listPaths().size();
    return uint8_t(n > 255 ? 255 : n);
}

bool UsbDriverDevice::ioSync(uint32_t code, uint8_t* buffer, uint32_t length)
{
    uint32_t returned = 0;
    uint32_t e = backend_->ioControl(handle_, code, buffer, length, buffer, length, &returned, nullptr);
    if (e != kOk || returned != length) {
        lastError_ = e != kOk ? e : uint32_t(kGenFailure);
        return false;
    }
    return true;
}

bool UsbDriverDevice::getDescriptor(uint16_t value, uint16_t index, std::vector<uint8_t>* out, uint16_t length)
{
    std::vector<uint8_t> r(kHeaderSize + size_t(length), 0);
    r[hdr::RequestType] = 0x80;
    r[hdr::Request] = 6;
    putLe16(&r[hdr::Value], value);
    putLe16(&r[hdr::Index], index);
    putLe16(&r[hdr::Length], length);
    putLe32(&r[hdr::TimeoutSec], 5);
    putLe32(&r[hdr::DataOffset], kHeaderSize);
    putLe32(&r[hdr::DataLength], length);
    uint32_t returned = 0;
    uint32_t e = backend_->ioControl(handle_, kControlTransfer, r.data(), uint32_t(r.size()), r.data(),
                                     uint32_t(r.size()), &returned, nullptr);
    if (e != kOk || getLe32(&r[hdr::UsbdStatus]) != 0 || getLe32(&r[hdr::NtStatus]) != 0) {
        lastError_ = e != kOk ? e : uint32_t(kGenFailure);
        return false;
    }
    uint32_t got = returned > kHeaderSize ? returned - kHeaderSize : 0;
    if (got > length) got = length;
    out->assign(r.begin() + kHeaderSize, r.begin() + kHeaderSize + got);
    return true;
}

bool UsbDriverDevice::readString(uint8_t index, std::u16string* out)
{
    std::vector<uint8_t> d;
    if (!index || !getDescriptor(uint16_t(0x0300 | index), language_, &d, 2) || d.size() < 2) {
        return false;
    }
    if (!getDescriptor(uint16_t(0x0300 | index), language_, &d, d[0])) {
        return false;
    }
    return parseString(d.data(), d.size(), out);
}

bool UsbDriverDevice::OpenIndex(int n)
{
    if (handle_) {
        CloseDevice();
    }
    if (!backend_) {
        return false;
    }
    std::vector<std::string> paths = listPaths();
    if (n < 0 || size_t(n) >= paths.size() || n >= 255) {
        return false;
    }
    if (paths[size_t(n)].size() > 255) {
        VKVX_LOG(log::Warning, "UsbDriverDevice::OpenIndex device path too long: %s", paths[size_t(n)].c_str());
        return false;
    }
    path_ = paths[size_t(n)];
    void* h = nullptr;
    uint32_t e = backend_->open(backend_->context, path_.c_str(), &h);
    if (e != kOk || !h) {
        lastError_ = e;
        handle_ = nullptr;
        return false;
    }
    handle_ = h;
    index_ = n;

    std::vector<uint8_t> d;
    if (!getDescriptor(0x0100, 0, &d, 18) || !parseDeviceDescriptor(d.data(), d.size(), &dev_)) {
        CloseDevice();
        return false;
    }
    ep0Max_ = ep0MaxPacket(dev_);
    if (getDescriptor(0x0300, 0, &d, 2) && d.size() >= 2 && getDescriptor(0x0300, 0, &d, d[0])) {
        language_ = chooseLanguage(d.data(), d.size());
    }
    readString(dev_.iManufacturer, &manufacturer_);
    readString(dev_.iProduct, &product_);
    readString(dev_.iSerialNumber, &serial_);

    bool usb2 = (dev_.bcdUSB & 0xFF00) == 0x0200;
    if ((dev_.bcdUSB & 0xFF00) == 0x0300) {
        bool ok = getDescriptor(0x0F00, 0, &d, 5) && d.size() >= 5;
        uint16_t total = ok ? getLe16(&d[2]) : 0;
        ok = ok && getDescriptor(0x0F00, 0, &d, total) && parseBos(d.data(), d.size(), &bos_);
        if (!ok) {
            messageBox("Wrong BOS Descriptor", "Please correct firmware BOS descriptor table");
            CloseDevice();
            return false;
        }
    }

    uint8_t b1 = 0;
    if (ioSync(kUsbAddress, &b1, 1)) usbAddress_ = b1;
    char name[256] = {};
    if (ioSync(kDeviceName, reinterpret_cast<uint8_t*>(name), 256)) std::memcpy(deviceName_, name, 256);
    char friendly[256] = {};
    if (ioSync(kFriendlyName, reinterpret_cast<uint8_t*>(friendly), 256)) std::memcpy(friendlyName_, friendly, 256);
    uint8_t b4[4] = {};
    driverVersion_ = ioSync(kDriverVersion, b4, 4) ? getLe32(b4) : 0;
    std::memset(b4, 0, 4);
    usbdiVersion_ = ioSync(kUsbdiVersion, b4, 4) ? getLe32(b4) : 0;
    std::memset(b4, 0, 4);
    if (ioSync(kDeviceSpeed, b4, 4)) {
        uint32_t speed = getLe32(b4);
        high_speed = speed == 2;
        super_speed = speed == 4;
    }

    for (int i = 0; i < dev_.numConfigurations; ++i) {
        Configuration c;
        bool ok = getDescriptor(uint16_t(0x0200 + i), 0, &d, 9) && d.size() >= 9;
        uint16_t total = ok ? getLe16(&d[2]) : 0;
        ok = ok && getDescriptor(uint16_t(0x0200 + i), 0, &d, total) && parseConfiguration(d.data(), d.size(), usb2, &c);
        if (!ok) {
            messageBox("Wrong Device Configuration", "Please correct firmware descriptor table");
            CloseDevice();
            return false;
        }
        configs_.push_back(std::move(c));
    }

    EndpointDescriptor ep0;
    control_ = std::make_unique<UsbControlEndPoint>(backend_, handle_, ep0);
    control_->max_packet_size = ep0Max_;

    if (!configs_.empty()) {
        uint8_t alt = 0;
        ioSync(kAltSetting, &alt, 1);
        const InterfaceSetting* current = nullptr;
        for (const auto& s : configs_[0].settings) {
            if (s.alternate == alt) {
                current = &s;
                break;
            }
        }
        if (current) {
            for (const auto& e : current->endpoints) {
                std::unique_ptr<UsbEndPoint> ep;
                switch (e.attributes & 3) {
                case 0: ep = std::make_unique<UsbControlEndPoint>(backend_, handle_, e); break;
                case 1: ep = std::make_unique<UsbIsocEndPoint>(backend_, handle_, e); break;
                case 2: ep = std::make_unique<UsbBulkEndPoint>(backend_, handle_, e); break;
                default: ep = std::make_unique<UsbInterruptEndPoint>(backend_, handle_, e); break;
                }
                ep->direct_mode = 1;
                bool in = (e.address & 0x80) != 0;
                UsbEndPoint** slot = nullptr;
                switch (e.attributes & 3) {
                case 1: slot = in ? &isocIn : &isocOut; break;
                case 2: slot = in ? &bulkIn : &bulkOut; break;
                case 3: slot = in ? &interruptIn : &interruptOut; break;
                default: break;
                }
                if (slot && !*slot) *slot = ep.get();
                endpoints_.push_back(std::move(ep));
            }
        }
    }
    return true;
}

void UsbDriverDevice::CloseDevice()
{
    isocIn = isocOut = bulkIn = bulkOut = interruptIn = interruptOut = nullptr;
    endpoints_.clear();
    control_.reset();
    configs_.clear();
    bos_ = BosDescriptor();
    manufacturer_.clear();
    product_.clear();
    serial_.clear();
    std::memset(deviceName_, 0, sizeof deviceName_);
    std::memset(friendlyName_, 0, sizeof friendlyName_);
    high_speed = super_speed = false;
    if (handle_) {
        backend_->close(handle_);
        handle_ = nullptr;
    }
    index_ = -1;
}

UsbEndPoint* UsbDriverDevice::FindEndpoint(uint8_t address)
{
    if (address == 0) {
        return control_.get();
    }
    for (auto& e : endpoints_) {
        if (e->address() == address) {
            return e.get();
        }
    }
    return nullptr;
}

void UsbDriverDevice::ResetHubPort()
{
    if (!handle_) return;
    uint32_t returned = 0;
    backend_->ioControl(handle_, kResetParentPort, nullptr, 0, nullptr, 0, &returned, nullptr);
}

void UsbDriverDevice::RecyclePort()
{
    if (!handle_) return;
    uint32_t returned = 0;
    backend_->ioControl(handle_, kCyclePort, nullptr, 0, nullptr, 0, &returned, nullptr);
}

}  // namespace vkvx::usb
