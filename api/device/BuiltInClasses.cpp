// The built-in device classes, registered in the order USB3_MM, USB_DUMMY,
// USB_LVDS, USB_MLC, USB_VX1.  Each class folder adds its prototype here.
#include "device/Registry.h"
#include "emulated/USB_DUMMY.h"
#include "usb3/USB3_MM.h"

namespace vkvx {

void registerBuiltInClasses(Registry& registry)
{
    registry.add(new USB3_MM());
    registry.add(new USB_DUMMY());
}

}  // namespace vkvx
