// A second process for the in-use test: lists the instruments through
// libVKVX.so (simulated by VKVX_SIMULATION) and tries to open the first USB 3
// instrument.  Prints "<description>|<open status>" and exits 0.
#include <cstdio>

#include "vkvx.h"

int main()
{
    if (VKVX_Initialize() < 1) return 2;
    VKVX_DEVICE_INFO list[4] = {};
    int32_t n = VKVX_EnumDevices(list, 4);
    if (n < 2 || list[0].DeviceType != USB3_MM_DEVICE_ID) {
        std::printf("no instrument (%d)\n", n);
        VKVX_CleanUp();
        return 3;
    }
    int32_t status = 0;
    VKVX_HANDLE h = VKVX_OpenDevice(&list[0], 0, &status);
    std::printf("%s|%d\n", list[0].Description, h ? 0 : status);
    if (h) VKVX_CloseDevice(h);
    VKVX_CleanUp();
    return 0;
}
