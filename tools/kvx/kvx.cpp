// kvx: command-line client of the VKVX API library.
//   kvx list
//   kvx modes DEVICE
//   kvx capture DEVICE [--mode M] [--frames N] [--size WxH] [--save DIR [--format ppm|bmp|jpeg]]
//   kvx info DEVICE
//   kvx reg read|write DEVICE ADDRESS [VALUE...]
//   kvx reinit DEVICE IMAGE
//   kvx log-listen [PORT] [--count N]
// DEVICE is a serial number or an index into the list.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/StatusTexts.h"
#include "vkvx.h"

// Receives the library's log datagrams (needs no initialisation).
int kvx_cmd_log_listen(int argc, char** argv);
// Commands of the USB 3 instruments (the library is initialised).
int kvx_cmd_info(int argc, char** argv);
int kvx_cmd_reg(int argc, char** argv);
int kvx_cmd_reinit(int argc, char** argv);

namespace {

const char* statusText(int32_t code)
{
    const char* text = vkvx::statusTableText(code);
    return text ? text : "Unknown error";
}

int usage()
{
    std::fprintf(stderr,
                 "usage: kvx list\n"
                 "       kvx modes DEVICE\n"
                 "       kvx capture DEVICE [--mode M] [--frames N] [--size WxH]\n"
                 "                          [--save DIR [--format ppm|bmp|jpeg]]\n"
                 "       kvx info DEVICE\n"
                 "       kvx reg read DEVICE ADDRESS [COUNT]\n"
                 "       kvx reg write DEVICE ADDRESS VALUE...\n"
                 "       kvx reinit DEVICE IMAGE\n"
                 "       kvx log-listen [PORT] [--count N]\n"
                 "DEVICE is a serial number (e.g. EMU001) or an index from 'kvx list'.\n");
    return 2;
}

std::vector<VKVX_DEVICE_INFO> enumerate()
{
    int32_t n = VKVX_EnumDevices(nullptr, 0);
    if (n <= 0) {
        return {};
    }
    std::vector<VKVX_DEVICE_INFO> devices(static_cast<size_t>(n));
    int32_t m = VKVX_EnumDevices(devices.data(), n);
    devices.resize(static_cast<size_t>(m < n ? (m < 0 ? 0 : m) : n));
    return devices;
}

bool findDevice(const char* name, VKVX_DEVICE_INFO& out)
{
    std::vector<VKVX_DEVICE_INFO> devices = enumerate();
    for (const VKVX_DEVICE_INFO& d : devices) {
        if (std::strncmp(d.SerialNumber, name, sizeof d.SerialNumber) == 0) {
            out = d;
            return true;
        }
    }
    char* end = nullptr;
    long index = std::strtol(name, &end, 10);
    if (end && *end == '\0' && index >= 0 && static_cast<size_t>(index) < devices.size()) {
        out = devices[static_cast<size_t>(index)];
        return true;
    }
    std::fprintf(stderr, "kvx: no device '%s' (see 'kvx list')\n", name);
    return false;
}

int cmdList()
{
    std::vector<VKVX_DEVICE_INFO> devices = enumerate();
    std::printf("%-5s %-10s %-20s %-17s %-8s %s\n", "INDEX", "TYPE", "DESCRIPTION", "SERIAL", "REVISION", "SLAVES");
    for (size_t i = 0; i < devices.size(); ++i) {
        const VKVX_DEVICE_INFO& d = devices[i];
        std::printf("%-5zu 0x%08X %-20.65s %-17.17s %-8u %d\n", i, d.DeviceType, d.Description, d.SerialNumber,
                    d.Revision, d.SlaveCount);
    }
    return 0;
}

int cmdModes(const char* name)
{
    VKVX_DEVICE_INFO info;
    if (!findDevice(name, info)) {
        return 1;
    }
    int32_t n = VKVX_EnumOperationModes(&info, nullptr, 0);
    if (n < 0) {
        std::fprintf(stderr, "kvx: modes: %s\n", statusText(n));
        return 1;
    }
    std::vector<VKVX_OPERATION_MODE> modes(static_cast<size_t>(n));
    n = VKVX_EnumOperationModes(&info, modes.data(), n);
    std::printf("%-4s %-40s %-9s %-9s %s\n", "MODE", "NAME", "FIRMWARE", "SOFTWARE", "TYPE");
    for (int32_t i = 0; i < n && static_cast<size_t>(i) < modes.size(); ++i) {
        const VKVX_OPERATION_MODE& m = modes[static_cast<size_t>(i)];
        char fw[16], sw[16];
        std::snprintf(fw, sizeof fw, "%u.%u", m.FirmwareMajor, m.FirmwareMinor);
        std::snprintf(sw, sizeof sw, "%u.%u", m.SoftwareMajor, m.SoftwareMinor);
        std::printf("%-4d %-40.65s %-9s %-9s %u\n", i, m.Name[0] ? m.Name : "(default)", fw, sw, m.ModeType);
    }
    return 0;
}

int cmdCapture(int argc, char** argv)
{
    if (argc < 1) {
        return usage();
    }
    const char* name = argv[0];
    int32_t mode = 0;
    long frames = 100;
    uint32_t width = 0, height = 0;
    std::string saveDir;
    int32_t fileFormat = VKVX_FILE_PPM;
    const char* extension = "ppm";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--save" && i + 1 < argc) {
            saveDir = argv[++i];
            continue;
        }
        if (a == "--format" && i + 1 < argc) {
            std::string f = argv[++i];
            if (f == "ppm") {
                fileFormat = VKVX_FILE_PPM;
            } else if (f == "bmp") {
                fileFormat = VKVX_FILE_BMP;
            } else if (f == "jpeg" || f == "jpg") {
                fileFormat = VKVX_FILE_JPEG;
                f = "jpg";
            } else {
                std::fprintf(stderr, "kvx: --format wants ppm, bmp or jpeg\n");
                return 2;
            }
            static std::string ext;
            ext = f;
            extension = ext.c_str();
            continue;
        }
        if (a == "--mode" && i + 1 < argc) {
            mode = static_cast<int32_t>(std::strtol(argv[++i], nullptr, 0));
        } else if (a == "--frames" && i + 1 < argc) {
            frames = std::strtol(argv[++i], nullptr, 0);
        } else if (a == "--size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%ux%u", &width, &height) != 2 || width > 0xFFFF || height > 0xFFFF) {
                std::fprintf(stderr, "kvx: --size wants WxH, each below 65536\n");
                return 2;
            }
        } else {
            return usage();
        }
    }
    VKVX_DEVICE_INFO info;
    if (!findDevice(name, info)) {
        return 1;
    }
    int32_t status = 0;
    VKVX_HANDLE h = VKVX_OpenDevice(&info, mode, &status);
    if (!h) {
        std::fprintf(stderr, "kvx: open %s: %s\n", info.SerialNumber, statusText(status));
        return 1;
    }
    int rc = 0;
    if (width && height) {
        status = VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, static_cast<int32_t>((width << 16) | height));
        if (status < 0) {
            std::fprintf(stderr, "kvx: frame size: %s\n", statusText(status));
        }
    }
    VKVX_AUDIO_INFO audio{};
    bool isAudio = VKVX_GetAudioInfo(h, &audio) == 0 && mode == 5;
    VKVX_FRAME frame{};
    status = isAudio ? VKVX_AllocateAudioBuffers(h, &frame, 1) : VKVX_AllocateFrameBuffers(h, &frame, 1);
    if (status < 0) {
        std::fprintf(stderr, "kvx: allocate buffers: %s\n", statusText(status));
        VKVX_CloseDevice(h);
        return 1;
    }
    status = VKVX_StartCapture(h);
    if (status < 0) {
        std::fprintf(stderr, "kvx: start capture: %s\n", statusText(status));
        rc = 1;
    } else {
        long good = 0, failed = 0;
        int32_t lastError = 0;
        auto t0 = std::chrono::steady_clock::now();
        for (long i = 0; i < frames; ++i) {
            int32_t s = VKVX_GetFrame(h, &frame);
            if (s >= 0 && !saveDir.empty() && !isAudio) {
                char path[4096];
                std::snprintf(path, sizeof path, "%s/frame_%05ld.%s", saveDir.c_str(), i, extension);
                int32_t written = VKVX_SaveFrameToFile(path, &frame, fileFormat);
                if (written < 0) {
                    std::fprintf(stderr, "kvx: save %s: %s\n", path, statusText(written));
                    s = written;
                }
            }
            if (s < 0) {
                ++failed;
                lastError = s;
            } else {
                ++good;
            }
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%s: %ld frames of %ux%u in %.3f s: %.1f frames/s, %ld failed\n", info.SerialNumber, good,
                    frame.Width, frame.Height, seconds, seconds > 0 ? good / seconds : 0.0, failed);
        if (failed) {
            std::printf("last failure: %s\n", statusText(lastError));
            rc = 1;
        }
        VKVX_StopCapture(h);
    }
    VKVX_FreeFrameBuffers(h, &frame, 1);
    VKVX_CloseDevice(h);
    return rc;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return usage();
    }
    if (std::strcmp(argv[1], "log-listen") == 0) {
        return kvx_cmd_log_listen(argc - 2, argv + 2);
    }
    int32_t init = VKVX_Initialize();
    if (init < 0) {
        std::fprintf(stderr, "kvx: initialise: %s\n", statusText(init));
        return 1;
    }
    std::string cmd = argv[1];
    int rc;
    if (cmd == "list") {
        rc = cmdList();
    } else if (cmd == "modes" && argc == 3) {
        rc = cmdModes(argv[2]);
    } else if (cmd == "capture") {
        rc = cmdCapture(argc - 2, argv + 2);
    } else if (cmd == "info") {
        rc = kvx_cmd_info(argc - 2, argv + 2);
    } else if (cmd == "reg") {
        rc = kvx_cmd_reg(argc - 2, argv + 2);
    } else if (cmd == "reinit") {
        rc = kvx_cmd_reinit(argc - 2, argv + 2);
    } else {
        rc = usage();
    }
    VKVX_CleanUp();
    return rc;
}
