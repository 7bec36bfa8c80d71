// VKVX_SaveFrameToFile: files are read back by independent decoders (netpbm
// converters run as subprocesses, libjpeg's decoder) and compared with the
// frame pixel for pixel.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "vkvx.h"

namespace {

VKVX_FRAME frame(uint32_t w, uint32_t h, uint8_t bpe, void* buffer)
{
    VKVX_FRAME f{};
    f.Width = w;
    f.Height = h;
    f.Format = bpe == 8 ? 2 : 1;
    f.BytesPerElement = bpe;
    f.Buffer = buffer;
    return f;
}

class SaveFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vkvx-frame-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string path(const char* name) const { return dir_ + "/" + name; }

    static bool exists(const std::string& p)
    {
        struct stat st;
        return stat(p.c_str(), &st) == 0;
    }
    static std::vector<uint8_t> bytes(const std::string& p)
    {
        std::ifstream f(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }

    // Runs a netpbm pipeline ending in plain (text) PNM and parses it:
    // width, height, maxval and the samples in file order.
    struct Plain {
        unsigned width = 0, height = 0, maxval = 0;
        std::vector<unsigned> samples;
    };
    static Plain plain(const std::string& command)
    {
        Plain p;
        FILE* pipe = popen(("(" + command + ") 2>/dev/null").c_str(), "r");
        if (!pipe) {
            ADD_FAILURE() << "cannot run " << command;
            return p;
        }
        std::string text;
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) {
            text.append(buf, n);
        }
        EXPECT_EQ(pclose(pipe), 0) << command;
        std::istringstream in(text);
        std::string magic;
        in >> magic >> p.width >> p.height >> p.maxval;
        EXPECT_EQ(magic, "P3") << command;
        unsigned v;
        while (in >> v) {
            p.samples.push_back(v);
        }
        return p;
    }

    std::string dir_;
};

std::vector<uint8_t> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<uint8_t>(rng());
    }
    return v;
}

TEST_F(SaveFrame, PpmOf4BytePixelsReadsBackAs8BitRgb)
{
    const uint32_t w = 37, h = 23;  // not a multiple of the packers' blocks
    auto px = randomBytes(w * h * 4, 1);
    VKVX_FRAME f = frame(w, h, 4, px.data());
    const std::string file = path("a.ppm");
    const int32_t size = VKVX_SaveFrameToFile(file.c_str(), &f, VKVX_FILE_PPM);
    const std::string header = "P6 37 23 255 ";
    ASSERT_EQ(size, int32_t(header.size() + w * h * 3));
    const auto raw = bytes(file);
    EXPECT_EQ(raw.size(), size_t(size));
    EXPECT_EQ(std::string(raw.begin(), raw.begin() + header.size()), header);

    const Plain p = plain("pnmtoplainpnm '" + file + "'");
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.height, h);
    ASSERT_EQ(p.maxval, 255u);
    ASSERT_EQ(p.samples.size(), size_t(w * h * 3));
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        ASSERT_EQ(p.samples[i * 3 + 0], px[i * 4 + 2]) << "red of pixel " << i;
        ASSERT_EQ(p.samples[i * 3 + 1], px[i * 4 + 1]) << "green of pixel " << i;
        ASSERT_EQ(p.samples[i * 3 + 2], px[i * 4 + 0]) << "blue of pixel " << i;
    }
}

TEST_F(SaveFrame, PpmOf8BytePixelsReadsBackAs16BitRgb)
{
    const uint32_t w = 19, h = 11;
    auto px = randomBytes(w * h * 8, 2);
    VKVX_FRAME f = frame(w, h, 8, px.data());
    const std::string file = path("b.ppm");
    const int32_t size = VKVX_SaveFrameToFile(file.c_str(), &f, VKVX_FILE_PPM);
    ASSERT_EQ(size, int32_t(std::strlen("P6 19 11 65535 ") + w * h * 6));
    const Plain p = plain("pnmtoplainpnm '" + file + "'");
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.maxval, 65535u);
    ASSERT_EQ(p.samples.size(), size_t(w * h * 3));
    auto component = [&](size_t i, int c) { return unsigned(px[i * 8 + 2 * c]) | unsigned(px[i * 8 + 2 * c + 1]) << 8; };
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        ASSERT_EQ(p.samples[i * 3 + 0], component(i, 2)) << i;
        ASSERT_EQ(p.samples[i * 3 + 1], component(i, 1)) << i;
        ASSERT_EQ(p.samples[i * 3 + 2], component(i, 0)) << i;
    }
}

TEST_F(SaveFrame, SixteenBitPpmOfOnePixelIs19Bytes)
{
    uint8_t px[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    VKVX_FRAME f = frame(1, 1, 8, px);
    const std::string file = path("one.ppm");
    ASSERT_EQ(VKVX_SaveFrameToFile(file.c_str(), &f, VKVX_FILE_PPM), 19);
    const std::vector<uint8_t> want = {'P', '6', ' ', '1', ' ', '1', ' ', '6', '5', '5', '3', '5', ' ',
                                       0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(bytes(file), want);
}

TEST_F(SaveFrame, BmpReadsBackBottomUp)
{
    const uint32_t w = 13, h = 7;
    for (uint8_t bpe : {4, 8}) {
        auto px = randomBytes(w * h * bpe, bpe);
        VKVX_FRAME f = frame(w, h, bpe, px.data());
        const std::string file = path(bpe == 4 ? "a.bmp" : "b.bmp");
        ASSERT_EQ(VKVX_SaveFrameToFile(file.c_str(), &f, VKVX_FILE_BMP), int32_t(w * h * 4 + 54));
        const Plain p = plain("bmptopnm '" + file + "' | pnmtoplainpnm");
        ASSERT_EQ(p.width, w);
        ASSERT_EQ(p.height, h);
        ASSERT_EQ(p.maxval, 255u);
        ASSERT_EQ(p.samples.size(), size_t(w * h * 3));
        auto byte = [&](size_t i, int b) { return bpe == 4 ? px[i * 4 + b] : px[i * 8 + 2 * b + 1]; };
        for (size_t i = 0; i < size_t(w) * h; ++i) {
            ASSERT_EQ(p.samples[i * 3 + 0], byte(i, 2)) << int(bpe) << " pixel " << i;
            ASSERT_EQ(p.samples[i * 3 + 1], byte(i, 1)) << int(bpe) << " pixel " << i;
            ASSERT_EQ(p.samples[i * 3 + 2], byte(i, 0)) << int(bpe) << " pixel " << i;
        }
    }
}

TEST_F(SaveFrame, TwoByTwoBmpIs70BytesWithTheSecondRowFirst)
{
    uint8_t px[16];
    for (int i = 0; i < 16; ++i) {
        px[i] = static_cast<uint8_t>(i + 1);
    }
    VKVX_FRAME f = frame(2, 2, 4, px);
    const std::string file = path("two.bmp");
    ASSERT_EQ(VKVX_SaveFrameToFile(file.c_str(), &f, VKVX_FILE_BMP), 70);
    const auto raw = bytes(file);
    ASSERT_EQ(raw.size(), 70u);
    EXPECT_EQ(raw[0], 'B');
    EXPECT_EQ(raw[1], 'M');
    EXPECT_EQ(raw[2], 70);  // file size
    EXPECT_EQ(raw[10], 54);  // pixel offset
    EXPECT_EQ(raw[28], 32);  // bits per pixel
    EXPECT_EQ(std::memcmp(&raw[54], px + 8, 8), 0);  // second row first
    EXPECT_EQ(std::memcmp(&raw[62], px, 8), 0);
}

// A gradient with some texture: decoded by libjpeg, it must come back close
// to the frame (byte 2 red, 1 green, 0 blue).
TEST_F(SaveFrame, JpegDecodesCloseToTheFrame)
{
    const uint32_t w = 96, h = 64;
    for (uint8_t bpe : {4, 8}) {
        std::vector<uint8_t> px(w * h * bpe);
        auto set = [&](size_t i, int c, unsigned v) {
            if (bpe == 4) {
                px[i * 4 + c] = static_cast<uint8_t>(v);
            } else {
                px[i * 8 + 2 * c] = 0x5A;
                px[i * 8 + 2 * c + 1] = static_cast<uint8_t>(v);
            }
        };
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                const size_t i = y * w + x;
                set(i, 2, x * 255 / w);        // red: left to right
                set(i, 1, y * 255 / h);        // green: top to bottom
                set(i, 0, 64 + (x + y) % 16);  // blue: small texture
            }
        }
        VKVX_FRAME f = frame(w, h, bpe, px.data());
        const std::string file = path(bpe == 4 ? "a.jpg" : "b.jpg");
        const int32_t size = VKVX_SaveFrameToFile(file.c_str(), &f, VKVX_FILE_JPEG);
        ASSERT_GT(size, 0);
        const auto raw = bytes(file);
        ASSERT_EQ(raw.size(), size_t(size));

        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, raw.data(), raw.size());
        ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        ASSERT_EQ(cinfo.output_width, w);
        ASSERT_EQ(cinfo.output_height, h);
        ASSERT_EQ(cinfo.output_components, 3);
        std::vector<uint8_t> rgb(w * h * 3);
        while (cinfo.output_scanline < h) {
            JSAMPROW row = &rgb[cinfo.output_scanline * w * 3];
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);

        int worst = 0;
        double sum = 0;
        for (size_t i = 0; i < size_t(w) * h; ++i) {
            for (int c = 0; c < 3; ++c) {
                const int want = bpe == 4 ? px[i * 4 + 2 - c] : px[i * 8 + 2 * (2 - c) + 1];
                const int d = std::abs(int(rgb[i * 3 + c]) - want);
                worst = std::max(worst, d);
                sum += d;
            }
        }
        EXPECT_LE(worst, 12) << int(bpe);
        EXPECT_LE(sum / (w * h * 3), 2.0) << int(bpe);
    }
}

TEST_F(SaveFrame, RefusedRequestsCreateNoFile)
{
    uint8_t px[64] = {};
    struct Case {
        const char* what;
        VKVX_FRAME f;
        int32_t format;
        int32_t status;
    };
    const uint32_t big = 0x7FFFFFFF;
    const Case cases[] = {
        {"format id 3", frame(2, 2, 4, px), 3, VKVX_ERROR_INVALID_FORMAT_ID},
        {"format id -1", frame(2, 2, 4, px), -1, VKVX_ERROR_INVALID_FORMAT_ID},
        {"PPM of 2-byte elements", frame(2, 2, 2, px), VKVX_FILE_PPM, VKVX_ERROR_INVALID_FORMAT_ID},
        {"BMP of 3-byte elements", frame(2, 2, 3, px), VKVX_FILE_BMP, VKVX_ERROR_INVALID_FORMAT_ID},
        {"JPEG of 6-byte elements", frame(2, 2, 6, px), VKVX_FILE_JPEG, VKVX_ERROR_INVALID_FORMAT_ID},
        {"null buffer", frame(2, 2, 4, nullptr), VKVX_FILE_PPM, VKVX_ERROR_INVALID_PARAMETER},
        {"PPM too large to report", frame(big, big, 4, px), VKVX_FILE_PPM, VKVX_ERROR_INVALID_PARAMETER},
        {"BMP too large to report", frame(40000, 40000, 8, px), VKVX_FILE_BMP, VKVX_ERROR_INVALID_PARAMETER},
        {"JPEG too wide", frame(70000, 1, 4, px), VKVX_FILE_JPEG, VKVX_ERROR_INVALID_PARAMETER},
        {"empty JPEG", frame(0, 1, 4, px), VKVX_FILE_JPEG, VKVX_ERROR_INVALID_PARAMETER},
    };
    const std::string file = path("refused");
    for (const Case& c : cases) {
        EXPECT_EQ(VKVX_SaveFrameToFile(file.c_str(), &c.f, c.format), c.status) << c.what;
        EXPECT_FALSE(exists(file)) << c.what;
    }
    VKVX_FRAME f = frame(2, 2, 4, px);
    EXPECT_EQ(VKVX_SaveFrameToFile(nullptr, &f, VKVX_FILE_PPM), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_SaveFrameToFile(file.c_str(), nullptr, VKVX_FILE_PPM), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(exists(file));
}

TEST_F(SaveFrame, UncreatableFileGivesCreateError)
{
    uint8_t px[16] = {};
    VKVX_FRAME f = frame(2, 2, 4, px);
    const std::string file = path("no/such/folder.img");
    for (int32_t format : {VKVX_FILE_PPM, VKVX_FILE_BMP, VKVX_FILE_JPEG}) {
        EXPECT_EQ(VKVX_SaveFrameToFile(file.c_str(), &f, format), VKVX_ERROR_CREATE_FILE) << format;
    }
}

// A full device accepts the file but not its bytes: every writer reports the
// failed write instead of a size (and the JPEG encoder's error comes back as a
// status, with nothing leaked, as the sanitizer build checks).
TEST_F(SaveFrame, FailedWritesAreReported)
{
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    const uint32_t w = 640, h = 480;
    for (uint8_t bpe : {4, 8}) {
        auto px = randomBytes(w * h * bpe, 3);
        VKVX_FRAME f = frame(w, h, bpe, px.data());
        for (int32_t format : {VKVX_FILE_PPM, VKVX_FILE_BMP, VKVX_FILE_JPEG}) {
            EXPECT_EQ(VKVX_SaveFrameToFile("/dev/full", &f, format), VKVX_ERROR_FILE_WRITE)
                << "format " << format << " bpe " << int(bpe);
        }
    }
}

}  // namespace
