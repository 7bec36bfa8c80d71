// Frame and audio buffers: allocated by the library into caller-owned
// records, freed only by FreeFrameBuffers.  Sizes are computed with overflow
// checks and allocated with a non-raising allocator, so that a frame that
// cannot be held ends in -19 and never in a short buffer.
#include <cstdlib>

#include "Log.h"
#include "device/Device.h"

namespace {

// a * b * c in bytes, or false when it does not fit in size_t.
bool bufferSize(size_t a, size_t b, size_t c, size_t& out)
{
    size_t ab;
    return !__builtin_mul_overflow(a, b, &ab) && !__builtin_mul_overflow(ab, c, &out);
}

void freeFromHere(VKVX_FRAME* frames, int32_t upto)
{
    for (int32_t j = upto - 1; j >= 0; --j) {
        std::free(frames[j].Buffer);
    }
}

}  // namespace

int32_t VKVX_Device::AllocateFrameBuffers(VKVX_FRAME* frames, int32_t count)
{
    VKVX_FRAME_INFO info{};
    int32_t status = GetFrameInfo(&info);
    if (status < 0) {
        return status;
    }
    if (count > 0 && !frames) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const int32_t mode = colourMode();
    uint8_t bpe = 4;
    if (mode >= 2 || GetDeviceType() == VKVX_TYPE_USB3_MM) {
        bpe = 8;
    }
    for (int32_t i = 0; i < count; ++i) {
        VKVX_FRAME& f = frames[i];
        f.Width = info.Width;
        f.Height = info.Height;
        if (mode < 0 || mode > 4) {
            freeFromHere(frames, i);
            return VKVX_ERROR_COLOUR_SPACE;
        }
        f.BytesPerElement = bpe;
        size_t bytes = 0;
        void* buffer = nullptr;
        if (bufferSize(info.Width, info.Height, bpe, bytes)) {
            // calloc zero-fills, as the records promise.
            buffer = std::calloc(bytes ? bytes : 1, 1);
        }
        if (!buffer) {
            freeFromHere(frames, i);
            return VKVX_ERROR_OUT_OF_MEMORY;
        }
        f.Buffer = buffer;
        f.Flags = 0;
        f.Format = mode;
        if (IsInterlaced()) {
            f.Flags += VKVX_FLAG_INTERLACED;
        }
    }
    VKVX_LOG(vkvx::log::Info, "AllocateFrameBuffers %ix%i col=%i bpe=%i", static_cast<int>(info.Width),
             static_cast<int>(info.Height), mode, bpe);
    return 0;
}

int32_t VKVX_Device::AllocateAudioBuffers(VKVX_FRAME* frames, int32_t count)
{
    VKVX_AUDIO_INFO info{};
    int32_t status = GetAudioInfo(&info);
    if (status < 0) {
        return status;
    }
    if (count > 0 && !frames) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    VKVX_LOG(vkvx::log::Info, "AllocateAudioBuffers %ix%i sampling=%i bits=%i", static_cast<int>(info.Channels),
             static_cast<int>(info.SamplesPerFrame), static_cast<int>(info.SampleRate),
             static_cast<int>(info.BitsPerSample));
    for (int32_t i = 0; i < count; ++i) {
        VKVX_FRAME& f = frames[i];
        f.Height = info.Channels;
        f.Width = info.SamplesPerFrame;
        f.BytesPerElement = 2;
        f.Format = static_cast<int32_t>(info.Format);
        size_t bytes = 0;
        void* buffer = nullptr;
        if (bufferSize(info.Channels, info.SamplesPerFrame, 2, bytes)) {
            buffer = std::malloc(bytes ? bytes : 1);
        }
        if (!buffer) {
            freeFromHere(frames, i);
            return VKVX_ERROR_OUT_OF_MEMORY;
        }
        f.Buffer = buffer;
        f.Flags = 0;
    }
    return 0;
}

int32_t VKVX_Device::FreeFrameBuffers(VKVX_FRAME* frames, int32_t count)
{
    if (count > 0 && !frames) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    for (int32_t i = 0; i < count; ++i) {
        VKVX_FRAME& f = frames[i];
        f.Width = 0;
        f.Height = 0;
        f.BytesPerElement = 0;
        f.Format = 0;
        f.Flags = 0;
        std::free(f.Buffer);
        f.Buffer = nullptr;
    }
    return 0;
}
