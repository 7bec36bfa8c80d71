// The conversion formula of VKVX_FrameToRGB written out plainly, for the
// tests to compare against.  Compile the tests that use it with
// -ffp-contract=off so that it is evaluated exactly as written.
#pragma once

#include <cstdint>

namespace frame_test {

// The formula, written out plainly: double arithmetic on single-precision
// coefficients, +0.5, truncation toward zero, limits 0 and 255.
struct Coefficients {
    int chroma, luma;
    float scale, k1, k2, k3, k4;
};
inline const Coefficients kReference[4] = {
    {128, 16, 1.164f, 1.793f, 0.534f, 0.213f, 2.115f},
    {0, 0, 1.0f, 1.14f, 0.395f, 0.581f, 2.032f},
    {128, 16, 1.164f, 1.793f, 0.534f, 0.213f, 2.115f},
    {128, 16, 1.164f, 1.596f, 0.813f, 0.391f, 2.018f},
};

inline uint8_t limit(double v)
{
    const int t = static_cast<int>(v + 0.5);
    return static_cast<uint8_t>(t < 0 ? 0 : t > 255 ? 255 : t);
}

inline void referencePixel(const uint8_t* in, uint8_t* out, int colorimetry)
{
    const Coefficients& k = kReference[colorimetry];
    const double c0 = in[0] - k.chroma;
    const double y = (in[1] - k.luma) * static_cast<double>(k.scale);
    const double c2 = in[2] - k.chroma;
    out[0] = limit(c0 * static_cast<double>(k.k1) + y);
    out[1] = limit(y - c0 * static_cast<double>(k.k2) - c2 * static_cast<double>(k.k3));
    out[2] = limit(c2 * static_cast<double>(k.k4) + y);
    out[3] = in[3];
}

}  // namespace frame_test
