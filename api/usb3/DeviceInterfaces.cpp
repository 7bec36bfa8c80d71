#include "usb3/DeviceInterfaces.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/InUseLock.h"

namespace vkvx::usb3 {

bool serialFromPath(const std::string& path, char serial[17])
{
    char key[32];
    std::snprintf(key, sizeof key, "vid_%04x&pid_0300", unsigned(VKVX_VENDOR_ID) & 0xFFFFu);
    size_t at = path.find(key);
    std::memset(serial, 0, 17);
    if (at == std::string::npos) {
        return false;
    }
    size_t start = at + 18;
    for (size_t i = 0; i < 16 && start + i < path.size(); ++i) {
        char c = path[start + i];
        if (c == '#' || c == '\0') {
            break;
        }
        serial[i] = char(std::toupper(static_cast<unsigned char>(c)));
    }
    return true;
}

void serialFromDescriptor(const std::u16string& text, char serial[17])
{
    std::memset(serial, 0, 17);
    size_t n = text.size() < 16 ? text.size() : 16;
    for (size_t i = 0; i < n; ++i) {
        serial[i] = char(text[i] & 0xFF);
        if (serial[i] == '\0') {
            n = i;
            break;
        }
    }
    if (n >= 12) {
        // Only pairs that lie inside the serial: exchanging a last odd
        // character with the terminating zero would cut the serial short.
        for (size_t i = 0; i + 1 < n; i += 2) {
            char even = serial[i];
            serial[i] = serial[i + 1];
            serial[i + 1] = char(std::toupper(static_cast<unsigned char>(even)));
        }
    }
}

int listDeviceInterfaces(const usb::UsbDriverBackend* backend, std::vector<VKVX_DEVICE_INFO>& list)
{
    if (!backend) {
        return int(list.size());
    }
    std::vector<std::string> paths;
    if (backend->enumerate(
            backend->context,
            [](void* user, const char* path) { static_cast<std::vector<std::string>*>(user)->push_back(path); },
            &paths) != usb::kOk) {
        return int(list.size());
    }
    for (const std::string& path : paths) {
        VKVX_DEVICE_INFO info;
        std::memset(&info, 0, sizeof info);
        if (!serialFromPath(path, info.SerialNumber)) {
            continue;
        }
        if (InUseLock::probe(info.SerialNumber)) {
            void* h = nullptr;
            if (backend->open(backend->context, path.c_str(), &h) == usb::kOk && h) {
                uint32_t returned = 0;
                auto* d = reinterpret_cast<uint8_t*>(info.Description);
                backend->ioControl(h, usb::kDeviceName, d, sizeof info.Description, d, sizeof info.Description,
                                   &returned, nullptr);
                info.Description[sizeof info.Description - 1] = '\0';
                backend->close(h);
            }
        } else {
            std::strcpy(info.Description, "< in use >");
        }
        list.push_back(info);
    }
    return int(list.size());
}

}  // namespace vkvx::usb3
