// Frame utilities on 1920x1080 frames, each next to the plain operation it is
// judged against, measured in the same run; the ratios are printed after the
// table.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#if VKVX_BENCH_LIBYUV
#include <libyuv.h>
#endif

#include "vkvx.h"

namespace {

constexpr uint32_t W = 1920, H = 1080;
constexpr size_t kPixels = size_t(W) * H;

std::vector<uint8_t> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i += 4) {
        const uint32_t r = rng();
        std::memcpy(&v[i], &r, n - i < 4 ? n - i : 4);
    }
    return v;
}

// A picture with structure (gradients and texture), as 4-byte and as 8-byte
// pixels: JPEG timing depends on content, noise would be unrepresentative.
struct Picture {
    std::vector<uint8_t> four, eight;
    Picture() : four(kPixels * 4), eight(kPixels * 8)
    {
        for (uint32_t y = 0; y < H; ++y) {
            for (uint32_t x = 0; x < W; ++x) {
                const size_t i = size_t(y) * W + x;
                const uint8_t c[4] = {static_cast<uint8_t>(x * 255 / W), static_cast<uint8_t>(y * 255 / H),
                                      static_cast<uint8_t>((x ^ y) & 0x3F), 0};
                for (int k = 0; k < 4; ++k) {
                    four[i * 4 + k] = c[k];
                    eight[i * 8 + 2 * k] = static_cast<uint8_t>(x);
                    eight[i * 8 + 2 * k + 1] = c[k];
                }
            }
        }
    }
};

const Picture& picture()
{
    static const Picture p;
    return p;
}

VKVX_FRAME frame(int32_t format, uint8_t bpe, const void* buffer, uint32_t flags = 0)
{
    VKVX_FRAME f{};
    f.Width = W;
    f.Height = H;
    f.Format = format;
    f.BytesPerElement = bpe;
    f.Buffer = const_cast<void*>(buffer);
    f.Flags = flags;
    return f;
}

const std::string& folder()
{
    static const std::string d = [] {
        const char* env = getenv("VKVX_BENCH_DIR");
        std::string base = env ? env : "/tmp";
        std::string pattern = base + "/vkvx-frame-bench-XXXXXX";
        std::vector<char> p(pattern.begin(), pattern.end());
        p.push_back('\0');
        return std::string(mkdtemp(p.data()) ? p.data() : base.c_str());
    }();
    return d;
}

// ---- plain operations ------------------------------------------------------

void memcpyBytes(benchmark::State& state, size_t n)
{
    const auto a = randomBytes(n, 1);
    std::vector<uint8_t> b(n);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void fwriteBytes(benchmark::State& state, size_t n)
{
    const auto a = randomBytes(n, 2);
    const std::string file = folder() + "/plain.bin";
    for (auto _ : state) {
        FILE* fp = std::fopen(file.c_str(), "wb");
        if (!fp || std::fwrite(a.data(), 1, n, fp) != n) {
            state.SkipWithError("fwrite failed");
        }
        if (fp) {
            std::fclose(fp);
        }
    }
}

// libjpeg-turbo compressing the same 4-byte pixels at quality 90 onto a file.
void libjpegDirect(benchmark::State& state)
{
    const auto& px = picture().four;
    const std::string file = folder() + "/plain.jpg";
    std::vector<JSAMPROW> rows(H);
    for (uint32_t y = 0; y < H; ++y) {
        rows[y] = const_cast<JSAMPROW>(&px[size_t(y) * W * 4]);
    }
    for (auto _ : state) {
        FILE* fp = std::fopen(file.c_str(), "wb");
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, fp);
        c.image_width = W;
        c.image_height = H;
        c.input_components = 4;
        c.in_color_space = JCS_EXT_BGRX;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            jpeg_write_scanlines(&c, &rows[c.next_scanline], c.image_height - c.next_scanline);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(fp);
    }
}

#if VKVX_BENCH_LIBYUV
void libyuvI444ToArgb(benchmark::State& state)
{
    const auto y = randomBytes(kPixels, 3), u = randomBytes(kPixels, 4), v = randomBytes(kPixels, 5);
    std::vector<uint8_t> argb(kPixels * 4);
    for (auto _ : state) {
        libyuv::I444ToARGB(y.data(), W, u.data(), W, v.data(), W, argb.data(), W * 4, W, H);
        benchmark::ClobberMemory();
    }
}
#endif

// ---- the library -----------------------------------------------------------

void frameToRgb(benchmark::State& state, uint32_t flags)
{
    const auto src = randomBytes(kPixels * 8, 6);
    std::vector<uint8_t> out(kPixels * 4);
    VKVX_FRAME s = frame(2, 8, src.data(), flags), d = frame(1, 4, out.data());
    for (auto _ : state) {
        if (VKVX_FrameToRGB(&s, &d) != 0) {
            state.SkipWithError("FrameToRGB failed");
        }
        benchmark::ClobberMemory();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void saveFrame(benchmark::State& state, int32_t format, uint8_t bpe)
{
    const auto& px = bpe == 4 ? picture().four : picture().eight;
    const VKVX_FRAME f = frame(bpe == 4 ? 1 : 2, bpe, px.data());
    const std::string file = folder() + "/frame.img";
    for (auto _ : state) {
        if (VKVX_SaveFrameToFile(file.c_str(), &f, format) <= 0) {
            state.SkipWithError("SaveFrameToFile failed");
        }
    }
}

void remap(benchmark::State& state, int32_t format, uint8_t bpe)
{
    const auto src = randomBytes(kPixels * bpe, 7);
    std::vector<uint8_t> out(src.size());
    const int32_t layout[] = {int32_t(W), 2, 2, 0, 1};
    VKVX_DATA_MAPPING m{};
    VKVX_CreateDataMapping(layout, &m);
    VKVX_FRAME s = frame(format, bpe, src.data()), d = frame(format, bpe, out.data());
    for (auto _ : state) {
        if (VKVX_Remap(&s, &d, &m) != 0) {
            state.SkipWithError("Remap failed");
        }
        benchmark::ClobberMemory();
    }
    VKVX_DeleteDataMapping(&m);
}

void compare(benchmark::State& state, int32_t format, uint8_t bpe, int32_t method)
{
    const auto a = randomBytes(kPixels * bpe, 8), b = randomBytes(kPixels * bpe, 9);
    std::vector<uint8_t> r(a.size());
    VKVX_FRAME fa = frame(format, bpe, a.data()), fb = frame(format, bpe, b.data()), fr = frame(format, bpe, r.data());
    for (auto _ : state) {
        if (VKVX_FrameCompare(&fa, &fb, &fr, method) != 0) {
            state.SkipWithError("FrameCompare failed");
        }
        benchmark::ClobberMemory();
    }
}

// Collects the time per iteration of every benchmark by name.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
                times[r.run_name.function_name] = r.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv)
{
    const size_t b4 = kPixels * 4, b8 = kPixels * 8;
    const uint32_t ycbcr444 = (2u << 16) | (2u << 20);
    auto reg = [](const char* name, auto fn) {
        benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    reg("memcpy/8-byte-frame", [=](benchmark::State& s) { memcpyBytes(s, b8); });
    reg("memcpy/4-byte-frame", [=](benchmark::State& s) { memcpyBytes(s, b4); });
    reg("FrameToRGB/RGB", [](benchmark::State& s) { frameToRgb(s, 0); });
    reg("FrameToRGB/YCbCr444", [=](benchmark::State& s) { frameToRgb(s, ycbcr444); });
#if VKVX_BENCH_LIBYUV
    reg("libyuv/I444ToARGB", libyuvI444ToArgb);
#endif
    reg("libjpeg/direct-q90", libjpegDirect);
    reg("Save/JPEG-4byte", [](benchmark::State& s) { saveFrame(s, VKVX_FILE_JPEG, 4); });
    reg("Save/JPEG-8byte", [](benchmark::State& s) { saveFrame(s, VKVX_FILE_JPEG, 8); });
    reg("fwrite/rgb24", [=](benchmark::State& s) { fwriteBytes(s, kPixels * 3); });
    reg("Save/PPM-8bit", [](benchmark::State& s) { saveFrame(s, VKVX_FILE_PPM, 4); });
    reg("fwrite/rgb48", [=](benchmark::State& s) { fwriteBytes(s, kPixels * 6); });
    reg("Save/PPM-16bit", [](benchmark::State& s) { saveFrame(s, VKVX_FILE_PPM, 8); });
    reg("fwrite/bgrx", [=](benchmark::State& s) { fwriteBytes(s, b4 + 54); });
    reg("Save/BMP-4byte", [](benchmark::State& s) { saveFrame(s, VKVX_FILE_BMP, 4); });
    reg("Save/BMP-8byte", [](benchmark::State& s) { saveFrame(s, VKVX_FILE_BMP, 8); });
    reg("Remap/4-byte", [](benchmark::State& s) { remap(s, 1, 4); });
    reg("Remap/8-byte", [](benchmark::State& s) { remap(s, 2, 8); });
    reg("FrameCompare/xor-4byte", [](benchmark::State& s) { compare(s, 1, 4, VKVX_COMPARE_XOR); });
    reg("FrameCompare/absdiff-4byte", [](benchmark::State& s) { compare(s, 1, 4, VKVX_COMPARE_ABSDIFF); });
    reg("FrameCompare/absdiff-8byte", [](benchmark::State& s) { compare(s, 2, 8, VKVX_COMPARE_ABSDIFF); });

    benchmark::Initialize(&argc, argv);
    if (VKVX_Initialize() < 1) {  // comparison and remapping need it
        std::fprintf(stderr, "VKVX_Initialize failed\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    VKVX_CleanUp();

    const std::pair<const char*, const char*> ratios[] = {
        {"FrameToRGB/RGB", "memcpy/8-byte-frame"},
        {"FrameToRGB/YCbCr444", "memcpy/8-byte-frame"},
        {"FrameToRGB/YCbCr444", "libyuv/I444ToARGB"},
        {"Save/JPEG-4byte", "libjpeg/direct-q90"},
        {"Save/JPEG-8byte", "libjpeg/direct-q90"},
        {"Save/PPM-8bit", "fwrite/rgb24"},
        {"Save/PPM-16bit", "fwrite/rgb48"},
        {"Save/BMP-4byte", "fwrite/bgrx"},
        {"Save/BMP-8byte", "fwrite/bgrx"},
        {"Remap/4-byte", "memcpy/4-byte-frame"},
        {"Remap/8-byte", "memcpy/8-byte-frame"},
        {"FrameCompare/xor-4byte", "memcpy/4-byte-frame"},
        {"FrameCompare/absdiff-4byte", "memcpy/4-byte-frame"},
        {"FrameCompare/absdiff-8byte", "memcpy/8-byte-frame"},
    };
    std::printf("\n%-28s %-22s %10s %10s %8s\n", "operation", "next to", "ms", "base ms", "ratio");
    for (const auto& [op, base] : ratios) {
        const auto a = reporter.times.find(op), b = reporter.times.find(base);
        if (a == reporter.times.end() || b == reporter.times.end()) {
            continue;  // filtered out or failed
        }
        std::printf("%-28s %-22s %10.3f %10.3f %8.2f\n", op, base, a->second, b->second, a->second / b->second);
    }
    for (const char* op : {"FrameToRGB/RGB", "FrameToRGB/YCbCr444"}) {
        const auto a = reporter.times.find(op);
        if (a != reporter.times.end()) {
            std::printf("%-28s %.0f frames/s\n", op, 1000.0 / a->second);
        }
    }
    std::system(("rm -rf '" + folder() + "'").c_str());
    return 0;
}
