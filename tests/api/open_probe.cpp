// A second process for the in-use lock tests.
//   vkvx_open_probe try    : opens EMU001 and prints the status (0 or negative)
//   vkvx_open_probe crash  : opens EMU001, prints "held", waits for a line on
//                            standard input, then ends abnormally (abort)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vkvx.h"

int main(int argc, char** argv)
{
    if (argc != 2 || VKVX_Initialize() < 0) {
        return 2;
    }
    VKVX_DEVICE_INFO info[8];
    int32_t n = VKVX_EnumDevices(info, 8);
    const VKVX_DEVICE_INFO* emu = nullptr;
    for (int32_t i = 0; i < n && i < 8; ++i) {
        if (std::strcmp(info[i].SerialNumber, "EMU001") == 0) {
            emu = &info[i];
        }
    }
    if (!emu) {
        return 3;
    }
    int32_t status = 0;
    VKVX_HANDLE h = VKVX_OpenDevice(emu, 0, &status);
    if (std::strcmp(argv[1], "crash") == 0) {
        std::printf("%s\n", h ? "held" : "refused");
        std::fflush(stdout);
        char line[16];
        if (!std::fgets(line, sizeof line, stdin)) {
            line[0] = 0;
        }
        std::abort();
    }
    std::printf("%d\n", h ? 0 : status);
    if (h) {
        VKVX_CloseDevice(h);
    }
    VKVX_CleanUp();
    return 0;
}
