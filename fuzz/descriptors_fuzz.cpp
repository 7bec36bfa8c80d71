// Fuzzes the USB descriptor parsers: device, configuration (with and without
// SuperSpeed companions), BOS, language list and string descriptors.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_stubs.h"
#include "transport/UsbDescriptors.h"

using namespace vkvx::usb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DeviceDescriptor d;
    if (parseDeviceDescriptor(data, size, &d)) {
        (void)ep0MaxPacket(d);
    }
    for (bool usb2 : {false, true}) {
        Configuration c;
        if (parseConfiguration(data, size, usb2, &c)) {
            if (c.settings.size() > kMaxSettings) __builtin_trap();
            for (const auto& s : c.settings) {
                if (s.endpoints.size() > kMaxEndpoints) __builtin_trap();
                for (const auto& e : s.endpoints) (void)effectivePacketSize(e);
            }
        }
    }
    BosDescriptor b;
    (void)parseBos(data, size, &b);
    (void)chooseLanguage(data, size);
    std::u16string s;
    if (parseString(data, size, &s) && s.size() > 128) __builtin_trap();
    if (size >= 4) {
        (void)statusText(getLe32(data));
    }
    return 0;
}
