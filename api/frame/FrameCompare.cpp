// VKVX_FrameCompare (difference frame of two frames) and VKVX_AnalyzeFrame
// (per-component non-zero counts and bit activity).  Both need the library
// initialised and take no lock.
#include <cstring>

#include "Library.h"
#include "frame/FrameCommon.h"
#include "vkvx.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#define VKVX_FRAME_X86 1
#endif

namespace vkvx::frame {
namespace {

enum class Op { Xor, AbsDiff8, AbsDiff16 };

// r = a op b over count bytes.  r may be a or b: each block is read before
// it is written.
void combine(const uint8_t* a, const uint8_t* b, uint8_t* r, size_t count, Op op)
{
    size_t i = 0;
#if VKVX_FRAME_X86
    for (; i + 16 <= count; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        __m128i z;
        switch (op) {
        case Op::Xor:
            z = _mm_xor_si128(x, y);
            break;
        case Op::AbsDiff8:
            z = _mm_or_si128(_mm_subs_epu8(x, y), _mm_subs_epu8(y, x));
            break;
        default:
            z = _mm_or_si128(_mm_subs_epu16(x, y), _mm_subs_epu16(y, x));
            break;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r + i), z);
    }
#endif
    switch (op) {
    case Op::Xor:
        for (; i < count; ++i) {
            r[i] = static_cast<uint8_t>(a[i] ^ b[i]);
        }
        break;
    case Op::AbsDiff8:
        for (; i < count; ++i) {
            r[i] = static_cast<uint8_t>(a[i] > b[i] ? a[i] - b[i] : b[i] - a[i]);
        }
        break;
    default:
        for (; i + 2 <= count; i += 2) {
            uint16_t x, y;
            std::memcpy(&x, a + i, 2);
            std::memcpy(&y, b + i, 2);
            const uint16_t z = static_cast<uint16_t>(x > y ? x - y : y - x);
            std::memcpy(r + i, &z, 2);
        }
        break;
    }
}

bool sameShape(const VKVX_FRAME& a, const VKVX_FRAME& b)
{
    return a.Width == b.Width && a.Height == b.Height && a.Format == b.Format;
}

struct Activity {
    uint32_t nonZero[3] = {0, 0, 0};  // by component 0, 1, 2
    uint32_t any = 0;
    uint32_t bits[3] = {0, 0, 0};
};

template <class Component, size_t Stride>
Activity analyse(const uint8_t* p, size_t pixels)
{
    Activity a;
    for (size_t i = 0; i < pixels; ++i, p += Stride) {
        Component c[3];
        std::memcpy(c, p, sizeof c);
        a.nonZero[0] += c[0] != 0;
        a.nonZero[1] += c[1] != 0;
        a.nonZero[2] += c[2] != 0;
        a.any += (c[0] | c[1] | c[2]) != 0;
        a.bits[0] |= c[0];
        a.bits[1] |= c[1];
        a.bits[2] |= c[2];
    }
    return a;
}

}  // namespace
}  // namespace vkvx::frame

extern "C" VKVX_API int32_t VKVX_FrameCompare(const VKVX_FRAME* a, const VKVX_FRAME* b, VKVX_FRAME* r,
                                             int32_t method)
{
    using namespace vkvx::frame;
    if (!vkvx::initialised()) {
        return VKVX_ERROR_NOT_INITIALIZED;
    }
    if (!a || !b || !r) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    if (!sameShape(*a, *b) || !sameShape(*a, *r)) {
        return VKVX_ERROR_INCOMPATIBLE_BUFFERS;
    }
    if (method != VKVX_COMPARE_XOR && method != VKVX_COMPARE_ABSDIFF) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const size_t element = elementSizeByFormat(a->Format);
    if (element == 0) {
        return VKVX_ERROR_COLOUR_SPACE;
    }
    // The format decides the element size; a record whose elements are
    // smaller than that has a buffer too small for the walk.
    size_t bytes = 0;
    if (!a->Buffer || !b->Buffer || !r->Buffer || a->BytesPerElement < element || b->BytesPerElement < element ||
        r->BytesPerElement < element || !frameBytes(*a, element, bytes)) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const Op op = method == VKVX_COMPARE_XOR ? Op::Xor : element == 4 ? Op::AbsDiff8 : Op::AbsDiff16;
    combine(static_cast<const uint8_t*>(a->Buffer), static_cast<const uint8_t*>(b->Buffer),
            static_cast<uint8_t*>(r->Buffer), bytes, op);
    return 0;
}

extern "C" VKVX_API int32_t VKVX_AnalyzeFrame(const VKVX_FRAME* frame, int32_t kind, VKVX_TIMING_DATA* results,
                                             int32_t capacity)
{
    using namespace vkvx::frame;
    if (!vkvx::initialised()) {
        return VKVX_ERROR_NOT_INITIALIZED;
    }
    if (kind != 0 || capacity < 0 || !frame || (!results && capacity > 0)) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const size_t element = elementSizeByFormat(frame->Format);
    size_t bytes = 0;
    if (element != 0 &&
        (!frame->Buffer || frame->BytesPerElement < element || !frameBytes(*frame, element, bytes))) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const size_t pixels = bytes / (element ? element : 1);
    if (capacity > 0) {
        std::memset(static_cast<void*>(results), 0xFF, static_cast<size_t>(capacity) * sizeof(VKVX_TIMING_DATA));
    }
    if (element == 0) {
        return VKVX_ERROR_COLOUR_SPACE;
    }
    const auto* p = static_cast<const uint8_t*>(frame->Buffer);
    Activity act = element == 4 ? analyse<uint8_t, 4>(p, pixels) : analyse<uint16_t, 8>(p, pixels);
    if (element == 4) {
        // 8-bit components report their activity in the upper byte, where the
        // 16-bit components have their significant bits.
        for (uint32_t& bits : act.bits) {
            bits <<= 8;
        }
    }
    const struct {
        uint16_t id;
        uint32_t value;
    } entries[8] = {
        {1, act.nonZero[2]}, {2, act.nonZero[1]}, {3, act.nonZero[0]}, {4, act.any},
        {5, act.bits[2]},    {6, act.bits[1]},    {7, act.bits[0]},    {0xFFFE, 0},
    };
    const int32_t count = capacity < 8 ? (capacity < 7 ? capacity : 7) : 8;
    for (int32_t i = 0; i < count; ++i) {
        results[i].Id = entries[i].id;
        results[i].Value = entries[i].value;
    }
    return 7;
}
