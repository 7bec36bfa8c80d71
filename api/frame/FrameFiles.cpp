// VKVX_SaveFrameToFile and its PPM and BMP writers.  Works without
// initialisation and without the API lock.
#include <climits>
#include <cstdio>
#include <cstring>

#include "Log.h"
#include "frame/FrameCommon.h"
#include "frame/OutputFile.h"
#include "vkvx.h"

namespace vkvx::frame {
namespace {

// The staging buffer of the writers: 16384 8-bit or 8192 16-bit PPM pixels,
// so that a large frame costs few file writes and no allocation.
constexpr size_t kStagingBytes = 49152;

void putU16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void putU32(uint8_t* p, uint32_t v)
{
    putU16(p, v);
    putU16(p + 2, v >> 16);
}

}  // namespace

int32_t writePpm(const char* name, const VKVX_FRAME& frame)
{
    // 4-byte pixels give 8-bit samples, 8-byte pixels 16-bit samples.
    const size_t inBytes = frame.BytesPerElement;
    if (inBytes != 4 && inBytes != 8) {
        return VKVX_ERROR_INVALID_FORMAT_ID;
    }
    const size_t outBytes = inBytes == 4 ? 3 : 6;
    char header[64];
    const int headerLength = std::snprintf(header, sizeof header, "P6 %u %u %u ", frame.Width, frame.Height,
                                           inBytes == 4 ? 255u : 65535u);
    size_t pixels = 0, dataBytes = 0;
    if (!mulSize(frame.Width, frame.Height, pixels) || !mulSize(pixels, outBytes, dataBytes) ||
        dataBytes > static_cast<size_t>(INT32_MAX) - static_cast<size_t>(headerLength)) {
        return VKVX_ERROR_INVALID_PARAMETER;  // the size could not be reported
    }
    OutputFile file;
    if (!file.create(name)) {
        return VKVX_ERROR_CREATE_FILE;
    }
    if (!file.write(header, static_cast<size_t>(headerLength))) {
        return VKVX_ERROR_FILE_WRITE;
    }
    uint8_t staging[kStagingBytes];
    const size_t chunk = kStagingBytes / outBytes;
    const auto* in = static_cast<const uint8_t*>(frame.Buffer);
    for (size_t done = 0; done < pixels;) {
        const size_t n = pixels - done < chunk ? pixels - done : chunk;
        if (inBytes == 4) {
            packRgb24(in + done * 4, staging, n);
        } else {
            packRgb48(in + done * 8, staging, n);
        }
        if (!file.write(staging, n * outBytes)) {
            return VKVX_ERROR_FILE_WRITE;
        }
        done += n;
    }
    if (!file.close()) {
        return VKVX_ERROR_FILE_WRITE;
    }
    return static_cast<int32_t>(static_cast<size_t>(headerLength) + dataBytes);
}

int32_t writeBmp(const char* name, const VKVX_FRAME& frame)
{
    const size_t inBytes = frame.BytesPerElement;
    if (inBytes != 4 && inBytes != 8) {
        return VKVX_ERROR_INVALID_FORMAT_ID;
    }
    constexpr size_t kHeaderBytes = 54;
    size_t rowBytes = 0, imageBytes = 0;
    if (frame.Width > INT32_MAX || frame.Height > INT32_MAX || !mulSize(frame.Width, 4, rowBytes) ||
        !mulSize(rowBytes, frame.Height, imageBytes) || imageBytes > INT32_MAX - kHeaderBytes) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const auto fileBytes = static_cast<uint32_t>(imageBytes + kHeaderBytes);

    uint8_t header[kHeaderBytes] = {'B', 'M'};
    putU32(header + 2, fileBytes);
    putU32(header + 10, kHeaderBytes);                  // pixel offset
    putU32(header + 14, 40);                            // information header size
    putU32(header + 18, frame.Width);
    putU32(header + 22, frame.Height);                  // positive: rows bottom-up
    putU16(header + 26, 1);                             // planes
    putU16(header + 28, 32);                            // bits per pixel
    putU32(header + 34, static_cast<uint32_t>(imageBytes));
    putU32(header + 38, 2835);                          // pixels per metre
    putU32(header + 42, 2835);

    OutputFile file;
    if (!file.create(name)) {
        return VKVX_ERROR_CREATE_FILE;
    }
    const auto* in = static_cast<const uint8_t*>(frame.Buffer);
    const size_t height = frame.Height;
    if (inBytes == 4) {
        // The rows go out as they are in memory, last row first.
        if (!file.write(header, kHeaderBytes) ||
            (height > 0 && !file.writeBlocks(in + (height - 1) * rowBytes, -static_cast<ptrdiff_t>(rowBytes),
                                             height, rowBytes))) {
            return VKVX_ERROR_FILE_WRITE;
        }
    } else {
        // 8-byte pixels: the high byte of each component, reduced through the
        // staging buffer, last row first.
        uint8_t staging[kStagingBytes];
        std::memcpy(staging, header, kHeaderBytes);
        size_t used = kHeaderBytes;
        const size_t width = frame.Width;
        for (size_t r = height; r-- > 0;) {
            const uint8_t* row = in + r * width * 8;
            for (size_t x = 0; x < width;) {
                size_t n = (kStagingBytes - used) / 4;
                if (n == 0) {
                    if (!file.write(staging, used)) {
                        return VKVX_ERROR_FILE_WRITE;
                    }
                    used = 0;
                    continue;
                }
                if (n > width - x) {
                    n = width - x;
                }
                highBytes(row + x * 8, staging + used, n);
                used += n * 4;
                x += n;
            }
        }
        if (!file.write(staging, used)) {
            return VKVX_ERROR_FILE_WRITE;
        }
    }
    if (!file.close()) {
        return VKVX_ERROR_FILE_WRITE;
    }
    return static_cast<int32_t>(fileBytes);
}

}  // namespace vkvx::frame

extern "C" VKVX_API int32_t VKVX_SaveFrameToFile(const char* name, const VKVX_FRAME* frame, int32_t format)
{
    using namespace vkvx::frame;
    if (!name || !frame || !frame->Buffer) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    switch (format) {
    case VKVX_FILE_PPM:
        return writePpm(name, *frame);
    case VKVX_FILE_BMP:
        return writeBmp(name, *frame);
    case VKVX_FILE_JPEG:
        return writeJpeg(name, *frame);
    default:
        return VKVX_ERROR_INVALID_FORMAT_ID;
    }
}
