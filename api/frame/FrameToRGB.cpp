// VKVX_FrameToRGB: reduces a frame to 4-byte pixels and converts YCbCr to
// RGB.  Works without initialisation and without the API lock.
//
// Exactness of the fast paths.  Every coefficient is a single-precision value
// (24-bit significand; for the coefficients used here all are multiples of
// 2^-26) and every factor it meets is an integer of at most 9 bits, so each
// product is an exact double; every partial sum is a multiple of 2^-26 below
// 2^11 in magnitude, which needs at most 37 significant bits, so each sum is
// exact as well.  The double formula therefore yields the exact rational
// value, and any exact evaluation of it - here integer arithmetic on the
// coefficients scaled by 2^26 - produces the same bytes.
#include <cstring>

#include "Log.h"
#include "frame/FrameCommon.h"
#include "vkvx.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define VKVX_FRAME_X86 1
#endif

namespace vkvx::frame {
namespace {

struct Coefficients {
    int32_t chromaOffset;
    int32_t lumaOffset;
    double lumaScale, k1, k2, k3, k4;
};

// By colorimetry (bits 20 and 21 of Flags); the single-precision values are
// used in double arithmetic.
const Coefficients kCoefficients[4] = {
    {128, 16, double(1.164f), double(1.793f), double(0.534f), double(0.213f), double(2.115f)},  // no data
    {0, 0, double(1.0f), double(1.14f), double(0.395f), double(0.581f), double(2.032f)},        // SMPTE 170M
    {128, 16, double(1.164f), double(1.793f), double(0.534f), double(0.213f), double(2.115f)},  // ITU-709
    {128, 16, double(1.164f), double(1.596f), double(0.813f), double(0.391f), double(2.018f)},  // extended
};

inline uint32_t roundClamp(double v)
{
    const int32_t t = static_cast<int32_t>(v + 0.5);  // truncates toward zero
    return t < 0 ? 0u : t > 255 ? 255u : static_cast<uint32_t>(t);
}

// One pixel, bytes b0, b1, b2 and the kept fourth byte, as the formula says.
inline uint32_t convertPixel(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, const Coefficients& k)
{
    const double c0 = static_cast<int32_t>(b0) - k.chromaOffset;
    const double y = (static_cast<int32_t>(b1) - k.lumaOffset) * k.lumaScale;
    const double c2 = static_cast<int32_t>(b2) - k.chromaOffset;
    return roundClamp(c0 * k.k1 + y) | roundClamp(y - c0 * k.k2 - c2 * k.k3) << 8 |
           roundClamp(c2 * k.k4 + y) << 16 | b3 << 24;
}

// stride 8: the high byte of each 16-bit component; stride 4: the bytes.
void convertPlain(const uint8_t* src, size_t stride, uint8_t* dst, size_t pixels, const Coefficients& k)
{
    const size_t o = stride == 8 ? 1 : 0;
    const size_t step = stride == 8 ? 2 : 1;
    for (size_t i = 0; i < pixels; ++i, src += stride, dst += 4) {
        const uint32_t v = convertPixel(src[o], src[o + step], src[o + 2 * step], src[o + 3 * step], k);
        std::memcpy(dst, &v, 4);
    }
}

#if VKVX_FRAME_X86
bool haveAvx2()
{
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
bool haveAvx512()
{
    static const bool yes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return yes;
}

// ---- Vector kernels: exact integer arithmetic --------------------------------
//
// Scaled by 2^26 every coefficient becomes an integer K (2^-26 is the finest
// unit among them), and each output byte is limit(floor(V / 2^26)) with
//   V = b0 * A + b1 * B + b2 * C + D
// for integers A..D made of the coefficients, the offsets and the 0.5 (floor
// and the formula's truncation agree wherever the limit lets either show).  V
// needs up to 36 bits, so each weight is split as K = Kh * 2^13 + Kl with
// 0 <= Kl < 2^13; both halves fit 16 bits and the byte-by-weight sums fit 32
// bits:  H = sum(b * Kh) + Dh,  L = sum(b * Kl) + Dl,  V = H * 2^13 + L, and
//   floor(V / 2^26) = (H + (L >> 13)) >> 13      (arithmetic shifts).
// The sums come from 16-bit multiply-adds over the byte pairs (b0, b1) and
// (b2, b1); the saturating packs then limit the values to 0..255.

struct Weights {
    // 32-bit lane patterns of two 16-bit weights: the low one for b0 (or b2),
    // the high one for b1.
    int32_t h0, l0;              // byte 0: (b0, b1) by (k1, luma scale)
    int32_t h1a, l1a, h1b, l1b;  // byte 1: (b0, b1) by (-k2, luma scale), (b2, b1) by (-k3, 0)
    int32_t h2, l2;              // byte 2: (b2, b1) by (k4, luma scale)
    int32_t dh[3], dl[3];        // the constant of each byte, split likewise
};

Weights makeWeights(const Coefficients& k)
{
    constexpr double scale = 67108864.0;  // 2^26; products are exact
    auto fixed = [&](double x) { return static_cast<int64_t>(x * scale); };
    auto high = [](int64_t v) { return v >> 13; };
    auto low = [](int64_t v) { return v & 8191; };
    auto pair = [](int64_t forB0, int64_t forB1) {
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(forB0)) |
                                    static_cast<uint32_t>(static_cast<uint16_t>(forB1)) << 16);
    };
    const int64_t k1 = fixed(k.k1), k2 = fixed(k.k2), k3 = fixed(k.k3), k4 = fixed(k.k4);
    const int64_t ls = fixed(k.lumaScale), half = fixed(0.5);
    const int64_t co = k.chromaOffset, lo = k.lumaOffset;
    const int64_t d[3] = {half - co * k1 - lo * ls, half - lo * ls + co * k2 + co * k3, half - co * k4 - lo * ls};
    Weights w{};
    w.h0 = pair(high(k1), high(ls));
    w.l0 = pair(low(k1), low(ls));
    w.h1a = pair(high(-k2), high(ls));
    w.l1a = pair(low(-k2), low(ls));
    w.h1b = pair(high(-k3), 0);
    w.l1b = pair(low(-k3), 0);
    w.h2 = pair(high(k4), high(ls));
    w.l2 = pair(low(k4), low(ls));
    for (int j = 0; j < 3; ++j) {
        w.dh[j] = static_cast<int32_t>(high(d[j]));
        w.dl[j] = static_cast<int32_t>(low(d[j]));
    }
    return w;
}

// ---- AVX2: 8 pixels per step ------------------------------------------------

struct Avx2Constants {
    __m256i pick01, pick21, h0, l0, h1a, l1a, h1b, l1b, h2, l2, dh0, dl0, dh1, dl1, dh2, dl2, alpha, interleave;
};

__attribute__((target("avx2"))) inline __m256i s256(int32_t v) { return _mm256_set1_epi32(v); }

__attribute__((target("avx2"))) Avx2Constants avx2Constants(const Weights& w)
{
#define s s256
    return {_mm256_setr_epi8(0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1,  //
                             0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1),
            _mm256_setr_epi8(2, -1, 1, -1, 6, -1, 5, -1, 10, -1, 9, -1, 14, -1, 13, -1,  //
                             2, -1, 1, -1, 6, -1, 5, -1, 10, -1, 9, -1, 14, -1, 13, -1),
            s(w.h0), s(w.l0), s(w.h1a), s(w.l1a), s(w.h1b), s(w.l1b), s(w.h2), s(w.l2),
            s(w.dh[0]), s(w.dl[0]), s(w.dh[1]), s(w.dl[1]), s(w.dh[2]), s(w.dl[2]),
            s(static_cast<int32_t>(0xFF000000u)),
            _mm256_setr_epi8(0, 4, 8, -1, 1, 5, 9, -1, 2, 6, 10, -1, 3, 7, 11, -1,  //
                             0, 4, 8, -1, 1, 5, 9, -1, 2, 6, 10, -1, 3, 7, 11, -1)};
#undef s
}

__attribute__((target("avx2"))) inline __m256i avx2Floor(__m256i h, __m256i l)
{
    return _mm256_srai_epi32(_mm256_add_epi32(h, _mm256_srai_epi32(l, 13)), 13);
}

// Eight 4-byte pixels in, eight converted pixels out.
__attribute__((target("avx2"))) inline __m256i avx2Convert8(__m256i p, const Avx2Constants& c)
{
    const __m256i p01 = _mm256_shuffle_epi8(p, c.pick01);
    const __m256i p21 = _mm256_shuffle_epi8(p, c.pick21);
    const __m256i r0 = avx2Floor(_mm256_add_epi32(_mm256_madd_epi16(p01, c.h0), c.dh0),
                                 _mm256_add_epi32(_mm256_madd_epi16(p01, c.l0), c.dl0));
    const __m256i r1 = avx2Floor(
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(p01, c.h1a), _mm256_madd_epi16(p21, c.h1b)), c.dh1),
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(p01, c.l1a), _mm256_madd_epi16(p21, c.l1b)), c.dl1));
    const __m256i r2 = avx2Floor(_mm256_add_epi32(_mm256_madd_epi16(p21, c.h2), c.dh2),
                                 _mm256_add_epi32(_mm256_madd_epi16(p21, c.l2), c.dl2));
    // Saturating packs limit the values to 0..255; the byte shuffle then
    // interleaves them into pixels and the fourth byte comes from the input.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(r0, r1), _mm256_packs_epi32(r2, r2));
    return _mm256_or_si256(_mm256_shuffle_epi8(bytes, c.interleave), _mm256_and_si256(p, c.alpha));
}

__attribute__((target("avx2"))) void convertAvx2(const uint8_t* src, size_t stride, uint8_t* dst, size_t pixels,
                                                const Coefficients& k)
{
    const Avx2Constants c = avx2Constants(makeWeights(k));
    size_t i = 0;
    if (stride == 8) {
        for (; i + 8 <= pixels; i += 8, src += 64, dst += 32) {
            const __m256i a = _mm256_srli_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)), 8);
            const __m256i b = _mm256_srli_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32)), 8);
            const __m256i p = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), avx2Convert8(p, c));
        }
    } else {
        for (; i + 8 <= pixels; i += 8, src += 32, dst += 32) {
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), avx2Convert8(p, c));
        }
    }
    convertPlain(src, stride, dst, pixels - i, k);
}

// ---- AVX-512: 16 pixels per step --------------------------------------------
// GCC 12's AVX-512 headers start some intrinsics from an undefined register,
// which -W(maybe-)uninitialized reports inside the headers.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"

struct Avx512Constants {
    __m512i pick01, pick21, h0, l0, h1a, l1a, h1b, l1b, h2, l2, dh0, dl0, dh1, dl1, dh2, dl2, alpha, interleave,
        order;
};

__attribute__((target("avx512f,avx512bw"))) inline __m512i s512(int32_t v) { return _mm512_set1_epi32(v); }
// The same 16 bytes in each 128-bit lane.
__attribute__((target("avx512f,avx512bw"))) inline __m512i lanes(__m128i v) { return _mm512_broadcast_i32x4(v); }

__attribute__((target("avx512f,avx512bw"))) Avx512Constants avx512Constants(const Weights& w)
{
#define s s512
    return {lanes(_mm_setr_epi8(0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1)),
            lanes(_mm_setr_epi8(2, -1, 1, -1, 6, -1, 5, -1, 10, -1, 9, -1, 14, -1, 13, -1)),
            s(w.h0), s(w.l0), s(w.h1a), s(w.l1a), s(w.h1b), s(w.l1b), s(w.h2), s(w.l2),
            s(w.dh[0]), s(w.dl[0]), s(w.dh[1]), s(w.dl[1]), s(w.dh[2]), s(w.dl[2]),
            s(static_cast<int32_t>(0xFF000000u)),
            lanes(_mm_setr_epi8(0, 4, 8, -1, 1, 5, 9, -1, 2, 6, 10, -1, 3, 7, 11, -1)),
            _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7)};
#undef s
}

__attribute__((target("avx512f,avx512bw"))) inline __m512i avx512Floor(__m512i h, __m512i l)
{
    return _mm512_srai_epi32(_mm512_add_epi32(h, _mm512_srai_epi32(l, 13)), 13);
}

__attribute__((target("avx512f,avx512bw"))) inline __m512i avx512Convert16(__m512i p, const Avx512Constants& c)
{
    const __m512i p01 = _mm512_shuffle_epi8(p, c.pick01);
    const __m512i p21 = _mm512_shuffle_epi8(p, c.pick21);
    const __m512i r0 = avx512Floor(_mm512_add_epi32(_mm512_madd_epi16(p01, c.h0), c.dh0),
                                   _mm512_add_epi32(_mm512_madd_epi16(p01, c.l0), c.dl0));
    const __m512i r1 = avx512Floor(
        _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(p01, c.h1a), _mm512_madd_epi16(p21, c.h1b)), c.dh1),
        _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(p01, c.l1a), _mm512_madd_epi16(p21, c.l1b)), c.dl1));
    const __m512i r2 = avx512Floor(_mm512_add_epi32(_mm512_madd_epi16(p21, c.h2), c.dh2),
                                   _mm512_add_epi32(_mm512_madd_epi16(p21, c.l2), c.dl2));
    const __m512i bytes = _mm512_packus_epi16(_mm512_packs_epi32(r0, r1), _mm512_packs_epi32(r2, r2));
    return _mm512_or_si512(_mm512_shuffle_epi8(bytes, c.interleave), _mm512_and_si512(p, c.alpha));
}

__attribute__((target("avx512f,avx512bw"))) void convertAvx512(const uint8_t* src, size_t stride, uint8_t* dst,
                                                              size_t pixels, const Coefficients& k)
{
    const Avx512Constants c = avx512Constants(makeWeights(k));
    size_t i = 0;
    if (stride == 8) {
        for (; i + 16 <= pixels; i += 16, src += 128, dst += 64) {
            const __m512i a = _mm512_srli_epi16(_mm512_loadu_si512(src), 8);
            const __m512i b = _mm512_srli_epi16(_mm512_loadu_si512(src + 64), 8);
            // packus works per 128-bit lane: restore the pixel order.
            const __m512i p = _mm512_permutexvar_epi64(c.order, _mm512_packus_epi16(a, b));
            _mm512_storeu_si512(dst, avx512Convert16(p, c));
        }
    } else {
        for (; i + 16 <= pixels; i += 16, src += 64, dst += 64) {
            _mm512_storeu_si512(dst, avx512Convert16(_mm512_loadu_si512(src), c));
        }
    }
    convertPlain(src, stride, dst, pixels - i, k);
}
#pragma GCC diagnostic pop
#endif

void convert(const uint8_t* src, size_t stride, uint8_t* dst, size_t pixels, const Coefficients& k)
{
#if VKVX_FRAME_X86
    if (haveAvx512()) {
        convertAvx512(src, stride, dst, pixels, k);
        return;
    }
    if (haveAvx2()) {
        convertAvx2(src, stride, dst, pixels, k);
        return;
    }
#endif
    convertPlain(src, stride, dst, pixels, k);
}

}  // namespace

bool kernelAvailable(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Plain:
        return true;
#if VKVX_FRAME_X86
    case Kernel::Avx2:
        return haveAvx2();
    case Kernel::Avx512:
        return haveAvx512();
#endif
    default:
        return false;
    }
}

void convertYCbCrWith(Kernel kernel, const uint8_t* src, size_t stride, uint8_t* dst, size_t pixels,
                      uint32_t colorimetry)
{
    const Coefficients& k = kCoefficients[colorimetry & 3];
    switch (kernel) {
#if VKVX_FRAME_X86
    case Kernel::Avx2:
        convertAvx2(src, stride, dst, pixels, k);
        return;
    case Kernel::Avx512:
        convertAvx512(src, stride, dst, pixels, k);
        return;
#endif
    default:
        convertPlain(src, stride, dst, pixels, k);
        return;
    }
}

}  // namespace vkvx::frame

extern "C" VKVX_API int32_t VKVX_FrameToRGB(const VKVX_FRAME* src, VKVX_FRAME* dst)
{
    using namespace vkvx::frame;
    if (!src || !dst || !src->Buffer || !dst->Buffer) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    // The destination holds 4-byte RGB pixels.  Any other element size would
    // make the conversion write or read past one of the two buffers.
    if (dst->BytesPerElement != 4) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const uint32_t flags = src->Flags;
    const uint32_t colourFormat = (flags >> 16) & 7u;
    const uint32_t colorimetry = (flags >> 20) & 3u;
    if (colourFormat > 3) {
        return VKVX_ERROR_NOT_SUPPORTED;  // nothing written
    }
    // Colour modes 0 to 4 with 8-byte elements carry 16-bit components whose
    // high bytes are taken; a source of 4-byte elements (or of another
    // format) is read as it is.  Nothing beyond Width x Height x
    // BytesPerElement of the source is ever read.
    const bool colourMode = src->Format >= 0 && src->Format <= 4;
    size_t stride = 0;
    if (colourMode && src->BytesPerElement >= 8) {
        stride = 8;
    } else if (src->BytesPerElement >= 4) {
        stride = 4;
    } else {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    size_t srcBytes = 0, dstBytes = 0, pixels = 0;
    if (!mulSize(src->Width, src->Height, pixels) || !frameBytes(*src, src->BytesPerElement, srcBytes) ||
        !frameBytes(*src, 4, dstBytes)) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    const auto* in = static_cast<const uint8_t*>(src->Buffer);
    auto* out = static_cast<uint8_t*>(dst->Buffer);
    if (colourFormat == 0) {
        if (stride == 8) {
            highBytes(in, out, pixels);
        } else if (in != out) {
            std::memmove(out, in, dstBytes);
        }
    } else {
        convert(in, stride, out, pixels, kCoefficients[colorimetry]);
    }
    dst->Flags = flags & ~(7u << 16);
    return 0;
}
