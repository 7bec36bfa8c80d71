// Helpers shared by the frame utilities: checked size arithmetic and the
// pixel packers used by the conversion and the image writers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vkvx.h"

namespace vkvx::frame {

// a * b, false when the product does not fit in size_t.
inline bool mulSize(size_t a, size_t b, size_t& out)
{
    return !__builtin_mul_overflow(a, b, &out);
}

// Width * Height * bytesPerPixel of a frame record, false on overflow.
inline bool frameBytes(const VKVX_FRAME& f, size_t bytesPerPixel, size_t& out)
{
    size_t pixels = 0;
    return mulSize(f.Width, f.Height, pixels) && mulSize(pixels, bytesPerPixel, out);
}

// Element size of a frame for comparison, analysis and remapping, chosen by
// Format: 4 bytes for formats 0 and 1, 8 for formats 2 and 3; 0 otherwise.
inline size_t elementSizeByFormat(int32_t format)
{
    if (format == 0 || format == 1) {
        return 4;
    }
    if (format == 2 || format == 3) {
        return 8;
    }
    return 0;
}

// 8-byte pixels (four little-endian 16-bit components) to 4-byte pixels: the
// high byte of each component.  dst may equal src (in-place reduction).
void highBytes(const uint8_t* src, uint8_t* dst, size_t pixels);

// 4-byte pixels to 3-byte PPM samples: bytes 2, 1, 0 of each pixel.
void packRgb24(const uint8_t* src, uint8_t* dst, size_t pixels);

// 8-byte pixels to 6-byte PPM samples: components 2, 1, 0, most significant
// byte first (bytes 5, 4, 3, 2, 1, 0).
void packRgb48(const uint8_t* src, uint8_t* dst, size_t pixels);

// The YCbCr-to-RGB kernels of VKVX_FrameToRGB, one per instruction set; the
// export picks the best one the processor has.  Tests check each of them.
// stride 8: 16-bit components (high bytes used); stride 4: byte components.
enum class Kernel { Plain, Avx2, Avx512 };
bool kernelAvailable(Kernel kernel);
void convertYCbCrWith(Kernel kernel, const uint8_t* src, size_t stride, uint8_t* dst, size_t pixels,
                      uint32_t colorimetry);

// The image writers behind VKVX_SaveFrameToFile.  They return the file size
// or a negative status; the frame has been checked (buffer present, sizes
// representable) by the caller.
int32_t writePpm(const char* name, const VKVX_FRAME& frame);
int32_t writeBmp(const char* name, const VKVX_FRAME& frame);
int32_t writeJpeg(const char* name, const VKVX_FRAME& frame);

}  // namespace vkvx::frame
