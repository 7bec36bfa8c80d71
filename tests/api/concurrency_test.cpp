// One thread captures while another configures the same device: frames keep
// coming, statuses stay within the documented set, and (under ThreadSanitizer
// in CI) no data race occurs.
#include <atomic>
#include <thread>

#include "test_support.h"

using namespace vkvx_test;

class Concurrency : public Emulated {};

TEST_F(Concurrency, GetFrameWhileConfiguring)
{
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, (128 << 16) | 72), 0);
    VKVX_FRAME frame{};
    ASSERT_EQ(VKVX_AllocateFrameBuffers(h, &frame, 1), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> good{0}, refused{0}, other{0};
    std::thread capture([&] {
        while (!stop.load()) {
            int32_t s = VKVX_GetFrame(h, &frame);
            if (s == 0) {
                ++good;
            } else if (s == VKVX_ERROR_INCOMPATIBLE_BUFFERS) {
                ++refused;
            } else {
                ++other;
            }
        }
    });
    for (int i = 0; i < 400; ++i) {
        VKVX_FRAME_INFO fi{};
        EXPECT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, (i % 3 == 0) ? 2 : 1), 0);
        EXPECT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, ((64 + i) << 16) | 36), 0);
        EXPECT_EQ(VKVX_GetFrameInfo(h, &fi), 0);
        EXPECT_EQ(vkvx_test::value(fi.Width), static_cast<uint32_t>(64 + i));
        EXPECT_GE(VKVX_EnumDevices(nullptr, 0), 1);
    }
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 1), 0);
    while (good.load() < 10) {
        std::this_thread::yield();
    }
    stop = true;
    capture.join();
    EXPECT_EQ(other.load(), 0);
    EXPECT_GT(good.load(), 0);
    VKVX_FreeFrameBuffers(h, &frame, 1);
}

TEST_F(Concurrency, TwoDevicesOpenedAndClosedWhileCapturing)
{
    // A second device record (another serial) opens and closes while the
    // first delivers frames without the API lock.
    VKVX_FRAME frame{};
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, (32 << 16) | 8), 0);
    ASSERT_EQ(VKVX_AllocateFrameBuffers(h, &frame, 1), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::thread capture([&] {
        while (!stop.load()) {
            failures += VKVX_GetFrame(h, &frame) != 0;
        }
    });
    VKVX_DEVICE_INFO second = info;
    std::strcpy(second.SerialNumber, "EMU002");
    for (int i = 0; i < 200; ++i) {
        int32_t status = 0;
        VKVX_HANDLE other = VKVX_OpenDevice(&second, 0, &status);
        ASSERT_NE(other, nullptr) << status;
        EXPECT_EQ(VKVX_CloseDevice(other), 0);
    }
    stop = true;
    capture.join();
    EXPECT_EQ(failures.load(), 0);
    VKVX_FreeFrameBuffers(h, &frame, 1);
}
