/* The public header is plain C: records, constants and prototypes. */
#include <stddef.h>
#include <stdio.h>

#include "vkvx.h"

int main(void)
{
    VKVX_DEVICE_INFO devices[4];
    VKVX_FRAME frame = {0};
    int32_t status = 0;
    int32_t n;
    VKVX_HANDLE h;
    if (offsetof(VKVX_FRAME, Flags) != 53 || offsetof(VKVX_DEVICE_INFO, NextSlave) != 91 ||
        offsetof(VKVX_OPERATION_MODE, ModeType) != 93 || offsetof(VKVX_DP_TIMING, frame_rate) != 30) {
        puts("record layout differs");
        return 1;
    }
    if (VKVX_Initialize() != 1) {
        return 1;
    }
    n = VKVX_EnumDevices(devices, 4);
    h = VKVX_OpenDevice(&devices[n - 1], 0, &status);
    if (!h || VKVX_AllocateFrameBuffers(h, &frame, 1) != VKVX_OK || VKVX_GetFrame(h, &frame) != VKVX_OK) {
        return 1;
    }
    VKVX_FreeFrameBuffers(h, &frame, 1);
    VKVX_CloseDevice(h);
    return VKVX_CleanUp() == 0 ? 0 : 1;
}
