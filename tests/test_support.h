// Shared fixtures of the library tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "vkvx.h"

namespace vkvx_test {

// A copy of a field of a byte-packed record: the comparison macros bind
// references, which a misaligned field must not be bound to.
template <class T>
T value(T field)
{
    return field;
}

// The record of the emulated instrument, from a real enumeration.
inline VKVX_DEVICE_INFO emulatedInfo()
{
    int32_t n = VKVX_EnumDevices(nullptr, 0);
    std::vector<VKVX_DEVICE_INFO> all(static_cast<size_t>(n > 0 ? n : 1));
    n = VKVX_EnumDevices(all.data(), n);
    for (int32_t i = 0; i < n; ++i) {
        if (std::strcmp(all[static_cast<size_t>(i)].SerialNumber, "EMU001") == 0) {
            return all[static_cast<size_t>(i)];
        }
    }
    ADD_FAILURE() << "no emulated device";
    return {};
}

// Initialises the library for one test and cleans up after it.
class Library : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(VKVX_Initialize(), 1); }
    void TearDown() override { EXPECT_EQ(VKVX_CleanUp(), 0); }
};

// An opened emulated instrument (mode 0 unless a test reopens it).
class Emulated : public Library {
protected:
    void SetUp() override
    {
        Library::SetUp();
        info = emulatedInfo();
        int32_t status = 0;
        h = VKVX_OpenDevice(&info, mode(), &status);
        ASSERT_NE(h, nullptr) << status;
    }
    virtual int32_t mode() const { return 0; }
    VKVX_DEVICE_INFO info{};
    VKVX_HANDLE h = nullptr;
};

}  // namespace vkvx_test
