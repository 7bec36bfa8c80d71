// The built-in operation-mode and firmware tables of the instrument classes.
// The FPGA images themselves arrive with the JTAG player; until then the
// firmware records carry their identifiers and no chain description or image.
#pragma once

#include <cstdint>

#include "vkvx.h"

namespace vkvx::firmware {

// Number of built-in modes of a device type (3 for the hardware types).
int32_t modeCount(uint32_t type);
// Number of hardware revisions the firmware table knows for a device type.
int32_t revisions(uint32_t type);
// The built-in firmware of (type, mode, revision), or null.
const VKVX_FIRMWARE_IMAGE* get(uint32_t type, int32_t mode, int32_t revision);
// True when firmware id can run on a device of type.
bool applicable(uint32_t type, const char id[8]);
// The built-in mode record (type, mode index, revision), or null.
const VKVX_OPERATION_MODE* builtInMode(uint32_t type, int32_t mode, int32_t revision);

}  // namespace vkvx::firmware
