// VKVX_FrameCompare and VKVX_AnalyzeFrame.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "test_support.h"
#include "vkvx.h"

namespace {

VKVX_FRAME frame(uint32_t w, uint32_t h, int32_t format, void* buffer)
{
    VKVX_FRAME f{};
    f.Width = w;
    f.Height = h;
    f.Format = format;
    f.BytesPerElement = (format == 0 || format == 1) ? 4 : 8;
    f.Buffer = buffer;
    return f;
}

std::vector<uint8_t> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<uint8_t>(rng());
    }
    return v;
}

using FrameCompare = vkvx_test::Library;
using AnalyzeFrame = vkvx_test::Library;

TEST(FrameUtilities, NeedInitialisation)
{
    uint8_t px[8] = {};
    VKVX_FRAME f = frame(1, 1, 1, px);
    VKVX_TIMING_DATA t[8];
    EXPECT_EQ(VKVX_FrameCompare(&f, &f, &f, 1), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(VKVX_AnalyzeFrame(&f, 0, t, 8), VKVX_ERROR_NOT_INITIALIZED);
}

TEST_F(FrameCompare, XorAndAbsoluteDifferenceMatchAPlainLoop)
{
    const uint32_t w = 29, h = 7;  // vector bodies and tails
    for (int32_t format : {0, 1, 2, 3}) {
        const size_t bytes = size_t(w) * h * (format < 2 ? 4 : 8);
        auto a = randomBytes(bytes, 1), b = randomBytes(bytes, 2);
        for (int32_t method : {VKVX_COMPARE_XOR, VKVX_COMPARE_ABSDIFF}) {
            std::vector<uint8_t> r(bytes, 0xCC), want(bytes);
            for (size_t i = 0; i < bytes; ++i) {
                if (method == VKVX_COMPARE_XOR) {
                    want[i] = a[i] ^ b[i];
                } else if (format < 2) {
                    want[i] = static_cast<uint8_t>(std::abs(int(a[i]) - int(b[i])));
                }
            }
            if (method == VKVX_COMPARE_ABSDIFF && format >= 2) {
                for (size_t i = 0; i < bytes; i += 2) {
                    const int x = a[i] | a[i + 1] << 8, y = b[i] | b[i + 1] << 8;
                    const int d = std::abs(x - y);
                    want[i] = static_cast<uint8_t>(d);
                    want[i + 1] = static_cast<uint8_t>(d >> 8);
                }
            }
            VKVX_FRAME fa = frame(w, h, format, a.data()), fb = frame(w, h, format, b.data());
            VKVX_FRAME fr = frame(w, h, format, r.data());
            ASSERT_EQ(VKVX_FrameCompare(&fa, &fb, &fr, method), 0);
            EXPECT_EQ(r, want) << "format " << format << " method " << method;

            // The result may be one of the inputs.
            auto copy = a;
            VKVX_FRAME fc = frame(w, h, format, copy.data());
            ASSERT_EQ(VKVX_FrameCompare(&fc, &fb, &fc, method), 0);
            EXPECT_EQ(copy, want) << "in place";

            // Identical frames differ nowhere.
            ASSERT_EQ(VKVX_FrameCompare(&fa, &fa, &fr, method), 0);
            EXPECT_EQ(r, std::vector<uint8_t>(bytes, 0));
        }
    }
}

TEST_F(FrameCompare, RefusedComparisonsLeaveTheResultAlone)
{
    uint8_t a[64] = {1}, b[64] = {2}, r[64];
    std::memset(r, 0xCC, sizeof r);
    struct Case {
        const char* what;
        VKVX_FRAME a, b, r;
        int32_t method, status;
    };
    const Case cases[] = {
        {"format differs", frame(2, 2, 1, a), frame(2, 2, 0, b), frame(2, 2, 1, r), 1, VKVX_ERROR_INCOMPATIBLE_BUFFERS},
        {"result format differs", frame(2, 2, 1, a), frame(2, 2, 1, b), frame(2, 2, 2, r), 1,
         VKVX_ERROR_INCOMPATIBLE_BUFFERS},
        {"width differs", frame(2, 2, 1, a), frame(4, 1, 1, b), frame(2, 2, 1, r), 1, VKVX_ERROR_INCOMPATIBLE_BUFFERS},
        {"method 3", frame(2, 2, 1, a), frame(2, 2, 1, b), frame(2, 2, 1, r), 3, VKVX_ERROR_INVALID_PARAMETER},
        {"method 0 on format 4", frame(2, 2, 4, a), frame(2, 2, 4, b), frame(2, 2, 4, r), 0,
         VKVX_ERROR_INVALID_PARAMETER},
        {"format 4", frame(2, 2, 4, a), frame(2, 2, 4, b), frame(2, 2, 4, r), 1, VKVX_ERROR_COLOUR_SPACE},
        {"null buffer", frame(2, 2, 1, a), frame(2, 2, 1, nullptr), frame(2, 2, 1, r), 1,
         VKVX_ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        VKVX_FRAME result = c.r;
        EXPECT_EQ(VKVX_FrameCompare(&c.a, &c.b, &result, c.method), c.status) << c.what;
    }
    // Format 2 promises 8-byte elements: a record of 4-byte elements is too
    // small for that walk.
    VKVX_FRAME small = frame(2, 2, 2, a);
    small.BytesPerElement = 4;
    VKVX_FRAME fb = frame(2, 2, 2, b), fr = frame(2, 2, 2, r);
    EXPECT_EQ(VKVX_FrameCompare(&small, &fb, &fr, 1), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_FrameCompare(nullptr, &fb, &fr, 1), VKVX_ERROR_INVALID_PARAMETER);
    for (uint8_t v : r) {
        ASSERT_EQ(v, 0xCC);
    }
}

TEST_F(AnalyzeFrame, CountsAndBitActivity)
{
    // 4-byte pixels: all black, then component 2 of one pixel 0x80.
    std::vector<uint8_t> px(5 * 3 * 4, 0);
    VKVX_FRAME f = frame(5, 3, 1, px.data());
    VKVX_TIMING_DATA t[8];
    ASSERT_EQ(VKVX_AnalyzeFrame(&f, 0, t, 8), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(+t[i].Id, i + 1);
        EXPECT_EQ(+t[i].Value, 0u) << i;
    }
    EXPECT_EQ(+t[7].Id, 0xFFFE);
    EXPECT_EQ(+t[7].Value, 0u);

    px[4 * 6 + 2] = 0x80;
    ASSERT_EQ(VKVX_AnalyzeFrame(&f, 0, t, 8), 7);
    const uint32_t want4[7] = {1, 0, 0, 1, 0x8000, 0, 0};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(+t[i].Value, want4[i]) << i;
    }

    // 8-byte pixels: 16-bit components, no shift.
    std::vector<uint16_t> wide(4 * 2 * 4, 0);
    wide[0 * 4 + 0] = 0x0001;  // pixel 0, component 0
    wide[1 * 4 + 1] = 0x0300;  // pixel 1, component 1
    wide[2 * 4 + 1] = 0x8000;  // pixel 2, component 1
    wide[2 * 4 + 2] = 0x0010;  // pixel 2, component 2
    wide[3 * 4 + 3] = 0xFFFF;  // the fourth component is not looked at
    VKVX_FRAME g = frame(4, 2, 3, wide.data());
    ASSERT_EQ(VKVX_AnalyzeFrame(&g, 0, t, 7), 7);
    const uint32_t want8[7] = {1, 2, 1, 3, 0x0010, 0x8300, 0x0001};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(+t[i].Id, i + 1);
        EXPECT_EQ(+t[i].Value, want8[i]) << i;
    }
}

TEST_F(AnalyzeFrame, CapacityLimitsWhatIsWritten)
{
    uint8_t px[16] = {0, 0, 5};
    VKVX_FRAME f = frame(2, 2, 0, px);
    VKVX_TIMING_DATA t[10];
    std::memset(t, 0x11, sizeof t);
    ASSERT_EQ(VKVX_AnalyzeFrame(&f, 0, t, 3), 7);
    EXPECT_EQ(+t[0].Id, 1);
    EXPECT_EQ(+t[0].Value, 1u);
    EXPECT_EQ(+t[2].Id, 3);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(t)[3 * 6], 0x11);  // entry 3 untouched

    std::memset(t, 0x11, sizeof t);
    ASSERT_EQ(VKVX_AnalyzeFrame(&f, 0, t, 10), 7);
    EXPECT_EQ(+t[7].Id, 0xFFFE);
    for (size_t i = 8 * 6; i < 10 * 6; ++i) {
        EXPECT_EQ(reinterpret_cast<uint8_t*>(t)[i], 0xFF) << i;  // filled, not written
    }
    EXPECT_EQ(VKVX_AnalyzeFrame(&f, 0, nullptr, 0), 7);
}

TEST_F(AnalyzeFrame, RefusedRequests)
{
    uint8_t px[16] = {};
    VKVX_FRAME f = frame(2, 2, 0, px);
    VKVX_TIMING_DATA t[8];
    std::memset(t, 0x11, sizeof t);
    EXPECT_EQ(VKVX_AnalyzeFrame(&f, 1, t, 8), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_AnalyzeFrame(&f, 0, t, -1), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_AnalyzeFrame(nullptr, 0, t, 8), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_AnalyzeFrame(&f, 0, nullptr, 8), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(t)[0], 0x11);
    // An unsupported format is found after the array has been filled.
    VKVX_FRAME g = frame(2, 2, 4, px);
    EXPECT_EQ(VKVX_AnalyzeFrame(&g, 0, t, 2), VKVX_ERROR_COLOUR_SPACE);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(t)[0], 0xFF);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(t)[11], 0xFF);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(t)[12], 0x11);
}

}  // namespace
