// Lists the driver's device interfaces as device-list records: serial number
// from the device path, description from the driver's device name, or
// "< in use >" when another holder has the instrument's in-use lock.
#pragma once

#include <string>
#include <vector>

#include "transport/UsbDriver.h"
#include "vkvx.h"

namespace vkvx::usb3 {

// Appends one record per interface of the maker's USB 3 instruments; returns
// the list's size.
int listDeviceInterfaces(const usb::UsbDriverBackend* backend, std::vector<VKVX_DEVICE_INFO>& list);

// The serial number carried by a device path (upper-cased, at most 16
// characters, ended by "#"); false when the path is not one of the maker's
// USB 3 instruments.  Pure.
bool serialFromPath(const std::string& path, char serial[17]);

// The serial of a string descriptor as the instrument reports it: at most 16
// narrow characters; from 12 characters on, the characters of each pair
// (0,1), (2,3) ... are exchanged and the one moving to the odd position is
// upper-cased.  Pure.
void serialFromDescriptor(const std::u16string& text, char serial[17]);

}  // namespace vkvx::usb3
