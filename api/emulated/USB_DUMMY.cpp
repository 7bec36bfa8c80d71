#include "emulated/USB_DUMMY.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "Log.h"

namespace {

constexpr const char* kDescription = "SW Emulated device";
constexpr const char* kSerial = "EMU001";

// Shared by every emulated device: the frame counter k (0..11) and the tone
// generator (c, s), kept from one frame to the next.
std::atomic<uint32_t> g_frameCounter{0};
std::mutex g_toneMutex;
double g_toneC = 1.0;
double g_toneS = 0.0;

bool validSource(int32_t v) { return (v >= 0 && v <= 4) || (v >= 100 && v <= 126); }

// Advances the shared frame counter; returns the value the frame uses.
uint32_t nextFrameIndex()
{
    uint32_t k = g_frameCounter.load();
    while (!g_frameCounter.compare_exchange_weak(k, (k + 1) % 12)) {
    }
    return k;
}

}  // namespace

USB_DUMMY::USB_DUMMY()
{
    VKVX_DEVICE_INFO info{};
    std::strcpy(info.Description, kDescription);
    std::strcpy(info.SerialNumber, kSerial);
    copyIdentity(info);
}

USB_DUMMY::USB_DUMMY(const VKVX_DEVICE_INFO& info, int32_t mode)
{
    copyIdentity(info);
    if (mode == 5) {
        sizeA_ = 8192;
        sizeB_ = 2;
        source_ = 101;
    }
    setColourMode(source_);
}

USB_DUMMY::~USB_DUMMY() { input_.close(); }

int32_t USB_DUMMY::WorkerStep() { return 0; }

int32_t USB_DUMMY::EnumDevices(VKVX_DEVICE_INFO* devices, int32_t capacity)
{
    if (devices && capacity >= 1) {
        VKVX_DEVICE_INFO& d = devices[0];
        std::memset(&d, 0, sizeof d);
        d.DeviceType = VKVX_TYPE_USB_DUMMY;
        std::strcpy(d.Description, kDescription);
        std::strcpy(d.SerialNumber, kSerial);
    }
    return 1;
}

VKVX_Device* USB_DUMMY::CreateDevice(const VKVX_DEVICE_INFO& info, int32_t mode, bool)
{
    return new USB_DUMMY(info, mode);
}

uint32_t USB_DUMMY::GetDeviceType() const { return VKVX_TYPE_USB_DUMMY; }

int32_t USB_DUMMY::GetOperationModes(VKVX_OPERATION_MODE* modes, int32_t capacity)
{
    if (capacity >= 1) {
        if (!modes) {
            return VKVX_ERROR_INVALID_PARAMETER;
        }
        std::memset(&modes[0], 0, sizeof modes[0]);
    }
    return 1;
}

int32_t USB_DUMMY::SetDeviceOption(int32_t id, int32_t value)
{
    VKVX_LOG(vkvx::log::Info, "%s SetOption %i 0x%x", serialNumber(), id, static_cast<unsigned>(value));
    switch (id) {
    case VKVX_OPTION_COLOUR_MODE:
        if (!validSource(value)) {
            return VKVX_ERROR_INVALID_PARAMETER;
        }
        source_ = value;
        setColourMode(value);
        break;
    case VKVX_OPTION_FRAME_SIZE:
        sizeA_ = static_cast<uint32_t>(value) >> 16;
        sizeB_ = static_cast<uint32_t>(value) & 0xFFFF;
        break;
    case VKVX_OPTION_AUDIO_SAMPLES:
        sizeA_ = static_cast<uint32_t>(value);
        break;
    default:
        break;
    }
    return 0;
}

int32_t USB_DUMMY::StartCapture()
{
    const int32_t source = source_;
    if (source < 100 || source > 126) {
        return 0;
    }
    int rc = input_.open(sizeA_);
    if (rc < 0) {
        VKVX_LOG(vkvx::log::Warning, "snd_pcm_open error %d (%s)", rc, snd_strerror(rc));
        return VKVX_ERROR_OPEN_FAILED;
    }
    return 0;
}

int32_t USB_DUMMY::StopCapture()
{
    input_.close();
    return 0;
}

int32_t USB_DUMMY::GetFrameInfo(VKVX_FRAME_INFO* info)
{
    info->Width = sizeA_;
    info->Height = sizeB_;
    return 0;
}

bool USB_DUMMY::IsInterlaced() { return false; }

int32_t USB_DUMMY::GetAudioInfo(VKVX_AUDIO_INFO* info)
{
    info->Format = 101;
    info->SampleRate = 44100;
    info->Channels = 2;
    info->SamplesPerFrame = sizeA_;
    info->BitsPerSample = 16;
    return 0;
}

int32_t USB_DUMMY::GetTimingData(int32_t, VKVX_TIMING_DATA* data, int32_t capacity)
{
    if (data) {
        for (int32_t i = 0; i < capacity && i < 58; ++i) {
            data[i].Id = static_cast<uint16_t>(i);
            data[i].Value = static_cast<uint32_t>(std::rand());
        }
    }
    return 58;
}

bool USB_DUMMY::GetFirmwareVersion(uint16_t*, uint16_t*, uint16_t*, int32_t, uint16_t*) { return false; }

int32_t USB_DUMMY::EnumConnectors(uint32_t* connectors, int32_t capacity)
{
    if (connectors && capacity >= 1) {
        connectors[0] = 1024;
    }
    return 1;
}

int32_t USB_DUMMY::SelectConnector(int32_t) { return 0; }

int32_t USB_DUMMY::GetDeviceCaps(uint32_t* caps, int32_t capacity)
{
    if (caps) {
        for (int32_t i = 0; i < capacity && i < 2; ++i) {
            caps[i] = static_cast<uint32_t>(i + 1);
        }
    }
    return 2;
}

int32_t USB_DUMMY::GetFrame(VKVX_FRAME* frame)
{
    // Every call advances the shared frame counter, whatever the source.
    const int32_t source = source_;
    return source >= 100 ? audioFrame(frame) : videoFrame(frame, source);
}

int32_t USB_DUMMY::videoFrame(VKVX_FRAME* frame, int32_t source)
{
    const uint32_t k = nextFrameIndex();
    if (source == 4) {
        return 0;  // the buffer is left untouched
    }
    const size_t pixelBytes = source <= 1 ? 4 : 8;
    // The caller's record must describe a buffer that holds the pixels.
    if (!frame->Buffer || frame->Width == 0 || frame->Height == 0) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    if (frame->BytesPerElement < pixelBytes) {
        return VKVX_ERROR_INCOMPATIBLE_BUFFERS;
    }
    const size_t W = frame->Width;
    const size_t H = frame->Height;
    const size_t stride = frame->BytesPerElement;
    uint8_t* base = static_cast<uint8_t*>(frame->Buffer);
    // Every pixel of a line has the same value: fill the line with it.
    auto fillLines = [&](auto pixelOfLine) {
        using Pixel = decltype(pixelOfLine(size_t{0}));
        for (size_t y = 0; y < H; ++y) {
            const Pixel pixel = pixelOfLine(y);
            uint8_t* row = base + y * W * stride;
            if (stride == sizeof(Pixel)) {
                Pixel* p = reinterpret_cast<Pixel*>(row);
                std::fill(p, p + W, pixel);
            } else {
                for (size_t x = 0; x < W; ++x) {
                    std::memcpy(row + x * stride, &pixel, sizeof pixel);
                }
            }
        }
    };
    if (pixelBytes == 4) {
        const unsigned shift = 8 * (k / 4);
        fillLines([&](size_t y) -> uint32_t {
            const uint32_t g = static_cast<uint32_t>((255 * static_cast<uint64_t>(y)) / H);
            return (g << 16) >> shift;
        });
    } else {
        const unsigned shift = 16 * (k / 4);
        fillLines([&](size_t y) -> uint64_t {
            const uint64_t g = (65535 * static_cast<uint64_t>(y)) / H;
            return (g << 32) >> shift;
        });
    }
    return 0;
}

int32_t USB_DUMMY::audioFrame(VKVX_FRAME* frame)
{
    // Without a started capture no buffer ever arrives: the wait runs out.
    if (!input_.waitFilled(1000) || !input_.isOpen()) {
        nextFrameIndex();
        return VKVX_ERROR_TIMEOUT;
    }
    input_.requeueOther();
    nextFrameIndex();
    const size_t W = frame->Width;
    const size_t H = frame->Height;
    // Two samples per position (tone, sound card) must fit the frame, and the
    // sound-card position H x i must lie inside the captured buffer.
    if (!frame->Buffer || frame->BytesPerElement != 2 || H < 2 || W == 0 ||
        W > input_.samplesPerBuffer() / H) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const int16_t* card = input_.latest();
    int16_t* out = static_cast<int16_t*>(frame->Buffer);
    const double a = 8.0 * std::atan(1.0) / 44.1;
    const double ca = std::cos(a);
    const double sa = std::sin(a);
    std::lock_guard lock(g_toneMutex);
    for (size_t i = 0; i < W; ++i) {
        const double c = g_toneC * ca - g_toneS * sa;
        const double s = g_toneS * ca + g_toneC * sa;
        g_toneC = c;
        g_toneS = s;
        out[H * i] = static_cast<int16_t>(c * 30000.0);
        out[H * i + 1] = card ? card[H * i] : 0;
    }
    return 0;
}
