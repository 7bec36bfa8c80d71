// What the fuzz targets link in place of the library's log, message box and
// backend choice: the parsers and transactions under test need nothing else.
#pragma once

#include <cstdarg>

#include "Log.h"
#include "platform/MessageBox.h"
#include "transport/UsbDriver.h"

namespace vkvx {
namespace log {
std::atomic<Logger*> g_logger{nullptr};
void write(uint16_t, const char*, ...) {}
void bytes(uint16_t, const void*, size_t) {}
}  // namespace log
void messageBox(const char*, const char*) {}
namespace usb {
const UsbDriverBackend* usbBackend() { return nullptr; }
}  // namespace usb
}  // namespace vkvx
