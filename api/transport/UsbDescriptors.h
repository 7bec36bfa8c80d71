// Pure parsers of USB descriptors as the FX3 devices report them: bytes in,
// records or a failure out, no driver types.  Fuzzed (fuzz/descriptors).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vkvx::usb {

struct DeviceDescriptor {
    uint16_t bcdUSB = 0;
    uint8_t deviceClass = 0, deviceSubClass = 0, deviceProtocol = 0;
    uint8_t maxPacketSize0 = 0;
    uint16_t idVendor = 0, idProduct = 0, bcdDevice = 0;
    uint8_t iManufacturer = 0, iProduct = 0, iSerialNumber = 0;
    uint8_t numConfigurations = 0;
};

struct EndpointDescriptor {
    uint8_t bLength = 0, bDescriptorType = 0, address = 0, attributes = 0;
    uint16_t wMaxPacketSize = 0;
    uint8_t interval = 0;
    // SuperSpeed endpoint companion; zero without one.
    uint8_t maxBurst = 0, companionAttributes = 0;
    uint16_t bytesPerInterval = 0;
    bool hasCompanion = false;
};

struct InterfaceSetting {
    uint8_t number = 0, alternate = 0, interfaceClass = 0, subClass = 0, protocol = 0;
    uint8_t numEndpoints = 0;
    // Settings of the same interface number within the configuration.
    uint8_t altSettings = 0;
    std::vector<EndpointDescriptor> endpoints;  // at most 31
};

struct Configuration {
    uint8_t numInterfaces = 0, value = 0, attributes = 0, maxPower = 0;
    uint16_t totalLength = 0;
    std::vector<InterfaceSetting> settings;  // at most 255
};

struct BosDescriptor {
    uint16_t totalLength = 0;
    uint8_t numCaps = 0;
    bool hasUsb2Extension = false;
    uint32_t usb2Attributes = 0;
    bool hasSuperSpeed = false;
    uint8_t ssAttributes = 0;
    uint16_t ssSpeedsSupported = 0;
    uint8_t ssFunctionality = 0, ssU1Latency = 0;
    uint16_t ssU2Latency = 0;
    bool hasContainerId = false;
    uint8_t containerId[16] = {};
};

constexpr size_t kMaxSettings = 255;
constexpr size_t kMaxEndpoints = 31;

// The 18-byte device descriptor; false when shorter or not of type 1.
bool parseDeviceDescriptor(const uint8_t* data, size_t length, DeviceDescriptor* out);
// Effective bMaxPacketSize0: the value for bcdUSB 2.x, else 2 to its power
// (0 when the power would not fit 16 bits).
uint16_t ep0MaxPacket(const DeviceDescriptor& d);
// A configuration descriptor with its sub-descriptors.  SuperSpeed
// companions are joined to the endpoint before them unless usb2 (bcdUSB
// 2.x).  False when a descriptor length is 0 or runs past the data, or the
// header is not a configuration descriptor.
bool parseConfiguration(const uint8_t* data, size_t length, bool usb2, Configuration* out);
// A BOS descriptor with its device capabilities; false when malformed.
bool parseBos(const uint8_t* data, size_t length, BosDescriptor* out);
// String descriptor 0: 0x0409 when offered, else the first language, else 0.
uint16_t chooseLanguage(const uint8_t* data, size_t length);
// A string descriptor's UTF-16 text (up to 128 characters); false when the
// answer is shorter than 3 bytes or not of type 3.
bool parseString(const uint8_t* data, size_t length, std::u16string* out);
// Effective packet size: (wMaxPacketSize & 0x7FF) x (bits 11-12 + 1); with a
// companion x (bMaxBurst + 1) truncated to 16 bits, isochronous endpoints
// further x ((companion attributes & 3) + 1).
uint16_t effectivePacketSize(const EndpointDescriptor& e);
// The driver status text of a USBD status word.
std::string statusText(uint32_t usbdStatus);

}  // namespace vkvx::usb
