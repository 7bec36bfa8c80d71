// The host-side layer over the FX3 driver: UsbDriverDevice (counts, opens and
// describes the devices of the driver) and the endpoint classes with their
// overlapped transfers, time-outs, pipe reset and abort.  It carries no
// knowledge of the register protocol.  No locks: one endpoint object must not
// run two synchronous transfers at once; distinct endpoints may.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/UsbDescriptors.h"
#include "transport/UsbDriver.h"

namespace vkvx::usb {

// An overlapped record: the completion the backend signals and the event the
// layer waits for (auto-reset).
class UsbOverlapped : public UsbCompletion {
public:
    UsbOverlapped();
    // Waits up to ms (negative: without limit); true when signalled.
    bool wait(int ms);
    uint32_t error = kOk;
    uint32_t bytes = 0;
    bool completed = false;  // the request finished (at once or later)

private:
    static void onDone(UsbCompletion* self, uint32_t error, uint32_t bytes);
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

// Request context of a started transfer: the header (and the data behind it
// in buffered mode, or the packet information area).
struct TransferContext {
    std::vector<uint8_t> buffer;
    uint32_t startError = kOk;  // error left by the start
    uint32_t returned = 0;      // byte count of an immediate completion
};

class UsbEndPoint {
public:
    UsbEndPoint(const UsbDriverBackend* backend, void* handle, const EndpointDescriptor& d);
    virtual ~UsbEndPoint() = default;

    // ---- virtual operations, in slot order ----
    // Request 0x22004B: header (endpoint address only) as input, the
    // caller's buffer as output, overlapped.
    virtual std::unique_ptr<TransferContext> StartDirectTransfer(uint8_t* buffer, uint32_t length,
                                                                 UsbOverlapped* ov);
    // Request 0x220024: header followed by a copy of the data.
    virtual std::unique_ptr<TransferContext> StartBufferedTransfer(uint8_t* buffer, uint32_t length,
                                                                   UsbOverlapped* ov);
    // Direct or buffered by direct_mode; nothing when the handle is invalid.
    virtual std::unique_ptr<TransferContext> StartTransfer(uint8_t* buffer, uint32_t length,
                                                           UsbOverlapped* ov);
    // Collects the result; length becomes the bytes moved.  True when the
    // request succeeded and both status words are 0.
    virtual bool FinishTransfer(uint8_t* buffer, uint32_t* length, UsbOverlapped* ov,
                                std::unique_ptr<TransferContext> context);

    // Synchronous transfer with timeout_ms; on a time-out the pipe is
    // aborted and the wait continues 50 ms (then without limit after a second
    // abort).  True when completed with both status words 0.
    bool Transfer(uint8_t* buffer, uint32_t* length);
    // Step 3 of Transfer.
    bool AwaitTransfer(UsbOverlapped* ov, const TransferContext* context);
    bool ResetPipe();
    bool AbortPipe();
    // Sends the endpoint address and bytes rounded up to a multiple of
    // max_packet_size; nothing when the handle is invalid or the size is 0.
    void SetTransferSize(uint32_t bytes);
    // The size the last SetTransferSize sent (0 when none).
    uint32_t transferSize() const { return transferSize_; }

    uint8_t address() const { return desc_.address; }
    uint8_t attributes() const { return desc_.attributes; }
    const EndpointDescriptor& descriptor() const { return desc_; }
    bool isIn() const { return (desc_.address & 0x80) != 0; }

    uint16_t max_packet_size = 0;
    int timeout_ms = 10000;
    int direct_mode = 1;
    uint32_t usbd_status = 0;
    uint32_t nt_status = 0;
    uint32_t last_error = 0;
    uint32_t bytes_transferred = 0;

protected:
    std::unique_ptr<TransferContext> issue(uint32_t code, std::vector<uint8_t> request, uint8_t* out,
                                           uint32_t outLength, UsbOverlapped* ov);
    const UsbDriverBackend* backend_;
    void* handle_;
    EndpointDescriptor desc_;
    uint32_t transferSize_ = 0;
};

class UsbControlEndPoint : public UsbEndPoint {
public:
    UsbControlEndPoint(const UsbDriverBackend* backend, void* handle, const EndpointDescriptor& d);
    std::unique_ptr<TransferContext> StartTransfer(uint8_t* buffer, uint32_t length, UsbOverlapped* ov) override;
    bool FinishTransfer(uint8_t* buffer, uint32_t* length, UsbOverlapped* ov,
                        std::unique_ptr<TransferContext> context) override;

    uint8_t target = 0;        // recipient (5 bits), 0 = device
    uint8_t request_type = 2;  // 2 bits, 2 = vendor
    uint8_t direction = 0;     // 1 = device to host
    uint8_t request_code = 0;
    uint16_t value = 0;
    uint16_t index = 0;
};

class UsbBulkEndPoint : public UsbEndPoint {
public:
    using UsbEndPoint::UsbEndPoint;
};

class UsbInterruptEndPoint : public UsbEndPoint {
public:
    using UsbEndPoint::UsbEndPoint;
};

class UsbIsocEndPoint : public UsbEndPoint {
public:
    using UsbEndPoint::UsbEndPoint;
    // Both reserve 8 bytes of packet information per packet behind the
    // header (no request when the packet count is 0).
    std::unique_ptr<TransferContext> StartDirectTransfer(uint8_t* buffer, uint32_t length,
                                                         UsbOverlapped* ov) override;
    std::unique_ptr<TransferContext> StartBufferedTransfer(uint8_t* buffer, uint32_t length,
                                                           UsbOverlapped* ov) override;
    bool FinishTransfer(uint8_t* buffer, uint32_t* length, UsbOverlapped* ov,
                        std::unique_ptr<TransferContext> context) override;
};

class UsbDriverDevice {
public:
    // The backend stands for the driver's interface class; null: the
    // backend in use (usbBackend()).
    explicit UsbDriverDevice(const UsbDriverBackend* backend = nullptr);
    ~UsbDriverDevice();
    UsbDriverDevice(const UsbDriverDevice&) = delete;
    UsbDriverDevice& operator=(const UsbDriverDevice&) = delete;

    // Present devices, at most 255.
    uint8_t CountDevices();
    // Opens device index and parses its descriptors.
    bool OpenIndex(int index);
    void CloseDevice();
    bool IsOpen() const { return handle_ != nullptr; }
    // Endpoint of the current setting with address (0: the control
    // endpoint); null when absent.
    UsbEndPoint* FindEndpoint(uint8_t address);
    void ResetHubPort();
    void RecyclePort();
    static std::string StatusText(uint32_t usbdStatus) { return statusText(usbdStatus); }

    // accessors
    const std::string& devicePath() const { return path_; }
    const char* device_name() const { return deviceName_; }
    const char* friendly_name() const { return friendlyName_; }
    const std::u16string& manufacturer() const { return manufacturer_; }
    const std::u16string& product() const { return product_; }
    const std::u16string& serial_number() const { return serial_; }
    const DeviceDescriptor& deviceDescriptor() const { return dev_; }
    const BosDescriptor& bos() const { return bos_; }
    const std::vector<Configuration>& configurations() const { return configs_; }
    uint16_t bcdUSB() const { return dev_.bcdUSB; }
    uint16_t ep0MaxPacketSize() const { return ep0Max_; }
    uint16_t languageId() const { return language_; }
    uint32_t driverVersion() const { return driverVersion_; }
    uint32_t usbdiVersion() const { return usbdiVersion_; }
    uint8_t usbAddress() const { return usbAddress_; }
    bool high_speed = false;
    bool super_speed = false;
    int deviceIndex() const { return index_; }
    uint32_t lastError() const { return lastError_; }
    UsbControlEndPoint* controlEndPoint() { return control_.get(); }
    // The first endpoint of each kind (may be null).
    UsbEndPoint* isocIn = nullptr;
    UsbEndPoint* isocOut = nullptr;
    UsbEndPoint* bulkIn = nullptr;
    UsbEndPoint* bulkOut = nullptr;
    UsbEndPoint* interruptIn = nullptr;
    UsbEndPoint* interruptOut = nullptr;

private:
    bool ioSync(uint32_t code, uint8_t* buffer, uint32_t length);
    bool getDescriptor(uint16_t value, uint16_t index, std::vector<uint8_t>* out, uint16_t length);
    bool readString(uint8_t index, std::u16string* out);
    std::vector<std::string> listPaths();

    const UsbDriverBackend* backend_;
    void* handle_ = nullptr;
    int index_ = -1;
    std::string path_;
    DeviceDescriptor dev_;
    uint16_t ep0Max_ = 0;
    uint16_t language_ = 0;
    std::u16string manufacturer_, product_, serial_;
    char deviceName_[257] = {};
    char friendlyName_[257] = {};
    uint32_t driverVersion_ = 0, usbdiVersion_ = 0;
    uint8_t usbAddress_ = 0;
    BosDescriptor bos_;
    std::vector<Configuration> configs_;
    std::unique_ptr<UsbControlEndPoint> control_;
    std::vector<std::unique_ptr<UsbEndPoint>> endpoints_;  // current setting, in descriptor order
    uint32_t lastError_ = 0;
};

}  // namespace vkvx::usb
