// VKVX_CreateDataMapping, VKVX_Remap and VKVX_DeleteDataMapping.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "test_support.h"
#include "vkvx.h"

namespace {

using DataMapping = vkvx_test::Library;

VKVX_FRAME frame(uint32_t w, uint32_t h, int32_t format, void* buffer)
{
    VKVX_FRAME f{};
    f.Width = w;
    f.Height = h;
    f.Format = format;
    f.BytesPerElement = (format == 0 || format == 1) ? 4 : 8;
    f.Buffer = buffer;
    return f;
}

std::vector<uint32_t> table(const VKVX_DATA_MAPPING& m)
{
    return std::vector<uint32_t>(m.Table, m.Table + m.Count);
}

// The table as the defining algorithm builds it, searching linearly for
// every entry.
std::vector<uint32_t> referenceTable(const std::vector<int32_t>& layout)
{
    const int32_t lw = layout[0], gs = layout[1], seg = layout[2];
    std::vector<uint32_t> t(size_t(lw), 0), temp(size_t(lw), 0);
    for (int32_t g = 0; g < lw; g += gs) {
        for (int32_t k = 0; k < gs; ++k) {
            temp[size_t(g + k)] = static_cast<uint32_t>(int64_t(g) + layout[size_t(3 + k)]);
        }
    }
    const int32_t per = gs / seg, blocks = lw / per;
    int32_t n = 0;
    for (int32_t b = 0; b < blocks; ++b) {
        for (int32_t s = 0; s < seg; ++s) {
            for (int32_t p = 0; p < per; ++p) {
                const auto target = static_cast<uint32_t>(b * per + (int64_t(s) * lw) / seg + p);
                uint32_t j = 0;
                while (j < uint32_t(lw) && temp[j] != target) {
                    ++j;
                }
                t[size_t(n++)] = j;
                if (n == lw) {
                    return t;
                }
            }
        }
    }
    return t;
}

TEST(DataMappingInit, NeedsInitialisation)
{
    const int32_t layout[] = {4, 2, 2, 0, 1};
    VKVX_DATA_MAPPING m{};
    EXPECT_EQ(VKVX_CreateDataMapping(layout, &m), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(VKVX_DeleteDataMapping(&m), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(VKVX_Remap(nullptr, nullptr, &m), VKVX_ERROR_NOT_INITIALIZED);
}

TEST_F(DataMapping, TwoSegmentLayoutAndItsLifecycle)
{
    const int32_t layout[] = {4, 2, 2, 0, 1};
    VKVX_DATA_MAPPING m{};
    ASSERT_EQ(VKVX_CreateDataMapping(layout, &m), 0);
    EXPECT_EQ(+m.Count, 4);
    EXPECT_EQ(table(m), (std::vector<uint32_t>{0, 2, 1, 3}));

    VKVX_DATA_MAPPING before = m;
    EXPECT_EQ(VKVX_CreateDataMapping(layout, &m), VKVX_ERROR_INVALID_PARAMETER);  // already filled
    EXPECT_EQ(+m.Table, +before.Table);

    ASSERT_EQ(VKVX_DeleteDataMapping(&m), 0);
    EXPECT_EQ(+m.Count, 0);
    EXPECT_EQ(+m.Table, nullptr);
    EXPECT_EQ(VKVX_DeleteDataMapping(&m), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_DeleteDataMapping(nullptr), VKVX_ERROR_INVALID_PARAMETER);
}

TEST_F(DataMapping, RefusedLayoutsLeaveTheRecordEmpty)
{
    const std::vector<std::vector<int32_t>> layouts = {
        {4, 0, 1},           // group size 0
        {4, 2, 0, 0, 1},     // no segments
        {6, 4, 2, 0, 1, 2, 3},  // line width not a multiple of the group size
        {6, 3, 2, 0, 1, 2},  // group size not a multiple of the segments
        {32, 32, 1},         // group size above 16
        {4, 2, 4, 0, 1},     // more segments than group
        {-4, 2, 2, 0, 1},    // negative line width
        {4, -2, -1, 0, 1},
    };
    for (const auto& l : layouts) {
        VKVX_DATA_MAPPING m{};
        EXPECT_EQ(VKVX_CreateDataMapping(l.data(), &m), VKVX_ERROR_INVALID_PARAMETER) << l[0] << "/" << l[1];
        EXPECT_EQ(+m.Count, 0);
        EXPECT_EQ(+m.Table, nullptr);
    }
    VKVX_DATA_MAPPING m{};
    EXPECT_EQ(VKVX_CreateDataMapping(nullptr, &m), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VKVX_CreateDataMapping(layouts[0].data(), nullptr), VKVX_ERROR_INVALID_PARAMETER);
    uint32_t dummy = 0;
    m.Table = &dummy;  // not empty
    const int32_t good[] = {4, 2, 2, 0, 1};
    EXPECT_EQ(VKVX_CreateDataMapping(good, &m), VKVX_ERROR_INVALID_PARAMETER);
}

// Random layouts, offsets included that repeat, leave gaps, run negative or
// past the line: the table equals the one of the defining algorithm.
TEST_F(DataMapping, TablesMatchTheDefiningAlgorithm)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        const int32_t gs = 1 + int32_t(rng() % 16);
        std::vector<int32_t> divisors;
        for (int32_t d = 1; d <= gs; ++d) {
            if (gs % d == 0) {
                divisors.push_back(d);
            }
        }
        const int32_t seg = divisors[rng() % divisors.size()];
        // Mostly short lines; every tenth one as wide as a 8K line.
        const int32_t lw = round % 10 == 9 ? gs * (7680 / gs) : gs * int32_t(rng() % 40);
        std::vector<int32_t> layout = {lw, gs, seg};
        for (int32_t k = 0; k < gs; ++k) {
            layout.push_back(round % 3 == 0 ? int32_t(rng() % 64) - 20 : (k * 7 + round) % gs);
        }
        VKVX_DATA_MAPPING m{};
        ASSERT_EQ(VKVX_CreateDataMapping(layout.data(), &m), 0);
        ASSERT_NE(+m.Table, nullptr);
        EXPECT_EQ(table(m), referenceTable(layout)) << "line " << lw << " group " << gs << " segments " << seg;
        ASSERT_EQ(VKVX_DeleteDataMapping(&m), 0);
    }
}

TEST_F(DataMapping, RemapMovesEachPixelWithinItsLine)
{
    const int32_t layout[] = {4, 2, 2, 0, 1};
    VKVX_DATA_MAPPING m{};
    ASSERT_EQ(VKVX_CreateDataMapping(layout, &m), 0);
    for (int32_t format : {1, 2}) {
        const size_t px = format == 1 ? 4 : 8;
        std::vector<uint8_t> src(4 * 2 * px), dst(src.size(), 0);
        for (size_t i = 0; i < src.size(); ++i) {
            src[i] = static_cast<uint8_t>(i / px + 1);  // pixel number + 1 in every byte
        }
        VKVX_FRAME s = frame(4, 2, format, src.data()), d = frame(4, 2, format, dst.data());
        ASSERT_EQ(VKVX_Remap(&s, &d, &m), 0);
        const uint8_t want[8] = {1, 3, 2, 4, 5, 7, 6, 8};  // table 0, 2, 1, 3 per line
        for (size_t i = 0; i < 8; ++i) {
            for (size_t b = 0; b < px; ++b) {
                ASSERT_EQ(dst[i * px + b], want[i]) << "format " << format << " position " << i;
            }
        }
        // In place gives the same result.
        ASSERT_EQ(VKVX_Remap(&s, &s, &m), 0);
        EXPECT_EQ(src, dst);
    }
    ASSERT_EQ(VKVX_DeleteDataMapping(&m), 0);
}

// Offsets that reach no position leave the entry "line width" in the table:
// those pixels are dropped, nothing is written beyond the line (the buffers
// have their exact sizes, so a sanitizer sees any write past them).
TEST_F(DataMapping, EntriesBeyondTheLineAreDropped)
{
    const int32_t layout[] = {4, 2, 2, 0, 0};
    VKVX_DATA_MAPPING m{};
    ASSERT_EQ(VKVX_CreateDataMapping(layout, &m), 0);
    ASSERT_EQ(table(m), (std::vector<uint32_t>{0, 2, 4, 4}));
    std::vector<uint32_t> src = {1, 2, 3, 4, 5, 6, 7, 8}, dst(8, 0);
    VKVX_FRAME s = frame(4, 2, 0, src.data()), d = frame(4, 2, 0, dst.data());
    ASSERT_EQ(VKVX_Remap(&s, &d, &m), 0);
    EXPECT_EQ(dst, (std::vector<uint32_t>{1, 0, 2, 0, 5, 0, 6, 0}));
    ASSERT_EQ(VKVX_DeleteDataMapping(&m), 0);
}

TEST_F(DataMapping, RefusedRemaps)
{
    const int32_t layout[] = {4, 2, 2, 0, 1};
    VKVX_DATA_MAPPING m{};
    ASSERT_EQ(VKVX_CreateDataMapping(layout, &m), 0);
    std::vector<uint8_t> a(8 * 2 * 8, 1), b(a.size(), 0);
    struct Case {
        const char* what;
        VKVX_FRAME s, d;
        int32_t status;
    };
    const Case cases[] = {
        {"format differs", frame(4, 2, 1, a.data()), frame(4, 2, 0, b.data()), VKVX_ERROR_INCOMPATIBLE_BUFFERS},
        {"height differs", frame(4, 2, 1, a.data()), frame(4, 1, 1, b.data()), VKVX_ERROR_INCOMPATIBLE_BUFFERS},
        {"line wider than the table", frame(8, 2, 1, a.data()), frame(8, 2, 1, b.data()),
         VKVX_ERROR_INVALID_PARAMETER},
        {"null buffer", frame(4, 2, 1, nullptr), frame(4, 2, 1, b.data()), VKVX_ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        VKVX_FRAME d = c.d;
        EXPECT_EQ(VKVX_Remap(&c.s, &d, &m), c.status) << c.what;
    }
    VKVX_FRAME s = frame(4, 2, 1, a.data()), d = frame(4, 2, 1, b.data());
    EXPECT_EQ(VKVX_Remap(&s, &d, nullptr), VKVX_ERROR_INVALID_PARAMETER);
    VKVX_DATA_MAPPING empty{};
    EXPECT_EQ(VKVX_Remap(&s, &d, &empty), VKVX_ERROR_INVALID_PARAMETER);
    // Format 2 promises 8-byte pixels: a record of 4-byte elements is too small.
    VKVX_FRAME s2 = frame(4, 2, 2, a.data()), d2 = frame(4, 2, 2, b.data());
    s2.BytesPerElement = 4;
    EXPECT_EQ(VKVX_Remap(&s2, &d2, &m), VKVX_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(b, std::vector<uint8_t>(b.size(), 0));
    ASSERT_EQ(VKVX_DeleteDataMapping(&m), 0);
}

}  // namespace
