// Audio of the emulated instrument against ALSA configurations of the test's
// own (no sound card needed): a "file" PCM that plays a known input file as
// the capture device, and a configuration whose default PCM cannot open.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "test_support.h"

using namespace vkvx_test;

namespace {

std::string tempDir()
{
    char templ[] = "/tmp/vkvx-audio-XXXXXX";
    const char* d = mkdtemp(templ);
    return d ? d : "/tmp";
}

// Left channel of input frame i: a ramp that no tone produces.
int16_t inputSample(size_t i) { return static_cast<int16_t>((i * 7) % 20000 - 10000); }

}  // namespace

class EmulatedAudio : public Emulated {
protected:
    int32_t mode() const override { return 5; }
    static void SetUpTestSuite()
    {
        dir = new std::string(tempDir());
        std::string raw = *dir + "/input.raw";
        std::ofstream in(raw, std::ios::binary);
        for (size_t i = 0; i < 44100 * 4; ++i) {
            int16_t lr[2] = {inputSample(i), static_cast<int16_t>(-inputSample(i))};
            in.write(reinterpret_cast<const char*>(lr), sizeof lr);
        }
        in.close();
        std::ofstream conf(*dir + "/asound.conf");
        conf << "pcm.!default {\n type file\n slave.pcm \"silent\"\n file \"/dev/null\"\n infile \"" << raw
             << "\"\n format \"raw\"\n}\npcm.silent { type null }\n"
             << "pcm.nocard { type hw card 97 }\n";
        conf.close();
        setenv("ALSA_CONFIG_PATH", (*dir + "/asound.conf").c_str(), 1);
    }
    static inline std::string* dir = nullptr;
};

TEST_F(EmulatedAudio, ToneOnOneChannelSoundCardOnTheOther)
{
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_AUDIO_SAMPLES, 2048), 0);
    VKVX_FRAME f{};
    ASSERT_EQ(VKVX_AllocateAudioBuffers(h, &f, 1), 0);
    ASSERT_EQ(VKVX_StartCapture(h), 0);
    const double cosA = std::cos(8.0 * std::atan(1.0) / 44.1);
    for (int frameNo = 0; frameNo < 3; ++frameNo) {
        ASSERT_EQ(VKVX_GetFrame(h, &f), 0);
        const int16_t* s = static_cast<const int16_t*>(f.Buffer);
        // Channel 0: a 1 kHz sine of amplitude 30000: x[n+1] + x[n-1] = 2 cos(a) x[n].
        int peak = 0;
        for (size_t i = 1; i + 1 < 2048; ++i) {
            double lhs = s[2 * (i + 1)] + s[2 * (i - 1)];
            // Each sample is cut to an integer (error below 1 per sample).
            ASSERT_NEAR(lhs, 2 * cosA * s[2 * i], 4.1) << i;
            peak = std::max(peak, std::abs(static_cast<int>(s[2 * i])));
        }
        EXPECT_GE(peak, 29900);
        EXPECT_LE(peak, 30000);
        // Channel 1: a contiguous piece of the input file's left channel.
        size_t start = 0;
        while (start < 44100 * 4 && inputSample(start) != s[1]) {
            ++start;
        }
        for (size_t i = 0; i < 2048; ++i) {
            ASSERT_EQ(s[2 * i + 1], inputSample(start + i)) << i;
        }
    }
    EXPECT_EQ(VKVX_StopCapture(h), 0);
    // Stopped: the next frame times out.
    EXPECT_EQ(VKVX_GetFrame(h, &f), VKVX_ERROR_TIMEOUT);
    VKVX_FreeFrameBuffers(h, &f, 1);
}

TEST_F(EmulatedAudio, FramesThatDoNotFitTheCapturedBufferAreRefused)
{
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_AUDIO_SAMPLES, 256), 0);
    ASSERT_EQ(VKVX_StartCapture(h), 0);
    // More samples per frame than the capture buffers hold.
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_AUDIO_SAMPLES, 4096), 0);
    VKVX_FRAME f{};
    ASSERT_EQ(VKVX_AllocateAudioBuffers(h, &f, 1), 0);
    EXPECT_EQ(VKVX_GetFrame(h, &f), VKVX_ERROR_INVALID_PARAMETER);
    VKVX_FRAME mono = f;
    mono.Width = 16;
    mono.Height = 1;
    EXPECT_EQ(VKVX_GetFrame(h, &mono), VKVX_ERROR_INVALID_PARAMETER);
    VKVX_StopCapture(h);
    VKVX_FreeFrameBuffers(h, &f, 1);
}

TEST_F(EmulatedAudio, NoSoundCardGivesOpenFailed)
{
    setenv("VKVX_AUDIO_DEVICE", "nocard", 1);
    EXPECT_EQ(VKVX_StartCapture(h), VKVX_ERROR_OPEN_FAILED);
    unsetenv("VKVX_AUDIO_DEVICE");
    // Video sources need no sound card at all.
    ASSERT_EQ(VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, 1), 0);
    EXPECT_EQ(VKVX_StartCapture(h), 0);
}
