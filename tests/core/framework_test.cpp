// The device framework's internals: class registry order and replacement,
// creation failures, plugins (modes, options, frame processing), the worker
// threads of a master and its slaves, and the data folder.
#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DataFolder.h"
#include "Error.h"
#include "device/Plugin.h"
#include "device/Registry.h"
#include "test_support.h"

using namespace vkvx_test;

namespace {

std::atomic<int> g_alive{0};
std::atomic<int> g_workersStarted{0};

// An LVDS-type class for the framework: one device "KVX-E LV A"; mode 99
// fails like an instrument that cannot be opened; mode 7 opens a master
// with two slaves whose worker threads run every frame request.
class FakeLvds : public VKVX_Device {
public:
    explicit FakeLvds(const char* description = "KVX-E LV A") : description_(description) { ++g_alive; }
    FakeLvds(const VKVX_DEVICE_INFO& info, int32_t mode) : description_(info.Description)
    {
        ++g_alive;
        copyIdentity(info);
        if (mode == 7) {
            startWorker();
            for (int i = 0; i < 2; ++i) {
                auto* slave = new FakeLvds(info, -2);
                slave->startWorker();
                addSlave(slave);
            }
        }
        if (mode == 3) {
            auto serving = vkvx::plugins::serving(description());
            if (!serving.empty()) {
                setPlugin(serving.front());
            }
        }
    }
    ~FakeLvds() override
    {
        destroySlaves();
        stopWorker();
        --g_alive;
    }

    void WorkerStarted() override { ++g_workersStarted; }
    int32_t WorkerStep() override { return stepResult; }
    int32_t EnumDevices(VKVX_DEVICE_INFO* devices, int32_t capacity) override
    {
        if (devices && capacity >= 1) {
            std::memset(devices, 0, sizeof *devices);
            devices->DeviceType = VKVX_TYPE_USB_LVDS;
            std::strcpy(devices->Description, description_.c_str());
            std::strcpy(devices->SerialNumber, "FAKE01");
        }
        return 1;
    }
    VKVX_Device* CreateDevice(const VKVX_DEVICE_INFO& info, int32_t mode, bool) override
    {
        if (mode == 99) {
            throw VKVX_Error(VKVX_ERROR_OPEN_FAILED);
        }
        return new FakeLvds(info, mode);
    }
    uint32_t GetDeviceType() const override { return VKVX_TYPE_USB_LVDS; }
    int32_t SetDeviceOption(int32_t id, int32_t) override { return id == 1 ? 0 : VKVX_ERROR_NOT_SUPPORTED; }
    int32_t StartCapture() override { return 0; }
    int32_t StopCapture() override { return 0; }
    int32_t GetFrame(VKVX_FRAME*) override { return workerRunning() ? runWorkersOnChain() : 0; }
    int32_t GetFrameInfo(VKVX_FRAME_INFO* info) override
    {
        info->Width = 4;
        info->Height = 2;
        return 0;
    }
    bool IsInterlaced() override { return true; }
    int32_t GetTimingData(int32_t, VKVX_TIMING_DATA*, int32_t) override { return 0; }
    int32_t EnumConnectors(uint32_t*, int32_t) override { return 0; }
    int32_t SelectConnector(int32_t) override { return 0; }

    FakeLvds* slave(size_t i) { return static_cast<FakeLvds*>(slaves()[i]); }
    std::atomic<int32_t> stepResult{0};

private:
    std::string description_;
};

}  // namespace

class Framework : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("VKVX_PLUGIN_DIR", std::getenv("VKVX_TEST_PLUGINS"), 1);
        vkvx::Registry::instance().add(new FakeLvds());
        ASSERT_EQ(VKVX_Initialize(), 1);
        ++pluginLoads;
    }
    void TearDown() override
    {
        EXPECT_EQ(VKVX_CleanUp(), 0);
        vkvx::Registry::instance().remove(VKVX_TYPE_USB_LVDS);
        EXPECT_EQ(g_alive.load(), 0);
    }
    // Each initialisation cycle loads the plugin folder again and adds what
    // it finds to the plugin list.
    static inline int pluginLoads = 0;
    VKVX_DEVICE_INFO fakeInfo()
    {
        VKVX_DEVICE_INFO all[4];
        EXPECT_GE(VKVX_EnumDevices(all, 4), 2);
        EXPECT_EQ(vkvx_test::value(all[0].DeviceType), VKVX_TYPE_USB_LVDS);
        return all[0];
    }
};

TEST_F(Framework, RegistryWalksAscendingTypeCodesAndReplaces)
{
    VKVX_DEVICE_INFO one{};
    EXPECT_EQ(VKVX_EnumDevices(&one, 1), 2);  // LVDS (0x7100) before the emulated device
    EXPECT_STREQ(one.Description, "KVX-E LV A");
    vkvx::Registry::instance().add(new FakeLvds("KVX-E LV B"));
    EXPECT_EQ(VKVX_EnumDevices(&one, 1), 2);
    EXPECT_STREQ(one.Description, "KVX-E LV B");
    EXPECT_EQ(g_alive.load(), 1);  // the replaced prototype was destroyed
    vkvx::Registry::instance().add(new FakeLvds());
}

TEST_F(Framework, FailedCreationReleasesTheInUseLock)
{
    VKVX_DEVICE_INFO info = fakeInfo();
    int32_t status = 0;
    EXPECT_EQ(VKVX_OpenDevice(&info, 99, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_OPEN_FAILED);
    VKVX_HANDLE h = VKVX_OpenDevice(&info, 0, &status);
    ASSERT_NE(h, nullptr);
    VKVX_FRAME f{};
    ASSERT_EQ(VKVX_AllocateFrameBuffers(h, &f, 1), 0);
    EXPECT_EQ(vkvx_test::value(f.BytesPerElement), 4);  // colour mode 1 on a non-USB 3 class
    EXPECT_EQ(vkvx_test::value(f.Flags), VKVX_FLAG_INTERLACED);
    VKVX_FreeFrameBuffers(h, &f, 1);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
}

TEST_F(Framework, PluginModesOptionsAndFrameProcessing)
{
    VKVX_DEVICE_INFO info = fakeInfo();
    VKVX_OPERATION_MODE modes[16] = {};
    // Three built-in LVDS modes, then the one applicable plugin mode (of
    // every copy of the plugin in the list) numbered from 3.
    const int32_t total = 3 + pluginLoads;
    ASSERT_LE(total, 16);
    ASSERT_EQ(VKVX_EnumOperationModes(&info, modes, 16), total);
    for (int32_t i = 3; i < total; ++i) {
        EXPECT_EQ(vkvx_test::value(modes[i].ModeId), static_cast<uint32_t>(i));
        EXPECT_STREQ(modes[i].Name, "Plugin capture");
    }
    EXPECT_STREQ(modes[0].Name, "LVDS Basic Video Capture");
    EXPECT_EQ(vkvx_test::value(modes[0].SoftwareMajor), 1);
    EXPECT_EQ(vkvx_test::value(modes[0].SoftwareMinor), 6);
    EXPECT_EQ(vkvx_test::value(modes[1].ModeType), 3);
    EXPECT_EQ(vkvx_test::value(modes[3].ModeId), 3u);
    EXPECT_STREQ(modes[3].Name, "Plugin capture");
    // Capacity 2: two records, the full count.
    VKVX_OPERATION_MODE two[3] = {};
    EXPECT_EQ(VKVX_EnumOperationModes(&info, two, 2), total);
    EXPECT_EQ(two[2].Name[0], 0);

    int32_t status = 0;
    VKVX_HANDLE h = VKVX_OpenDevice(&info, 3, &status);
    ASSERT_NE(h, nullptr);
    void* self = dlopen((std::string(std::getenv("VKVX_TEST_PLUGINS")) + "/test_plugin.so").c_str(), RTLD_NOW);
    ASSERT_NE(self, nullptr);
    auto* last = static_cast<int32_t*>(dlsym(self, "test_plugin_last_option"));
    ASSERT_NE(last, nullptr);
    // The plugin sees every option first; the class's answer is returned.
    EXPECT_EQ(VKVX_SetOption(h, 2, 77), VKVX_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(last[0], 2);
    EXPECT_EQ(last[1], 77);
    // Its frame processing decides the status of a delivered frame.
    VKVX_FRAME f{};
    EXPECT_EQ(VKVX_GetFrame(h, &f), 5);
    dlclose(self);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
}

TEST_F(Framework, BrokenPluginIsSkipped)
{
    EXPECT_EQ(VKVX_CleanUp(), 0);
    setenv("VKVX_PLUGIN_DIR", std::getenv("VKVX_TEST_BROKEN_PLUGINS"), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(VKVX_Initialize(), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("NOT FOUND PLUGIN"), std::string::npos) << err;
    EXPECT_NE(err.find("broken_plugin.so"), std::string::npos) << err;
}

TEST_F(Framework, MasterAndSlavesWorkInParallelAndEndTogether)
{
    VKVX_DEVICE_INFO info = fakeInfo();
    int32_t status = 0;
    const int started = g_workersStarted.load();
    VKVX_HANDLE h = VKVX_OpenDevice(&info, 7, &status);
    ASSERT_NE(h, nullptr);
    auto* master = static_cast<FakeLvds*>(h);
    VKVX_FRAME f{};
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(VKVX_GetFrame(h, &f), 0);
    }
    EXPECT_EQ(g_workersStarted.load() - started, 3);
    // The master's failure wins, else the first failing slave in order.
    master->slave(1)->stepResult = VKVX_ERROR_SYNC_CABLE;
    EXPECT_EQ(VKVX_GetFrame(h, &f), VKVX_ERROR_SYNC_CABLE);
    master->slave(0)->stepResult = VKVX_ERROR_USB_IO;
    EXPECT_EQ(VKVX_GetFrame(h, &f), VKVX_ERROR_USB_IO);
    master->stepResult = VKVX_ERROR_TIMEOUT;
    EXPECT_EQ(VKVX_GetFrame(h, &f), VKVX_ERROR_TIMEOUT);
    // Closing the master ends every worker thread and destroys the slaves.
    EXPECT_EQ(g_alive.load(), 4);
    EXPECT_EQ(VKVX_CloseDevice(h), 0);
    EXPECT_EQ(g_alive.load(), 1);
}

TEST(DataFolder, BuildsVantrelKvxPaths)
{
    char templ[] = "/tmp/vkvx-data-XXXXXX";
    std::string base = mkdtemp(templ);
    setenv("VKVX_LOCAL_DATA_DIR", base.c_str(), 1);
    EXPECT_EQ(std::string(vkvx::dataFilePath("1234_5", "bin", false)), base + "/Vantrel/KVX/vkvx_1234_5.bin");
    struct stat st {};
    EXPECT_EQ(stat((base + "/Vantrel/KVX").c_str(), &st), 0);
    setenv("VKVX_SHARED_DATA_DIR", (base + "/shared").c_str(), 1);
    mkdir((base + "/shared").c_str(), 0755);
    EXPECT_EQ(std::string(vkvx::dataFilePath("a", "b", true)), base + "/shared/Vantrel/KVX/vkvx_a.b");
    // A base folder that does not exist: the maker folder cannot be created.
    setenv("VKVX_SHARED_DATA_DIR", (base + "/missing/deeper").c_str(), 1);
    EXPECT_EQ(std::string(vkvx::dataFilePath("a", "b", true)), "/KVX/vkvx_a.b");
}
