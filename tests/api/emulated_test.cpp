// The emulated instrument: options, geometry, gradient frames with the
// shared 12-frame counter, buffers, timing data, audio without capture.
#include <chrono>

#include "test_support.h"

using namespace vkvx_test;

class EmulatedVideo : public Emulated {
protected:
    void TearDown() override
    {
        if (frame.Buffer) {
            VKVX_FreeFrameBuffers(h, &frame, 1);
        }
        Emulated::TearDown();
    }
    VKVX_FRAME frame{};
};

namespace {

// The byte position (0, 1, 2) of a 4-byte frame's gradient, or -1.
int gradientPosition(const VKVX_FRAME& f)
{
    const uint8_t* last = static_cast<const uint8_t*>(f.Buffer) + (size_t(f.Height) - 1) * f.Width * 4;
    for (int b = 0; b < 3; ++b) {
        if (last[b] != 0) {
            return 2 - b;  // bits 16..23 first, then 8..15, then 0..7
        }
    }
    return -1;
}

}  // namespace

TEST_F(EmulatedVideo, TwelveFramesCycleThreeColourPositions)
{
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, (64 << 16) | 48), 0);
    ASSERT_EQ(VKVX_AllocateFrameBuffers(h, &frame, 1), 0);
    EXPECT_EQ(vkvx_test::value(frame.BytesPerElement), 4);
    EXPECT_EQ(vkvx_test::value(frame.Format), 1);
    std::vector<int> positions;
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < 13; ++i) {
        ASSERT_EQ(VKVX_GetFrame(h, &frame), 0);
        positions.push_back(gradientPosition(frame));
        const uint8_t* p = static_cast<const uint8_t*>(frame.Buffer);
        pictures.emplace_back(p, p + 64 * 48 * 4);
    }
    // Four frames per position, three positions, then the cycle repeats.
    int changes = 0;
    for (int i = 1; i < 12; ++i) {
        changes += positions[static_cast<size_t>(i)] != positions[static_cast<size_t>(i) - 1];
    }
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(pictures[12], pictures[0]);
    std::vector<int> sorted(positions.begin(), positions.begin() + 12);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}));

    // The ramp: line y holds (255 * y) / H in every pixel of the line.
    while (gradientPosition(frame) != 0) {
        ASSERT_EQ(VKVX_GetFrame(h, &frame), 0);
    }
    const uint8_t* p = static_cast<const uint8_t*>(frame.Buffer);
    for (uint32_t y = 0; y < 48; ++y) {
        for (uint32_t x = 0; x < 64; x += 21) {
            const uint8_t* px = p + (y * 64 + x) * 4;
            ASSERT_EQ(px[2], (255 * y) / 48) << y;
            ASSERT_EQ(px[0] | px[1] | px[3], 0);
        }
    }
}

TEST_F(EmulatedVideo, SixteenBitPixelsAndUntouchedSource4)
{
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, (8 << 16) | 100), 0);
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 2), 0);
    ASSERT_EQ(VKVX_AllocateFrameBuffers(h, &frame, 1), 0);
    EXPECT_EQ(vkvx_test::value(frame.BytesPerElement), 8);
    EXPECT_EQ(vkvx_test::value(frame.Format), 2);
    // Find the frame whose ramp lies in bits 32..47.
    const uint64_t* px = static_cast<const uint64_t*>(frame.Buffer);
    for (int i = 0; i < 12 && (px[99 * 8] >> 32) == 0; ++i) {
        ASSERT_EQ(VKVX_GetFrame(h, &frame), 0);
    }
    for (uint32_t y = 0; y < 100; ++y) {
        EXPECT_EQ(px[y * 8 + 3], static_cast<uint64_t>((65535 * y) / 100) << 32);
    }
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 4), 0);
    std::memset(frame.Buffer, 0x5A, 8 * 100 * 8);
    ASSERT_EQ(VKVX_GetFrame(h, &frame), 0);
    EXPECT_EQ(px[0], 0x5A5A5A5A5A5A5A5Aull);
}

TEST_F(EmulatedVideo, OptionsAndGeometry)
{
    VKVX_FRAME_INFO fi{};
    ASSERT_EQ(VKVX_GetFrameInfo(h, &fi), 0);
    EXPECT_EQ(vkvx_test::value(fi.Width), 1920u);
    EXPECT_EQ(vkvx_test::value(fi.Height), 1080u);
    EXPECT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, 640 * 65536 + 360), 0);
    ASSERT_EQ(VKVX_GetFrameInfo(h, &fi), 0);
    EXPECT_EQ(vkvx_test::value(fi.Width), 640u);
    EXPECT_EQ(vkvx_test::value(fi.Height), 360u);
    struct Case {
        int32_t value;
        int32_t status;
    };
    for (Case c : {Case{5, -8}, Case{99, -8}, Case{-1, -8}, Case{127, -8}, Case{126, 0}, Case{100, 0}, Case{0, 0}}) {
        EXPECT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, c.value), c.status) << c.value;
    }
    // Unknown options are accepted and ignored.
    EXPECT_EQ(VKVX_SetOption(h, 12345, 1), 0);
    EXPECT_EQ(VKVX_SetOption(h, VKVX_OPTION_TIMEOUT, -5), 0);
    EXPECT_EQ(VKVX_StartCapture(h), 0);
    EXPECT_EQ(VKVX_StopCapture(h), 0);
}

TEST_F(EmulatedVideo, Buffers)
{
    // Count 0 touches nothing.
    EXPECT_EQ(VKVX_AllocateFrameBuffers(h, nullptr, 0), 0);
    // An audio source is no colour mode: no video buffers.
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 101), 0);
    EXPECT_EQ(VKVX_AllocateFrameBuffers(h, &frame, 1), VKVX_ERROR_COLOUR_SPACE);
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 1), 0);

    // Several buffers, zero-filled, each with its own memory.
    VKVX_FRAME frames[3] = {};
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, (16 << 16) | 9), 0);
    ASSERT_EQ(VKVX_AllocateFrameBuffers(h, frames, 3), 0);
    EXPECT_NE(vkvx_test::value(frames[0].Buffer), vkvx_test::value(frames[1].Buffer));
    for (const VKVX_FRAME& f : frames) {
        EXPECT_EQ(vkvx_test::value(f.Width), 16u);
        EXPECT_EQ(vkvx_test::value(f.Height), 9u);
        EXPECT_EQ(vkvx_test::value(f.Flags), 0u);
        const uint8_t* b = static_cast<const uint8_t*>(f.Buffer);
        EXPECT_EQ(std::count(b, b + 16 * 9 * 4, 0), 16 * 9 * 4);
    }
    EXPECT_EQ(VKVX_FreeFrameBuffers(h, frames, 3), 0);
    EXPECT_EQ(vkvx_test::value(frames[2].Buffer), nullptr);
    EXPECT_EQ(vkvx_test::value(frames[2].Width), 0u);
    // A record already freed is accepted.
    EXPECT_EQ(VKVX_FreeFrameBuffers(h, frames, 3), 0);
}

TEST_F(EmulatedVideo, FrameThatCannotBeHeldGivesOutOfMemory)
{
    // 65535 x 65535 pixels of 8 bytes: 34 GB, more than this machine holds.
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 3), 0);
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, static_cast<int32_t>(0xFFFFFFFFu)), 0);
    VKVX_FRAME frames[2] = {};
    EXPECT_EQ(VKVX_AllocateFrameBuffers(h, frames, 2), VKVX_ERROR_OUT_OF_MEMORY);
}

TEST_F(EmulatedVideo, FramesThatDoNotFitAreRefused)
{
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_FRAME_SIZE, (32 << 16) | 8), 0);
    ASSERT_EQ(VKVX_AllocateFrameBuffers(h, &frame, 1), 0);
    EXPECT_EQ(VKVX_GetFrame(h, nullptr), VKVX_ERROR_INVALID_PARAMETER);
    VKVX_FRAME bad = frame;
    bad.Buffer = nullptr;
    EXPECT_EQ(VKVX_GetFrame(h, &bad), VKVX_ERROR_INVALID_PARAMETER);
    bad = frame;
    bad.Width = 0;
    EXPECT_EQ(VKVX_GetFrame(h, &bad), VKVX_ERROR_INVALID_PARAMETER);
    // 4-byte buffer, 8-byte source: refused instead of written past the end.
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 2), 0);
    EXPECT_EQ(VKVX_GetFrame(h, &frame), VKVX_ERROR_INCOMPATIBLE_BUFFERS);
    // Delivery clears the flags of every frame it fills.
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 1), 0);
    frame.Flags = 0xFFFF;
    EXPECT_EQ(VKVX_GetFrame(h, &frame), 0);
    EXPECT_EQ(vkvx_test::value(frame.Flags), 0u);
}

TEST_F(EmulatedVideo, TimingData)
{
    VKVX_TIMING_DATA data[60];
    std::memset(data, 0xFF, sizeof data);
    EXPECT_EQ(VKVX_GetVideoTimingData(h, 0, nullptr, 0), 58);
    EXPECT_EQ(VKVX_GetVideoTimingData(h, 0, data, 10), 58);
    EXPECT_EQ(vkvx_test::value(data[9].Id), 9);
    EXPECT_EQ(vkvx_test::value(data[10].Id), 0xFFFF);
    EXPECT_EQ(VKVX_GetVideoTimingData(h, 0, data, 60), 58);
    EXPECT_EQ(vkvx_test::value(data[57].Id), 57);
    EXPECT_EQ(vkvx_test::value(data[58].Id), 0xFFFF);
}

class EmulatedAudioMode : public Emulated {
protected:
    int32_t mode() const override { return 5; }
};

TEST_F(EmulatedAudioMode, AudioInfoAndBuffersBeforeCapture)
{
    VKVX_AUDIO_INFO ai{};
    ASSERT_EQ(VKVX_GetAudioInfo(h, &ai), 0);
    EXPECT_EQ(vkvx_test::value(ai.Format), 101u);
    EXPECT_EQ(ai.SampleRate, 44100u);
    EXPECT_EQ(ai.Channels, 2u);
    EXPECT_EQ(ai.SamplesPerFrame, 8192u);
    EXPECT_EQ(ai.BitsPerSample, 16u);
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_AUDIO_SAMPLES, 1024), 0);
    VKVX_FRAME f{};
    ASSERT_EQ(VKVX_AllocateAudioBuffers(h, &f, 1), 0);
    EXPECT_EQ(vkvx_test::value(f.Width), 1024u);
    EXPECT_EQ(vkvx_test::value(f.Height), 2u);
    EXPECT_EQ(vkvx_test::value(f.BytesPerElement), 2);
    EXPECT_EQ(vkvx_test::value(f.Format), 101);
    // Without StartCapture the frame times out after a second.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(VKVX_GetFrame(h, &f), VKVX_ERROR_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_EQ(VKVX_FreeFrameBuffers(h, &f, 1), 0);
}
