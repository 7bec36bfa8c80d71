// The viewer's binding of libVKVX.so.1, against small test libraries that
// carry their own version notes and lack chosen entries.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "ApiBinding.h"
#include "FakeApi.h"

namespace {

// Holds a test library open for the whole test so that its control entries
// stay reachable and its scripted state is the one the binding sees.
class FakeLibrary {
public:
    explicit FakeLibrary(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_) {
            reinterpret_cast<FakeApi_Reset_fn>(dlsym(handle_, "FakeApi_Reset"))(kFakeNoDevices);
        }
    }
    ~FakeLibrary()
    {
        if (handle_) {
            dlclose(handle_);
        }
    }
    int32_t count(const char* entry) const
    {
        return reinterpret_cast<FakeApi_Count_fn>(dlsym(handle_, "FakeApi_Count"))(entry);
    }
    void setResult(const char* entry, int32_t result) const
    {
        reinterpret_cast<FakeApi_SetResult_fn>(dlsym(handle_, "FakeApi_SetResult"))(entry, result);
    }
    bool ok() const { return handle_ != nullptr; }

private:
    void* handle_;
};

class BindingTest : public ::testing::Test {
protected:
    void TearDown() override { kvx::UnloadApiLibrary(); }
};

TEST_F(BindingTest, VersionCheckAcceptsOnly1xWithXAtLeast1)
{
    struct Case {
        const char* path;
        int32_t expected;
    } cases[] = {
        {VIEWER_FAKE_V10, VKVX_ERROR_VERSION},
        {VIEWER_FAKE_V21, VKVX_ERROR_VERSION},
        {VIEWER_FAKE_NO_NOTE, VKVX_ERROR_VERSION},
        {VIEWER_FAKE_API, (1 << 16) | 7},
        {"/nonexistent/libVKVX.so.1", VKVX_ERROR_LOAD_LIBRARY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(kvx::LoadApiLibrary(c.path), c.expected);
        EXPECT_EQ(kvx::ApiLibraryLoaded(), c.expected > 0);
        EXPECT_EQ(kvx::UnloadApiLibrary(), 0);
    }
    EXPECT_EQ((1 << 16) | 7, 65543);
}

TEST_F(BindingTest, LoadRecordsVersionAndInitialisesOnce)
{
    FakeLibrary fake(VIEWER_FAKE_API);
    ASSERT_TRUE(fake.ok());
    ASSERT_EQ(kvx::LoadApiLibrary(VIEWER_FAKE_API), 65543);
    const kvx::ApiVersion v = kvx::ApiLibraryVersion();
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 7);
    EXPECT_EQ(v.build, 9);
    EXPECT_EQ(fake.count("VKVX_Initialize"), 1);
    EXPECT_EQ(kvx::BindExtendedEntries(), 0);
    // Forwarded through each guard kind: L, LP and P.
    EXPECT_EQ(kvx::VKVX_EnumDevices(nullptr, 0), 0);
    EXPECT_EQ(kvx::VKVX_ReadRegister(nullptr, 0, nullptr, 0), 7);
    EXPECT_EQ(kvx::VKVX_DP_GetHPDStatus(nullptr, 0), 11);
    EXPECT_EQ(kvx::VKVX_GetConnectorState(nullptr, 0, nullptr), 3);
    // The entries this library does not have stay null and answer -5.
    EXPECT_EQ(kvx::UnloadApiLibrary(), 0);
    EXPECT_EQ(fake.count("VKVX_CleanUp"), 1);
}

TEST_F(BindingTest, MissingCountedEntryFailsTheLoadAndLeavesNothingBound)
{
    FakeLibrary fake(VIEWER_FAKE_NO_DTEST_RUN);
    ASSERT_TRUE(fake.ok());
    EXPECT_EQ(kvx::LoadApiLibrary(VIEWER_FAKE_NO_DTEST_RUN), VKVX_ERROR_FUNCTION_NOT_FOUND);
    EXPECT_STREQ(kvx::ApiLastMissingEntry(), "VKVX_DTest_Run");
    EXPECT_FALSE(kvx::ApiLibraryLoaded());
    EXPECT_EQ(fake.count("VKVX_Initialize"), 0);
    // Entries found before the failure were bound; none may be called now.
    EXPECT_EQ(kvx::VKVX_DP_GetHPDStatus(nullptr, 0), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(fake.count("VKVX_DP_GetHPDStatus"), 0);
}

TEST_F(BindingTest, MissingUncountedEntriesLoadAndAnswerNotInitialised)
{
    FakeLibrary fake(VIEWER_FAKE_NO_READREG);
    ASSERT_EQ(kvx::LoadApiLibrary(VIEWER_FAKE_NO_READREG), 65543);
    EXPECT_EQ(kvx::BindExtendedEntries(), 0);  // VKVX_PDC_Read is not counted
    uint32_t value = 0;
    EXPECT_EQ(kvx::VKVX_ReadRegister(nullptr, 0, &value, 1), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(kvx::VKVX_PDC_Read(nullptr, 0, &value, 1), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(kvx::VKVX_WriteRegister(nullptr, 0, &value, 1), 0);  // present: forwarded
}

TEST_F(BindingTest, MissingExtendedEntryIsReportedButTheLibraryStaysUsable)
{
    FakeLibrary fake(VIEWER_FAKE_NO_REINIT);
    ASSERT_EQ(kvx::LoadApiLibrary(VIEWER_FAKE_NO_REINIT), 65543);
    EXPECT_EQ(kvx::BindExtendedEntries(), VKVX_ERROR_FUNCTION_NOT_FOUND);
    EXPECT_STREQ(kvx::ApiLastMissingEntry(), "VKVX_ReInitDevice");
    EXPECT_EQ(kvx::VKVX_ReInitDevice(nullptr, 0, 0), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(kvx::VKVX_ReInitDevice(nullptr, 1, 1), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(kvx::VKVX_GetConnectorState(nullptr, 0, nullptr), 3);
    EXPECT_TRUE(kvx::ApiLibraryLoaded());
}

TEST_F(BindingTest, HandleEntriesBeforeLoadGiveNullAndNotInitialised)
{
    int32_t status = 0;
    EXPECT_EQ(kvx::VKVX_OpenDevice(nullptr, 0, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_NOT_INITIALIZED);
    status = 0;
    EXPECT_EQ(kvx::VP_CreateVideoView(0, nullptr, &status), nullptr);
    EXPECT_EQ(status, VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(kvx::VKVX_OpenDevice(nullptr, 0, nullptr), nullptr);  // no status to write
    EXPECT_EQ(kvx::VKVX_CleanUp(), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(kvx::VKVX_DP_GetHPDStatus(nullptr, 0), VKVX_ERROR_NOT_INITIALIZED);
}

TEST_F(BindingTest, InitialiseFailureKeepsTheLibraryAndUnloadCleansUp)
{
    FakeLibrary fake(VIEWER_FAKE_API);
    fake.setResult("VKVX_Initialize", VKVX_ERROR_INITIALIZATION);
    EXPECT_EQ(kvx::LoadApiLibrary(VIEWER_FAKE_API), VKVX_ERROR_INITIALIZATION);
    EXPECT_TRUE(kvx::ApiLibraryLoaded());
    EXPECT_EQ(kvx::VKVX_EnumDevices(nullptr, 0), 0);  // still bound and marked ready

    // A failing clean-up is returned and changes nothing.
    fake.setResult("VKVX_CleanUp", VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(kvx::UnloadApiLibrary(), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_TRUE(kvx::ApiLibraryLoaded());
    fake.setResult("VKVX_CleanUp", 0);
    EXPECT_EQ(kvx::UnloadApiLibrary(), 0);
    EXPECT_FALSE(kvx::ApiLibraryLoaded());
    // After unloading, guard-P wrappers refuse too.
    EXPECT_EQ(kvx::VKVX_DP_GetHPDStatus(nullptr, 0), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(fake.count("VKVX_DP_GetHPDStatus"), 0);
}

TEST(StatusText, TableAndStringForm)
{
    EXPECT_EQ(kvx::ApiStatusText(7), "(>= 0) Success");
    EXPECT_EQ(kvx::ApiStatusText(0), "(>= 0) Success");
    EXPECT_EQ(kvx::ApiStatusText(-24), "(-24) No video signal");
    EXPECT_EQ(kvx::ApiStatusText(-37), "(-37) Hardware failure");
    EXPECT_EQ(kvx::ApiStatusText(-33).rfind("(-33) ", 0), 0u);
    EXPECT_EQ(kvx::ApiStatusText(-38), "Unknown error -38");
    EXPECT_EQ(kvx::ApiStatusText(INT_MIN), "Unknown error -2147483648");

    char buffer[8];
    EXPECT_EQ(kvx::ApiStatusText(-38, buffer, sizeof buffer), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(kvx::ApiStatusText(INT_MIN, buffer, sizeof buffer), VKVX_ERROR_INVALID_PARAMETER);
    // A bounded copy: the length of the whole text, a terminated prefix.
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kvx::ApiStatusText(-24, buffer, sizeof buffer), 21);
    EXPECT_STREQ(buffer, "(-24) N");
    EXPECT_EQ(kvx::ApiStatusText(-24, nullptr, 0), 21);
}

}  // namespace
