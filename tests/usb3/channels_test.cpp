// The two register channels of one instrument run independently, each
// serialised by its own lock, while the sequence counter is shared.
#include <atomic>
#include <thread>

#include "sim_fixture.h"
#include "usb3/USB3_MM.h"

namespace {

using Channels = usb3_test::Opened;

TEST_F(Channels, MainAndControllerChannelsFromTwoThreads)
{
    // The handle is the device object (this test links the library's objects).
    auto* device = dynamic_cast<USB3_MM*>(static_cast<VKVX_Device*>(h));
    ASSERT_NE(device, nullptr);
    std::atomic<int> failures{0};
    auto mainWork = [&](uint32_t base) {
        for (uint32_t i = 0; i < 200; ++i) {
            uint32_t v = base + i, r = 0;
            if (device->WriteRegister(int32_t(base), &v, 1) != 0 || device->ReadRegister(int32_t(base), &r, 1) != 0 ||
                r != v) {
                ++failures;
            }
        }
    };
    std::thread a(mainWork, 0x3000);
    std::thread b(mainWork, 0x4000);
    std::thread c([&] {
        for (int i = 0; i < 200; ++i) {
            uint32_t v = 0;
            if (device->ReadFX3(0, &v, 1) != 0 || v != 0x010101u) ++failures;
        }
    });
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures.load(), 0);
    uint32_t two[2] = {1, 2};
    EXPECT_EQ(device->WriteFX3(0x91, two, 2), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_WriteData(h, 0x3100, two, 2), 0);
    EXPECT_EQ(state().regs[0x3101], 2u);
    EXPECT_EQ(VKVX_WriteData(h, 0x3100, two, 0), VKVX_ERROR_INVALID_PARAMETER);
}

}  // namespace
