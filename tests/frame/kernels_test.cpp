// Every YCbCr-to-RGB kernel this processor can run, on every combination of
// the three input bytes, is bit-identical to the formula.  The export uses
// only the best kernel; the others serve older processors and are proved here.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "frame/FrameCommon.h"
#include "frame/reference.h"

namespace {

using vkvx::frame::Kernel;

class Kernels : public ::testing::TestWithParam<Kernel> {
protected:
    void SetUp() override
    {
        if (!vkvx::frame::kernelAvailable(GetParam())) {
            GTEST_SKIP() << "this processor lacks the instructions";
        }
    }
};

TEST_P(Kernels, EveryInputCombinationMatchesTheFormula)
{
    const size_t pixels = size_t(1) << 24;
    std::vector<uint8_t> src(pixels * 4), out(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        src[i * 4 + 0] = static_cast<uint8_t>(i >> 16);
        src[i * 4 + 1] = static_cast<uint8_t>(i);
        src[i * 4 + 2] = static_cast<uint8_t>(i >> 8);
        src[i * 4 + 3] = static_cast<uint8_t>(i * 13);
    }
    for (uint32_t cm = 0; cm < 4; ++cm) {
        vkvx::frame::convertYCbCrWith(GetParam(), src.data(), 4, out.data(), pixels, cm);
        size_t bad = 0;
        for (size_t i = 0; i < pixels; ++i) {
            uint8_t want[4];
            frame_test::referencePixel(&src[i * 4], want, int(cm));
            if (std::memcmp(want, &out[i * 4], 4) != 0 && bad++ < 5) {
                ADD_FAILURE() << "colorimetry " << cm << " input " << int(src[i * 4]) << "," << int(src[i * 4 + 1])
                              << "," << int(src[i * 4 + 2]);
            }
        }
        EXPECT_EQ(bad, 0u) << "colorimetry " << cm;
    }
}

// 8-byte pixels of every length from 0 to 40 (vector bodies and tails); the
// low bytes must not matter.
TEST_P(Kernels, SixteenBitComponentsUseTheirHighBytes)
{
    std::mt19937 rng(5);
    for (size_t pixels = 0; pixels <= 40; ++pixels) {
        std::vector<uint8_t> src(pixels * 8), out(pixels * 4 + 4, 0xAB);
        for (auto& b : src) {
            b = static_cast<uint8_t>(rng());
        }
        for (uint32_t cm = 0; cm < 4; ++cm) {
            vkvx::frame::convertYCbCrWith(GetParam(), src.data(), 8, out.data(), pixels, cm);
            for (size_t i = 0; i < pixels; ++i) {
                const uint8_t in[4] = {src[i * 8 + 1], src[i * 8 + 3], src[i * 8 + 5], src[i * 8 + 7]};
                uint8_t want[4];
                frame_test::referencePixel(in, want, int(cm));
                ASSERT_EQ(std::memcmp(want, &out[i * 4], 4), 0) << pixels << " pixels, pixel " << i;
            }
            EXPECT_EQ(out[pixels * 4], 0xAB) << "written past the end";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Frame, Kernels, ::testing::Values(Kernel::Plain, Kernel::Avx2, Kernel::Avx512),
                         [](const ::testing::TestParamInfo<Kernel>& info) {
                             return info.param == Kernel::Plain ? "Plain" : info.param == Kernel::Avx2 ? "Avx2" : "Avx512";
                         });

}  // namespace
