// Enumeration, open and close, the in-use lock (in this and another
// process), device records, capabilities and operation modes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.h"

using namespace vkvx_test;

namespace {

// Runs the probe program in another process; returns what it printed.
std::string probe(const char* what)
{
    const char* exe = std::getenv("VKVX_OPEN_PROBE");
    if (!exe) {
        ADD_FAILURE() << "VKVX_OPEN_PROBE not set";
        return {};
    }
    std::string cmd = std::string(exe) + " " + what;
    FILE* p = popen(cmd.c_str(), "r");
    char line[64] = {};
    if (!p || !fgets(line, sizeof line, p)) {
        line[0] = 0;
    }
    if (p) {
        pclose(p);
    }
    std::string s = line;
    while (!s.empty() && (s.back() == '\n')) {
        s.pop_back();
    }
    return s;
}

// A probe process that holds EMU001 until it is told to crash.
struct Holder {
    pid_t pid = -1;
    int toChild = -1;
    std::string first;
    Holder()
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) {
            return;
        }
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            const char* exe = std::getenv("VKVX_OPEN_PROBE");
            execl(exe, exe, "crash", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toChild = in[1];
        char buf[32] = {};
        ssize_t n = read(out[0], buf, sizeof buf - 1);
        first.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
        close(out[0]);
    }
    int crash()
    {
        (void)!write(toChild, "x\n", 2);
        close(toChild);
        int st = 0;
        waitpid(pid, &st, 0);
        return st;
    }
};

}  // namespace

class Devices : public Library {};

TEST_F(Devices, EnumerationCountsTheEmulatedDevice)
{
    int32_t total = VKVX_EnumDevices(nullptr, 0);
    EXPECT_GE(total, 1);
    VKVX_DEVICE_INFO untouched;
    std::memset(&untouched, 0xA5, sizeof untouched);
    EXPECT_EQ(VKVX_EnumDevices(&untouched, 0), total);
    EXPECT_EQ(vkvx_test::value(untouched.DeviceType), 0xA5A5A5A5u);

    VKVX_DEVICE_INFO emu = emulatedInfo();
    EXPECT_EQ(vkvx_test::value(emu.DeviceType), VKVX_TYPE_USB_DUMMY);
    EXPECT_STREQ(emu.Description, "SW Emulated device");
    EXPECT_STREQ(emu.SerialNumber, "EMU001");
    EXPECT_EQ(vkvx_test::value(emu.Revision), 0);
    EXPECT_EQ(vkvx_test::value(emu.SlaveCount), 0);
    EXPECT_EQ(vkvx_test::value(emu.NextSlave), nullptr);
}

TEST_F(Devices, SecondOpenIsRefusedUntilClose)
{
    VKVX_DEVICE_INFO info = emulatedInfo();
    int32_t status = 0;
    VKVX_HANDLE a = VKVX_OpenDevice(&info, 0, &status);
    ASSERT_NE(a, nullptr);
    status = 0;
    EXPECT_EQ(VKVX_OpenDevice(&info, 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_DEVICE_IN_USE);
    EXPECT_EQ(VKVX_EnumOperationModes(&info, nullptr, 0), VKVX_ERROR_DEVICE_IN_USE);
    // Another process is refused as well.
    EXPECT_EQ(probe("try"), "-34");
    ASSERT_EQ(VKVX_CloseDevice(a), 0);
    EXPECT_EQ(probe("try"), "0");
    VKVX_HANDLE b = VKVX_OpenDevice(&info, 0, &status);
    ASSERT_NE(b, nullptr);
    // A successful open writes no status.
    status = 12345;
    VKVX_CloseDevice(b);
    b = VKVX_OpenDevice(&info, 0, &status);
    EXPECT_EQ(status, 12345);
    VKVX_CloseDevice(b);
}

TEST_F(Devices, LockOfACrashedProcessIsFreed)
{
    Holder holder;
    ASSERT_EQ(holder.first, "held\n");
    VKVX_DEVICE_INFO info = emulatedInfo();
    int32_t status = 0;
    EXPECT_EQ(VKVX_OpenDevice(&info, 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_DEVICE_IN_USE);
    int st = holder.crash();
    EXPECT_TRUE(WIFSIGNALED(st));
    VKVX_HANDLE h = VKVX_OpenDevice(&info, 0, &status);
    EXPECT_NE(h, nullptr) << status;
    VKVX_CloseDevice(h);
}

TEST_F(Devices, UnknownTypeLeavesNoLockBehind)
{
    VKVX_DEVICE_INFO info = emulatedInfo();
    VKVX_DEVICE_INFO unknown = info;
    unknown.DeviceType = 0x12345678;
    int32_t status = 0;
    EXPECT_EQ(VKVX_OpenDevice(&unknown, 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_DEVICE_NOT_RECOGNIZED);
    EXPECT_EQ(VKVX_EnumOperationModes(&unknown, nullptr, 0), VKVX_ERROR_DEVICE_NOT_RECOGNIZED);
    VKVX_HANDLE h = VKVX_OpenDevice(&info, 0, &status);
    EXPECT_NE(h, nullptr) << status;
    VKVX_CloseDevice(h);
    EXPECT_EQ(VKVX_OpenDevice(nullptr, 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_INVALID_PARAMETER);
}

TEST_F(Devices, SerialNumbersNeverNameAnotherPath)
{
    // A serial with path characters locks its own file, not "../x".
    VKVX_DEVICE_INFO info = emulatedInfo();
    std::strcpy(info.SerialNumber, "../../evil/x");
    int32_t status = 0;
    VKVX_HANDLE h = VKVX_OpenDevice(&info, 0, &status);
    ASSERT_NE(h, nullptr) << status;
    VKVX_DEVICE_INFO out{};
    EXPECT_EQ(VKVX_DeviceInfo(h, &out), 0);
    EXPECT_STREQ(out.SerialNumber, "../../evil/x");
    EXPECT_STREQ(out.Description, "SW Emulated device");
    VKVX_CloseDevice(h);
    // A record whose text fields are not terminated is read within bounds.
    std::memset(info.SerialNumber, 'S', sizeof info.SerialNumber);
    std::memset(info.Description, 'D', sizeof info.Description);
    h = VKVX_OpenDevice(&info, 0, &status);
    ASSERT_NE(h, nullptr) << status;
    EXPECT_EQ(VKVX_DeviceInfo(h, &out), 0);
    EXPECT_EQ(std::strlen(out.SerialNumber), 16u);
    EXPECT_EQ(std::strlen(out.Description), 64u);
    VKVX_CloseDevice(h);
}

class OpenEmulated : public Emulated {};

TEST_F(OpenEmulated, CapabilitiesConnectorsAndModes)
{
    uint32_t caps[3] = {0, 0, 0};
    EXPECT_EQ(VKVX_GetDeviceCaps(h, caps, 1), 2);
    EXPECT_EQ(caps[0], 1u);
    EXPECT_EQ(caps[1], 0u);
    EXPECT_EQ(VKVX_GetDeviceCaps(h, caps, 3), 2);
    EXPECT_EQ(caps[1], 2u);
    EXPECT_EQ(caps[2], 0u);
    EXPECT_EQ(VKVX_GetDeviceCaps(h, nullptr, 5), 2);

    uint32_t connectors[2] = {0, 0};
    EXPECT_EQ(VKVX_EnumConnectors(h, nullptr, 0), 1);
    EXPECT_EQ(VKVX_EnumConnectors(h, connectors, 2), 1);
    EXPECT_EQ(connectors[0], 1024u);
    EXPECT_EQ(VKVX_SelectConnector(h, 7), 0);

    VKVX_CloseDevice(h);
    h = nullptr;
    VKVX_OPERATION_MODE modes[2];
    std::memset(modes, 0xEE, sizeof modes);
    EXPECT_EQ(VKVX_EnumOperationModes(&info, nullptr, 0), 1);
    EXPECT_EQ(VKVX_EnumOperationModes(&info, modes, 2), 1);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&modes[0]);
    for (size_t i = 0; i < sizeof modes[0]; ++i) {
        ASSERT_EQ(bytes[i], 0) << i;
    }
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&modes[1])[0], 0xEE);
    EXPECT_EQ(VKVX_EnumOperationModes(&info, nullptr, 1), VKVX_ERROR_INVALID_PARAMETER);
}
