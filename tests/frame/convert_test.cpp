// VKVX_FrameToRGB against a plain evaluation of the conversion formula.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "frame/reference.h"
#include "vkvx.h"

namespace {

using frame_test::referencePixel;

constexpr uint32_t kYCbCr444 = 2u << 16;

VKVX_FRAME frame(uint32_t w, uint32_t h, int32_t format, uint8_t bpe, void* buffer, uint32_t flags = 0)
{
    VKVX_FRAME f{};
    f.Width = w;
    f.Height = h;
    f.Format = format;
    f.BytesPerElement = bpe;
    f.Buffer = buffer;
    f.Flags = flags;
    return f;
}

// Reference of a whole conversion: 8-byte sources reduce to their high
// bytes first, RGB is then copied, YCbCr converted.
std::vector<uint8_t> reference(const std::vector<uint8_t>& src, size_t stride, uint32_t flags)
{
    const size_t pixels = src.size() / stride;
    std::vector<uint8_t> out(pixels * 4);
    const uint32_t cf = (flags >> 16) & 7, cm = (flags >> 20) & 3;
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t in[4];
        for (int j = 0; j < 4; ++j) {
            in[j] = stride == 8 ? src[i * 8 + 2 * j + 1] : src[i * 4 + j];
        }
        if (cf == 0) {
            std::memcpy(&out[i * 4], in, 4);
        } else {
            referencePixel(in, &out[i * 4], static_cast<int>(cm));
        }
    }
    return out;
}

TEST(FrameToRGB, KnownConversions)
{
    struct Case {
        uint8_t in[3];
        uint8_t out[3];
    };
    const Case cases[] = {
        {{200, 100, 50}, {227, 76, 0}},
        {{128, 16, 128}, {0, 0, 0}},
        {{128, 235, 128}, {255, 255, 255}},
    };
    for (const Case& c : cases) {
        // The same pixel as a 4-byte source and as the high bytes of an
        // 8-byte source.
        uint8_t four[4] = {c.in[0], c.in[1], c.in[2], 0x5A};
        uint8_t eight[8] = {0x11, c.in[0], 0x22, c.in[1], 0x33, c.in[2], 0x44, 0x5A};
        for (int bpe : {4, 8}) {
            uint8_t out[4] = {};
            VKVX_FRAME src = frame(1, 1, bpe == 4 ? 1 : 2, static_cast<uint8_t>(bpe), bpe == 4 ? four : eight,
                                   kYCbCr444 | 16u);
            VKVX_FRAME dst = frame(1, 1, 1, 4, out, 0xFFFFFFFF);
            ASSERT_EQ(VKVX_FrameToRGB(&src, &dst), 0);
            EXPECT_EQ(out[0], c.out[0]) << int(c.in[0]) << "," << int(c.in[1]) << "," << int(c.in[2]);
            EXPECT_EQ(out[1], c.out[1]);
            EXPECT_EQ(out[2], c.out[2]);
            EXPECT_EQ(out[3], 0x5A);  // the fourth byte is kept
            EXPECT_EQ(+dst.Flags, 16u);  // colour format cleared, other bits from the source
        }
    }
}

TEST(FrameToRGB, Usb3FrameInRgbTakesHighBytesAndKeepsFlags)
{
    std::vector<uint8_t> src(3 * 2 * 8);
    for (size_t i = 0; i < src.size(); ++i) {
        src[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    std::vector<uint8_t> out(3 * 2 * 4, 0xEE);
    VKVX_FRAME s = frame(3, 2, 2, 8, src.data(), 0);
    VKVX_FRAME d = frame(3, 2, 1, 4, out.data(), 0x123);
    ASSERT_EQ(VKVX_FrameToRGB(&s, &d), 0);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i], src[2 * i + 1]) << i;
    }
    EXPECT_EQ(+d.Flags, 0u);
}

TEST(FrameToRGB, RefusedInputChangesNothing)
{
    uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    const uint8_t untouched[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    struct Case {
        const char* what;
        VKVX_FRAME s, d;
        int32_t status;
    };
    const uint32_t big = 0xFFFFFFFFu;
    const Case cases[] = {
        {"colour format 4", frame(1, 1, 2, 8, src, 4u << 16), frame(1, 1, 1, 4, out, 7), VKVX_ERROR_NOT_SUPPORTED},
        {"colour format 7", frame(1, 1, 2, 8, src, 7u << 16), frame(1, 1, 1, 4, out, 7), VKVX_ERROR_NOT_SUPPORTED},
        {"null source buffer", frame(1, 1, 2, 8, nullptr), frame(1, 1, 1, 4, out, 7), VKVX_ERROR_INVALID_PARAMETER},
        {"null destination buffer", frame(1, 1, 2, 8, src), frame(1, 1, 1, 4, nullptr, 7),
         VKVX_ERROR_INVALID_PARAMETER},
        {"8-byte destination", frame(1, 1, 2, 8, src), frame(1, 1, 1, 8, out, 7), VKVX_ERROR_INVALID_PARAMETER},
        {"2-byte source", frame(1, 1, 2, 2, src), frame(1, 1, 1, 4, out, 7), VKVX_ERROR_INVALID_PARAMETER},
        {"absurd size", frame(big, big, 2, 8, src), frame(big, big, 1, 4, out, 7), VKVX_ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        VKVX_FRAME d = c.d;
        EXPECT_EQ(VKVX_FrameToRGB(&c.s, &d), c.status) << c.what;
        EXPECT_EQ(+d.Flags, 7u) << c.what;
        EXPECT_EQ(std::memcmp(out, untouched, 8), 0) << c.what;
    }
    VKVX_FRAME s = frame(1, 1, 2, 8, src), d = frame(1, 1, 1, 4, out);
    EXPECT_EQ(VKVX_FrameToRGB(nullptr, &d), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_FrameToRGB(&s, nullptr), VKVX_ERROR_INVALID_PARAMETER);
}

TEST(FrameToRGB, EmptyFrameOnlyClearsColourFormat)
{
    uint8_t src[8] = {}, out[4] = {1, 2, 3, 4};
    VKVX_FRAME s = frame(0, 5, 2, 8, src, kYCbCr444 | (3u << 20));
    VKVX_FRAME d = frame(0, 5, 1, 4, out);
    ASSERT_EQ(VKVX_FrameToRGB(&s, &d), 0);
    EXPECT_EQ(+d.Flags, 3u << 20);
    EXPECT_EQ(out[0], 1);
}

// A source of 4-byte pixels (colour modes 0 and 1 as the FTDI instruments
// deliver them) is read as 4-byte pixels: exactly its own bytes, never twice
// as many.  The buffers have their exact sizes so that a sanitizer sees any
// read past them.
TEST(FrameToRGB, FourBytePixelsAreReadAsTheyAre)
{
    std::mt19937 rng(7);
    const uint32_t w = 37, h = 5;
    for (int32_t format : {0, 1}) {
        for (uint32_t flags : {0u, kYCbCr444 | (1u << 20)}) {
            std::vector<uint8_t> src(w * h * 4);
            for (auto& b : src) {
                b = static_cast<uint8_t>(rng());
            }
            std::vector<uint8_t> out(w * h * 4);
            VKVX_FRAME s = frame(w, h, format, 4, src.data(), flags);
            VKVX_FRAME d = frame(w, h, format, 4, out.data());
            ASSERT_EQ(VKVX_FrameToRGB(&s, &d), 0);
            EXPECT_EQ(out, reference(src, 4, flags)) << format << " " << flags;
        }
    }
}

// Every combination of the three input bytes, in every colorimetry: the
// conversion is bit-identical to the formula.
TEST(FrameToRGB, EveryInputCombinationMatchesTheFormula)
{
    const uint32_t w = 4096, h = 4096;
    std::vector<uint8_t> src(size_t(w) * h * 4);
    for (uint32_t i = 0; i < w * h; ++i) {
        src[i * 4 + 0] = static_cast<uint8_t>(i);
        src[i * 4 + 1] = static_cast<uint8_t>(i >> 8);
        src[i * 4 + 2] = static_cast<uint8_t>(i >> 16);
        src[i * 4 + 3] = static_cast<uint8_t>(i * 31);
    }
    std::vector<uint8_t> out(src.size());
    for (uint32_t cm = 0; cm < 4; ++cm) {
        const uint32_t flags = (1u << 16) | (cm << 20);
        VKVX_FRAME s = frame(w, h, 1, 4, src.data(), flags);
        VKVX_FRAME d = frame(w, h, 1, 4, out.data());
        ASSERT_EQ(VKVX_FrameToRGB(&s, &d), 0);
        size_t bad = 0;
        for (uint32_t i = 0; i < w * h; ++i) {
            uint8_t want[4];
            referencePixel(&src[i * 4], want, static_cast<int>(cm));
            if (std::memcmp(want, &out[i * 4], 4) != 0 && bad++ < 5) {
                ADD_FAILURE() << "colorimetry " << cm << " input " << int(src[i * 4]) << "," << int(src[i * 4 + 1])
                              << "," << int(src[i * 4 + 2]);
            }
        }
        EXPECT_EQ(bad, 0u) << "colorimetry " << cm;
    }
}

// Random 8-byte frames of awkward sizes (vector bodies and tails), RGB and
// every YCbCr format, every colorimetry; also converted in place.
TEST(FrameToRGB, RandomFramesMatchTheFormula)
{
    std::mt19937 rng(1234);
    const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {17, 5}, {33, 33}, {1920, 4}, {15, 1}};
    for (const auto& size : sizes) {
        for (uint32_t cf = 0; cf < 4; ++cf) {
            for (uint32_t cm = 0; cm < 4; ++cm) {
                const uint32_t flags = (cf << 16) | (cm << 20) | 0x10;
                std::vector<uint8_t> src(size_t(size[0]) * size[1] * 8);
                for (auto& b : src) {
                    b = static_cast<uint8_t>(rng());
                }
                const std::vector<uint8_t> want = reference(src, 8, flags);
                std::vector<uint8_t> out(want.size());
                VKVX_FRAME s = frame(size[0], size[1], 2, 8, src.data(), flags);
                VKVX_FRAME d = frame(size[0], size[1], 2, 4, out.data());
                ASSERT_EQ(VKVX_FrameToRGB(&s, &d), 0);
                EXPECT_EQ(out, want) << size[0] << "x" << size[1] << " cf " << cf << " cm " << cm;
                EXPECT_EQ(+d.Flags, flags & ~(7u << 16));

                std::vector<uint8_t> inPlace = src;
                s.Buffer = d.Buffer = inPlace.data();
                ASSERT_EQ(VKVX_FrameToRGB(&s, &d), 0);
                EXPECT_TRUE(std::equal(want.begin(), want.end(), inPlace.begin())) << "in place";
            }
        }
    }
}

}  // namespace
