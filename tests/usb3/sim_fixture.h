// Fixtures of the USB 3 instrument tests: a simulated scenario installed
// in-process as the FX3 driver backend, and the library initialised over it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SimUsb3.h"
#include "transport/UsbDriver.h"
#include "vkvx.h"

namespace usb3_test {

class Sim : public ::testing::Test {
protected:
    // The scenario of the test (JSON).
    virtual std::string scenario() const
    {
        return R"({"instruments":[{"model":"KVX-P13","serial":"1A2B3C4D5E6F7G8H"}]})";
    }
    void SetUp() override
    {
        std::string error;
        sim = vkvx::sim::Simulator::fromJson(scenario(), &error);
        ASSERT_TRUE(sim) << error;
        vkvx::usb::installUsbBackend(sim->backend());
        ASSERT_EQ(VKVX_Initialize(), 1);
    }
    void TearDown() override
    {
        EXPECT_EQ(VKVX_CleanUp(), 0);
        vkvx::usb::installUsbBackend(nullptr);
        sim.reset();
    }
    // The device-list record of serial, from a real enumeration.
    VKVX_DEVICE_INFO find(const char* serial)
    {
        int32_t n = VKVX_EnumDevices(nullptr, 0);
        std::vector<VKVX_DEVICE_INFO> all(size_t(n > 0 ? n : 1));
        n = VKVX_EnumDevices(all.data(), n);
        for (int32_t i = 0; i < n; ++i) {
            if (std::strcmp(all[size_t(i)].SerialNumber, serial) == 0) return all[size_t(i)];
        }
        ADD_FAILURE() << "no device " << serial;
        return {};
    }
    VKVX_HANDLE open(const char* serial, int32_t mode = 0, int32_t* status = nullptr)
    {
        VKVX_DEVICE_INFO info = find(serial);
        int32_t s = 0;
        VKVX_HANDLE h = VKVX_OpenDevice(&info, mode, &s);
        if (status) *status = s;
        return h;
    }
    vkvx::sim::Instrument state(const char* serial = "") { return sim->snapshot(serial); }
    std::unique_ptr<vkvx::sim::Simulator> sim;
};

// An opened "KVX-P13" (serial 1A2B3C4D5E6F7G8H) in mode 0.
class Opened : public Sim {
protected:
    void SetUp() override
    {
        Sim::SetUp();
        int32_t status = 0;
        h = open("1A2B3C4D5E6F7G8H", 0, &status);
        ASSERT_NE(h, nullptr) << status;
    }
    void TearDown() override
    {
        if (h) {
            EXPECT_EQ(VKVX_CloseDevice(h), 0);
        }
        Sim::TearDown();
    }
    int outTransfers() { return state().outTransfers[0x01]; }
    VKVX_HANDLE h = nullptr;
};

}  // namespace usb3_test
