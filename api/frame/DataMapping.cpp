// Pixel reordering: VKVX_CreateDataMapping builds the table that turns the
// interleaved order of a multi-segment link into left-to-right order,
// VKVX_Remap applies it per line, VKVX_DeleteDataMapping frees it.  All need
// the library initialised and take no lock.
#include <cstdlib>
#include <cstring>

#include "Library.h"
#include "frame/FrameCommon.h"
#include "vkvx.h"

namespace vkvx::frame {
namespace {

// Scatters one line: pixel x goes to position table[x].  checked: entries
// that fall outside the line are dropped instead of written.
template <size_t Pixel, bool Checked>
void scatterLine(const uint8_t* src, uint8_t* dst, const uint32_t* table, size_t width)
{
    for (size_t x = 0; x < width; ++x) {
        const size_t to = table[x];
        if (Checked && to >= width) {
            continue;
        }
        std::memcpy(dst + to * Pixel, src + x * Pixel, Pixel);
    }
}

template <size_t Pixel>
void remap(const uint8_t* src, uint8_t* dst, const uint32_t* table, size_t width, size_t height, bool checked,
           uint8_t* line)
{
    const size_t lineBytes = width * Pixel;
    for (size_t y = 0; y < height; ++y, src += lineBytes, dst += lineBytes) {
        const uint8_t* from = src;
        if (line) {
            std::memcpy(line, src, lineBytes);  // source and destination overlap
            from = line;
        }
        if (checked) {
            scatterLine<Pixel, true>(from, dst, table, width);
        } else {
            scatterLine<Pixel, false>(from, dst, table, width);
        }
    }
}

}  // namespace
}  // namespace vkvx::frame

extern "C" VKVX_API int32_t VKVX_CreateDataMapping(const int32_t* layout, VKVX_DATA_MAPPING* mapping)
{
    if (!vkvx::initialised()) {
        return VKVX_ERROR_NOT_INITIALIZED;
    }
    if (!layout || !mapping) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const int32_t lineWidth = layout[0];
    const int32_t groupSize = layout[1];
    const int32_t segments = layout[2];
    if (groupSize < 1 || groupSize > 16 || segments < 1 || segments > groupSize || lineWidth < 0 ||
        lineWidth % groupSize != 0 || groupSize % segments != 0) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    if (mapping->Count != 0 || mapping->Table != nullptr) {
        return VKVX_ERROR_INVALID_PARAMETER;  // the record already holds a table
    }
    const int32_t* offsets = layout + 3;
    const auto width = static_cast<size_t>(lineWidth);

    // A table of at least one entry, so that even an empty line width leaves a
    // table that VKVX_DeleteDataMapping accepts.
    auto* table = static_cast<uint32_t*>(std::calloc(width ? width : 1, sizeof(uint32_t)));
    if (!table) {
        return VKVX_ERROR_OUT_OF_MEMORY;
    }
    // Position j = g + k (g a group start, k < GroupSize) holds source index
    // g + Offsets[k].  The first position holding index t is therefore the
    // smallest t - Offsets[k] + k over the k for which t - Offsets[k] is a
    // group start inside the line: no search over the line, no second array.
    auto firstPosition = [&](int64_t t) -> uint32_t {
        int64_t best = lineWidth;
        for (int32_t k = 0; k < groupSize; ++k) {
            const int64_t g = t - offsets[k];
            if (g >= 0 && g < lineWidth && g % groupSize == 0 && g + k < best) {
                best = g + k;
            }
        }
        return static_cast<uint32_t>(best);
    };
    const int64_t per = groupSize / segments;
    const int64_t blocks = lineWidth / per;
    int64_t n = 0;
    for (int64_t b = 0; b < blocks && n < lineWidth; ++b) {
        for (int64_t s = 0; s < segments && n < lineWidth; ++s) {
            for (int64_t p = 0; p < per && n < lineWidth; ++p) {
                table[n++] = firstPosition(b * per + (s * lineWidth) / segments + p);
            }
        }
    }
    mapping->Count = lineWidth;
    mapping->Table = table;
    return 0;
}

extern "C" VKVX_API int32_t VKVX_Remap(const VKVX_FRAME* src, VKVX_FRAME* dst, const VKVX_DATA_MAPPING* mapping)
{
    using namespace vkvx::frame;
    if (!vkvx::initialised()) {
        return VKVX_ERROR_NOT_INITIALIZED;
    }
    if (!src || !dst) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    if (src->Width != dst->Width || src->Height != dst->Height || src->Format != dst->Format) {
        return VKVX_ERROR_INCOMPATIBLE_BUFFERS;
    }
    if (!mapping || !mapping->Table || mapping->Count < 0 || static_cast<uint32_t>(mapping->Count) < src->Width) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const size_t pixel = (src->Format == 0 || src->Format == 1) ? 4 : 8;
    size_t bytes = 0;
    if (!src->Buffer || !dst->Buffer || src->BytesPerElement < pixel || dst->BytesPerElement < pixel ||
        !frameBytes(*src, pixel, bytes)) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const size_t width = src->Width;
    const uint32_t* table = mapping->Table;
    // An entry beyond the line (the table of a wider line, or the entry
    // CreateDataMapping leaves for a position no offset reaches) would write
    // outside the line, past the buffer on the last one: such pixels are
    // dropped.
    bool checked = false;
    for (size_t x = 0; x < width; ++x) {
        checked |= table[x] >= width;
    }
    const auto* in = static_cast<const uint8_t*>(src->Buffer);
    auto* out = static_cast<uint8_t*>(dst->Buffer);
    uint8_t* line = nullptr;
    const auto inAt = reinterpret_cast<uintptr_t>(in), outAt = reinterpret_cast<uintptr_t>(out);
    if (bytes > 0 && inAt < outAt + bytes && outAt < inAt + bytes) {
        // Overlapping buffers: each source line is copied aside before it is
        // scattered, which serves a destination at or before the source.
        if (outAt > inAt) {
            return VKVX_ERROR_INVALID_PARAMETER;
        }
        line = static_cast<uint8_t*>(std::malloc(width * pixel));
        if (!line) {
            return VKVX_ERROR_OUT_OF_MEMORY;
        }
    }
    if (pixel == 4) {
        remap<4>(in, out, table, width, src->Height, checked, line);
    } else {
        remap<8>(in, out, table, width, src->Height, checked, line);
    }
    std::free(line);
    return 0;
}

extern "C" VKVX_API int32_t VKVX_DeleteDataMapping(VKVX_DATA_MAPPING* mapping)
{
    if (!vkvx::initialised()) {
        return VKVX_ERROR_NOT_INITIALIZED;
    }
    if (!mapping || !mapping->Table) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    std::free(mapping->Table);
    mapping->Count = 0;
    mapping->Table = nullptr;
    return 0;
}
