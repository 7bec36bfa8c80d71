#include "transport/UsbDescriptors.h"

#include "transport/UsbDriver.h"

namespace vkvx::usb {

bool parseDeviceDescriptor(const uint8_t* p, size_t length, DeviceDescriptor* out)
{
    if (!p || length < 18 || p[0] < 18 || p[1] != 1) {
        return false;
    }
    DeviceDescriptor d;
    d.bcdUSB = getLe16(p + 2);
    d.deviceClass = p[4];
    d.deviceSubClass = p[5];
    d.deviceProtocol = p[6];
    d.maxPacketSize0 = p[7];
    d.idVendor = getLe16(p + 8);
    d.idProduct = getLe16(p + 10);
    d.bcdDevice = getLe16(p + 12);
    d.iManufacturer = p[14];
    d.iProduct = p[15];
    d.iSerialNumber = p[16];
    d.numConfigurations = p[17];
    *out = d;
    return true;
}

uint16_t ep0MaxPacket(const DeviceDescriptor& d)
{
    if ((d.bcdUSB & 0xFF00) == 0x0200) {
        return d.maxPacketSize0;
    }
    return d.maxPacketSize0 < 16 ? uint16_t(1u << d.maxPacketSize0) : 0;
}

bool parseConfiguration(const uint8_t* p, size_t length, bool usb2, Configuration* out)
{
    if (!p || length < 9 || p[0] < 9 || p[1] != 2) {
        return false;
    }
    Configuration c;
    c.totalLength = getLe16(p + 2);
    c.numInterfaces = p[4];
    c.value = p[5];
    c.attributes = p[7];
    c.maxPower = p[8];
    size_t end = c.totalLength < length ? c.totalLength : length;
    size_t pos = p[0];
    InterfaceSetting* current = nullptr;
    while (pos + 2 <= end) {
        uint8_t len = p[pos];
        uint8_t type = p[pos + 1];
        if (len < 2 || pos + len > end) {
            return false;
        }
        if (type == 4) {
            if (len < 9 || c.settings.size() >= kMaxSettings) {
                return false;
            }
            InterfaceSetting s;
            s.number = p[pos + 2];
            s.alternate = p[pos + 3];
            s.numEndpoints = p[pos + 4];
            s.interfaceClass = p[pos + 5];
            s.subClass = p[pos + 6];
            s.protocol = p[pos + 7];
            c.settings.push_back(s);
            current = &c.settings.back();
        } else if (type == 5 && current) {
            if (len < 7 || current->endpoints.size() >= kMaxEndpoints) {
                return false;
            }
            EndpointDescriptor e;
            e.bLength = len;
            e.bDescriptorType = type;
            e.address = p[pos + 2];
            e.attributes = p[pos + 3];
            e.wMaxPacketSize = getLe16(p + pos + 4);
            e.interval = p[pos + 6];
            size_t next = pos + len;
            if (!usb2 && next + 2 <= end && p[next + 1] == 0x30) {
                uint8_t clen = p[next];
                if (clen < 6 || next + clen > end) {
                    return false;
                }
                e.maxBurst = p[next + 2];
                e.companionAttributes = p[next + 3];
                e.bytesPerInterval = getLe16(p + next + 4);
                e.hasCompanion = true;
                pos = next;
                len = clen;
            }
            current->endpoints.push_back(e);
        }
        pos += len;
    }
    for (auto& s : c.settings) {
        uint8_t n = 0;
        for (auto& t : c.settings) {
            n = uint8_t(n + (t.number == s.number));
        }
        s.altSettings = n;
    }
    *out = std::move(c);
    return true;
}

bool parseBos(const uint8_t* p, size_t length, BosDescriptor* out)
{
    if (!p || length < 5 || p[0] < 5 || p[1] != 0x0F) {
        return false;
    }
    BosDescriptor b;
    b.totalLength = getLe16(p + 2);
    b.numCaps = p[4];
    size_t end = b.totalLength < length ? b.totalLength : length;
    size_t pos = p[0];
    while (pos + 3 <= end) {
        uint8_t len = p[pos];
        if (len < 3 || pos + len > end || p[pos + 1] != 0x10) {
            return false;
        }
        const uint8_t* cap = p + pos;
        switch (cap[2]) {
        case 2:  // USB 2.0 extension
            if (len < 7) return false;
            b.hasUsb2Extension = true;
            b.usb2Attributes = getLe32(cap + 3);
            break;
        case 3:  // SuperSpeed device capability
            if (len < 10) return false;
            b.hasSuperSpeed = true;
            b.ssAttributes = cap[3];
            b.ssSpeedsSupported = getLe16(cap + 4);
            b.ssFunctionality = cap[6];
            b.ssU1Latency = cap[7];
            b.ssU2Latency = getLe16(cap + 8);
            break;
        case 4:  // container id
            if (len < 20) return false;
            b.hasContainerId = true;
            for (int i = 0; i < 16; ++i) b.containerId[i] = cap[4 + i];
            break;
        default:
            break;
        }
        pos += len;
    }
    *out = b;
    return true;
}

uint16_t chooseLanguage(const uint8_t* p, size_t length)
{
    if (!p || length < 4 || p[1] != 3) {
        return 0;
    }
    size_t end = p[0] < length ? p[0] : length;
    for (size_t i = 2; i + 1 < end; i += 2) {
        if (getLe16(p + i) == 0x0409) {
            return 0x0409;
        }
    }
    return getLe16(p + 2);
}

bool parseString(const uint8_t* p, size_t length, std::u16string* out)
{
    if (!p || length < 3 || p[1] != 3) {
        return false;
    }
    size_t end = p[0] < length ? p[0] : length;
    std::u16string s;
    for (size_t i = 2; i + 1 < end && s.size() < 128; i += 2) {
        s.push_back(char16_t(getLe16(p + i)));
    }
    *out = std::move(s);
    return true;
}

uint16_t effectivePacketSize(const EndpointDescriptor& e)
{
    uint32_t mult = ((e.wMaxPacketSize >> 11) & 3u) + 1;
    uint32_t size = (e.wMaxPacketSize & 0x7FFu) * mult;
    if (e.hasCompanion) {
        size = (size * (e.maxBurst + 1u)) & 0xFFFFu;
        if ((e.attributes & 3) == 1) {
            size = (size * ((e.companionAttributes & 3u) + 1)) & 0xFFFFu;
        }
    }
    return uint16_t(size);
}

std::string statusText(uint32_t status)
{
    if ((status & 0x0FFFFFFFu) == 0) {
        return "[state=SUCCESS status=USBD_STATUS_SUCCESS]";
    }
    std::string text;
    switch (status >> 28) {
    case 0x0: text = " [state=SUCCESS "; break;
    case 0x4: text = " [state=PENDING "; break;
    case 0x8: text = " [state=ERROR   "; break;
    case 0xC: text = " [state=STALLED "; break;
    default: break;
    }
    static const struct {
        uint32_t code;
        const char* name;
    } kNames[] = {
        {0xC0000001, "USBD_STATUS_CRC"},
        {0xC0000002, "USBD_STATUS_BTSTUFF"},
        {0xC0000003, "USBD_STATUS_DATA_TOGGLE_MISMATCH"},
        {0xC0000004, "USBD_STATUS_STALL_PID"},
        {0xC0000005, "USBD_STATUS_DEV_NOT_RESPONDING"},
        {0xC0000006, "USBD_STATUS_PID_CHECK_FAILURE"},
        {0xC0000007, "USBD_STATUS_UNEXPECTED_PID"},
        {0xC0000008, "USBD_STATUS_DATA_OVERRUN"},
        {0xC0000009, "USBD_STATUS_DATA_UNDERRUN"},
        {0xC000000A, "USBD_STATUS_RESERVED1"},
        {0xC000000B, "USBD_STATUS_RESERVED2"},
        {0xC000000C, "USBD_STATUS_BUFFER_OVERRUN"},
        {0xC000000D, "USBD_STATUS_BUFFER_UNDERRUN"},
        {0xC000000F, "USBD_STATUS_NOT_ACCESSED"},
        {0xC0000010, "USBD_STATUS_FIFO"},
        {0xC0000030, "USBD_STATUS_ENDPOINT_HALTED"},
        {0xC0000A00, "USBD_STATUS_BAD_START_FRAME"},
        {0xC0000B00, "USBD_STATUS_ISOCH_REQUEST_FAILED"},
        {0xC0000C00, "USBD_STATUS_FRAME_CONTROL_OWNED"},
        {0xC0000D00, "USBD_STATUS_FRAME_CONTROL_NOT_OWNED"},
    };
    uint32_t key = status | 0xC0000000u;
    for (const auto& n : kNames) {
        if (n.code == key) {
            return text + "status=" + n.name + "]";
        }
    }
    return text + "status=UNKNOWN]";
}

}  // namespace vkvx::usb
