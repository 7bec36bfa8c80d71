// Pixel packers shared by the frame conversion and the image writers.  Each
// has a plain loop and, on x86-64, a vector form chosen once at run time; both
// give the same bytes.
#include <cstring>

#include "frame/FrameCommon.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define VKVX_FRAME_X86 1
#endif

namespace vkvx::frame {

namespace {

void highBytesPlain(const uint8_t* src, uint8_t* dst, size_t pixels)
{
    for (size_t i = 0; i < pixels * 4; ++i) {
        dst[i] = src[2 * i + 1];
    }
}

void packRgb24Plain(const uint8_t* src, uint8_t* dst, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, src += 4, dst += 3) {
        const uint8_t r = src[2], g = src[1], b = src[0];  // dst may trail src in place
        dst[0] = r;
        dst[1] = g;
        dst[2] = b;
    }
}

void packRgb48Plain(const uint8_t* src, uint8_t* dst, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, src += 8, dst += 6) {
        dst[0] = src[5];
        dst[1] = src[4];
        dst[2] = src[3];
        dst[3] = src[2];
        dst[4] = src[1];
        dst[5] = src[0];
    }
}

#if VKVX_FRAME_X86
bool haveSsse3()
{
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}

// Four 12-byte results in the low bytes of s0..s3 become 48 packed bytes.
__attribute__((target("ssse3"))) inline void store48(uint8_t* dst, __m128i s0, __m128i s1, __m128i s2, __m128i s3)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(s0, _mm_slli_si128(s1, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_or_si128(_mm_srli_si128(s1, 4), _mm_slli_si128(s2, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), _mm_or_si128(_mm_srli_si128(s2, 8), _mm_slli_si128(s3, 4)));
}

__attribute__((target("ssse3"))) void packRgb24Ssse3(const uint8_t* src, uint8_t* dst, size_t pixels)
{
    const __m128i m = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    size_t i = 0;
    for (; i + 16 <= pixels; i += 16, src += 64, dst += 48) {
        __m128i s0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), m);
        __m128i s1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), m);
        __m128i s2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32)), m);
        __m128i s3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48)), m);
        store48(dst, s0, s1, s2, s3);
    }
    packRgb24Plain(src, dst, pixels - i);
}

__attribute__((target("ssse3"))) void packRgb48Ssse3(const uint8_t* src, uint8_t* dst, size_t pixels)
{
    const __m128i m = _mm_setr_epi8(5, 4, 3, 2, 1, 0, 13, 12, 11, 10, 9, 8, -1, -1, -1, -1);
    size_t i = 0;
    for (; i + 8 <= pixels; i += 8, src += 64, dst += 48) {
        __m128i s0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), m);
        __m128i s1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), m);
        __m128i s2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32)), m);
        __m128i s3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48)), m);
        store48(dst, s0, s1, s2, s3);
    }
    packRgb48Plain(src, dst, pixels - i);
}
#endif

}  // namespace

void highBytes(const uint8_t* src, uint8_t* dst, size_t pixels)
{
#if VKVX_FRAME_X86
    // SSE2 is part of x86-64.  Every block is loaded before it is stored and
    // the output never runs ahead of the input, so dst == src works.
    size_t i = 0;
    for (; i + 4 <= pixels; i += 4, src += 32, dst += 16) {
        __m128i a = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), 8);
        __m128i b = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(a, b));
    }
    pixels -= i;
#endif
    highBytesPlain(src, dst, pixels);
}

void packRgb24(const uint8_t* src, uint8_t* dst, size_t pixels)
{
#if VKVX_FRAME_X86
    if (haveSsse3()) {
        packRgb24Ssse3(src, dst, pixels);
        return;
    }
#endif
    packRgb24Plain(src, dst, pixels);
}

void packRgb48(const uint8_t* src, uint8_t* dst, size_t pixels)
{
#if VKVX_FRAME_X86
    if (haveSsse3()) {
        packRgb48Ssse3(src, dst, pixels);
        return;
    }
#endif
    packRgb48Plain(src, dst, pixels);
}

}  // namespace vkvx::frame
