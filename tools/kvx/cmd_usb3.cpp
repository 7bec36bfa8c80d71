// kvx commands of the USB 3 instruments, on the public interface only:
//   kvx info DEVICE [--mode M]
//       the list record, the operation modes, and (opened) the connectors,
//       device capabilities and the combined firmware version
//   kvx reg read DEVICE ADDRESS [COUNT] [--mode M]
//   kvx reg write DEVICE ADDRESS VALUE... [--mode M]
//       register words of the device logic (numbers in C notation)
//   kvx reinit DEVICE IMAGE [--force] [--mode M]
//       loads the FPGA image of operation mode IMAGE
// DEVICE is a serial number or an index into 'kvx list'.  The caller may pass
// the command word as argv[0].
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vkvx.h"

int kvx_cmd_info(int argc, char** argv);
int kvx_cmd_reg(int argc, char** argv);
int kvx_cmd_reinit(int argc, char** argv);

namespace {

// Keeps the library initialised for one command (the count is shared with
// the caller's own initialisation).
struct Session {
    Session() : status(VKVX_Initialize()) {}
    ~Session()
    {
        if (status >= 0) VKVX_CleanUp();
    }
    int32_t status;
};

bool parseNumber(const char* text, long long min, long long max, long long& out)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 0);
    if (!end || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

// Drops the command word and takes "--mode M" / "--force" out of the
// arguments.
struct Args {
    std::vector<const char*> words;
    int32_t mode = 0;
    bool force = false;
    bool ok = true;
};
Args parse(int argc, char** argv, const char* command)
{
    Args a;
    for (int i = 0; i < argc; ++i) {
        if (i == 0 && std::strcmp(argv[i], command) == 0) continue;
        if (std::strcmp(argv[i], "--mode") == 0) {
            long long m = 0;
            if (i + 1 >= argc || !parseNumber(argv[i + 1], -1, 0x7FFFFFFF, m)) a.ok = false;
            a.mode = int32_t(m);
            ++i;
        } else if (std::strcmp(argv[i], "--force") == 0) {
            a.force = true;
        } else {
            a.words.push_back(argv[i]);
        }
    }
    return a;
}

bool findDevice(const char* name, VKVX_DEVICE_INFO& out)
{
    int32_t n = VKVX_EnumDevices(nullptr, 0);
    std::vector<VKVX_DEVICE_INFO> list(size_t(n > 0 ? n : 0));
    if (n > 0) {
        int32_t m = VKVX_EnumDevices(list.data(), n);
        list.resize(size_t(m < 0 ? 0 : (m < n ? m : n)));
    }
    for (const VKVX_DEVICE_INFO& d : list) {
        if (std::strncmp(d.SerialNumber, name, sizeof d.SerialNumber) == 0) {
            out = d;
            return true;
        }
    }
    long long index = 0;
    if (parseNumber(name, 0, 0x7FFFFFFF, index) && size_t(index) < list.size()) {
        out = list[size_t(index)];
        return true;
    }
    std::fprintf(stderr, "kvx: no device '%s' (see 'kvx list')\n", name);
    return false;
}

VKVX_HANDLE openDevice(const char* name, int32_t mode)
{
    VKVX_DEVICE_INFO info{};
    if (!findDevice(name, info)) return nullptr;
    int32_t status = 0;
    VKVX_HANDLE h = VKVX_OpenDevice(&info, mode, &status);
    if (!h) {
        std::fprintf(stderr, "kvx: cannot open %s: status %d%s\n", name, status,
                     status == VKVX_ERROR_DEVICE_IN_USE ? " (in use)" : "");
    }
    return h;
}

int usage(const char* text)
{
    std::fprintf(stderr, "usage: %s\n", text);
    return 2;
}

}  // namespace

int kvx_cmd_info(int argc, char** argv)
{
    Args a = parse(argc, argv, "info");
    if (!a.ok || a.words.size() != 1) return usage("kvx info DEVICE [--mode M]");
    Session session;
    if (session.status < 0) return 1;
    VKVX_DEVICE_INFO info{};
    if (!findDevice(a.words[0], info)) return 1;
    std::printf("device:      %.64s\nserial:      %.16s\ntype:        0x%08X\nrevision:    %u\n", info.Description,
                info.SerialNumber, unsigned(info.DeviceType), unsigned(info.Revision));
    int32_t n = VKVX_EnumOperationModes(&info, nullptr, 0);
    if (n > 0) {
        std::vector<VKVX_OPERATION_MODE> modes(static_cast<size_t>(n));
        n = VKVX_EnumOperationModes(&info, modes.data(), n);
        for (int32_t i = 0; i < n && size_t(i) < modes.size(); ++i) {
            const VKVX_OPERATION_MODE& m = modes[size_t(i)];
            std::printf("mode %2d:     id %d type %u fpga %u.%u sw %u.%u  %.64s\n", i, int(m.ModeId),
                        unsigned(m.ModeType), unsigned(m.FirmwareMajor), unsigned(m.FirmwareMinor),
                        unsigned(m.SoftwareMajor), unsigned(m.SoftwareMinor), m.Name);
        }
    } else if (n < 0) {
        std::printf("modes:       status %d\n", n);
    }
    VKVX_HANDLE h = VKVX_OpenDevice(&info, a.mode, &n);
    if (!h) {
        std::printf("open:        status %d\n", n);
        return 1;
    }
    uint32_t connectors[64] = {};
    int32_t c = VKVX_EnumConnectors(h, connectors, 64);
    std::printf("connectors:  %d\n", c);
    for (int32_t i = 0; i < c && i < 64; ++i) std::printf("  %2d: type 0x%05X\n", i, unsigned(connectors[i]));
    uint32_t caps[8] = {};
    int32_t nc = VKVX_GetDeviceCaps(h, caps, 8);
    std::printf("caps:       ");
    for (int32_t i = 0; i < nc && i < 8; ++i) std::printf(" %u", unsigned(caps[i]));
    std::printf("\n");
    uint32_t version = 0;
    int32_t vs = VKVX_GetCombinedVersion(h, &version);
    if (vs == 0) {
        std::printf("version:     %u.%u.%u\n", unsigned(version >> 16), unsigned((version >> 8) & 0xFF),
                    unsigned(version & 0xFF));
    } else {
        std::printf("version:     status %d\n", vs);
    }
    VKVX_CloseDevice(h);
    return 0;
}

int kvx_cmd_reg(int argc, char** argv)
{
    const char* text = "kvx reg read DEVICE ADDRESS [COUNT] | kvx reg write DEVICE ADDRESS VALUE... [--mode M]";
    Args a = parse(argc, argv, "reg");
    if (!a.ok || a.words.size() < 3) return usage(text);
    std::string op = a.words[0];
    long long address = 0;
    if (!parseNumber(a.words[2], 0, 0x7FFFFFFF, address)) return usage(text);
    std::vector<uint32_t> values;
    if (op == "read") {
        long long count = 1;
        if (a.words.size() > 4 || (a.words.size() == 4 && !parseNumber(a.words[3], 1, 2043, count))) {
            return usage(text);
        }
        values.resize(size_t(count));
    } else if (op == "write") {
        for (size_t i = 3; i < a.words.size(); ++i) {
            long long v = 0;
            if (!parseNumber(a.words[i], -0x80000000LL, 0xFFFFFFFFLL, v)) return usage(text);
            values.push_back(uint32_t(v));
        }
        if (values.empty()) return usage(text);
    } else {
        return usage(text);
    }
    Session session;
    if (session.status < 0) return 1;
    VKVX_HANDLE h = openDevice(a.words[1], a.mode);
    if (!h) return 1;
    int rc = 0;
    int32_t count = int32_t(values.size());
    if (op == "read") {
        int32_t r = VKVX_ReadRegister(h, int32_t(address), values.data(), count);
        if (r < 0) {
            std::fprintf(stderr, "kvx: read 0x%llX: status %d\n", address, r);
            rc = 1;
        } else {
            int32_t got = count == 1 ? 1 : r;
            for (int32_t i = 0; i < got; ++i) {
                std::printf("0x%04llX: 0x%08X\n", address + i, unsigned(values[size_t(i)]));
            }
        }
    } else {
        int32_t r = VKVX_WriteRegister(h, int32_t(address), values.data(), count);
        if (r < 0) {
            std::fprintf(stderr, "kvx: write 0x%llX: status %d\n", address, r);
            rc = 1;
        }
    }
    VKVX_CloseDevice(h);
    return rc;
}

int kvx_cmd_reinit(int argc, char** argv)
{
    const char* text = "kvx reinit DEVICE IMAGE [--force] [--mode M]";
    Args a = parse(argc, argv, "reinit");
    long long image = 0;
    if (!a.ok || a.words.size() != 2 || !parseNumber(a.words[1], 0, 0x7FFFFFFF, image)) return usage(text);
    Session session;
    if (session.status < 0) return 1;
    VKVX_HANDLE h = openDevice(a.words[0], a.mode);
    if (!h) return 1;
    int32_t r = VKVX_ReInitDevice(h, int32_t(image), a.force ? 1 : 0);
    if (r < 0) {
        std::fprintf(stderr, "kvx: reinit %lld: status %d\n", image, r);
    } else {
        std::printf("image %lld loaded\n", image);
    }
    VKVX_CloseDevice(h);
    return r < 0 ? 1 : 0;
}
