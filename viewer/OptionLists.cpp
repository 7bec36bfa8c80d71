#include "OptionLists.h"

#include <climits>
#include <cstdio>

namespace kvx {
namespace {

constexpr int32_t kLaneTable[] = {1, 2, 4, 8};
constexpr int32_t kColourDepthTable[] = {0, 1, 2, 3};
constexpr int32_t kTriggerTable[] = {0, 1, 3};

template <size_t N>
int32_t tableEntry(const int32_t (&table)[N], int index)
{
    return index >= 0 && static_cast<size_t>(index) < N ? table[index] : table[0];
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

int32_t clampTo32(bool negative, int64_t magnitude)
{
    if (negative) {
        return magnitude >= static_cast<int64_t>(INT32_MAX) + 1 ? INT32_MIN : static_cast<int32_t>(-magnitude);
    }
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

// Accumulates digits of the given base from position i; the magnitude
// saturates just above the 32-bit range.
int64_t accumulate(const std::string& text, size_t i, int base)
{
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        int d = digitValue(text[i]);
        if (d >= base) {
            break;
        }
        magnitude = magnitude * base + d;
        if (magnitude > (int64_t(1) << 32)) {
            magnitude = int64_t(1) << 32;
        }
    }
    return magnitude;
}

}  // namespace

RunSetup::RunSetup()
{
    for (int32_t i = 0; i < 16; ++i) {
        laneMap[i] = i;
    }
}

int32_t laneCount(int itemIndex) { return tableEntry(kLaneTable, itemIndex); }
int32_t colourDepth(int itemIndex) { return tableEntry(kColourDepthTable, itemIndex); }
int32_t triggerMode(int itemIndex) { return tableEntry(kTriggerTable, itemIndex); }

int32_t parsePrefixedInt(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digitValue(text[i + 2]) < 16) {
        base = 16;
        i += 2;
    } else if (i < text.size() && text[i] == '0') {
        base = 8;
    }
    return clampTo32(negative, accumulate(text, i, base));
}

int32_t parseDecimal(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return clampTo32(negative, accumulate(text, i, 10));
}

bool readLaneMap(const std::array<std::string, 16>& mapTexts, std::array<int32_t, 16>& laneMap)
{
    bool custom = false;
    for (int32_t i = 0; i < 16; ++i) {
        int32_t v = parseDecimal(mapTexts[i]);
        if (v != 0) {
            laneMap[i] = v - 1;
            custom = true;
        } else {
            laneMap[i] = i;
        }
    }
    return custom;
}

RunSetup buildVx1Run(const Vx1Settings& s)
{
    RunSetup run;
    const int32_t depth = colourDepth(s.colourDepth);
    run.options = {
        {6, laneCount(s.lanes)},
        {7, depth},
        {3, depth},
        {2, s.mapping},
        {14, triggerMode(s.trigger)},
        {5, s.trigger != 0 ? 3000 : 500},
        {9, s.measurementMode},
        {10, s.lock1},
        {11, s.lock2},
        {12, parsePrefixedInt(s.config2)},
        {13, parsePrefixedInt(s.config3)},
    };
    run.customLaneMap = readLaneMap(s.map, run.laneMap);
    run.buffered = s.trigger != 0 || s.captureMode != 0;
    run.sections = laneCount(s.sections);
    if (run.sections != 1) {
        run.customLaneMap = true;
    }
    return run;
}

RunSetup buildVx1GenericRun(const Vx1GenericSettings& s)
{
    RunSetup run;
    const int32_t depth = colourDepth(s.colourDepth);
    run.options = {
        {6, laneCount(s.lanes)},
        {7, depth},
        {3, depth},
        {14, triggerMode(s.trigger)},
        {5, s.trigger != 0 ? 3000 : 500},
    };
    run.buffered = s.trigger != 0 || s.captureMode != 0;
    return run;
}

RunSetup buildLvdsRun(const LvdsSettings& s)
{
    RunSetup run;
    run.options = {
        {1, laneCount(s.lanes)},
        {3, colourDepth(s.colourDepth)},
        {2, s.mapping},
    };
    return run;
}

RunSetup buildMlcRun(const MlcSettings& s)
{
    RunSetup run;
    const int32_t lanes = laneCount(s.lanes);
    // Bytes per lane rounded up, then down to whole pixels of three bytes;
    // 64-bit so that a huge entry cannot overflow.
    const int64_t bytes = parseDecimal(s.bytesPerLine);
    const int64_t perLane = ((bytes + lanes - 1) / lanes) / 3 * 3;
    int32_t invertMask = 0;
    for (int k = 0; k < 6; ++k) {
        if (s.invertPair[k]) {
            invertMask |= 1 << k;
        }
    }
    if (s.invertClock) {
        invertMask |= 1 << 6;
    }
    run.options = {
        {1, lanes},
        {3, colourDepth(s.colourDepth)},
        {15, s.capture},
        {17, parseDecimal(s.numPairs)},
        {18, static_cast<int32_t>(perLane)},
        {21, s.noFrameSync ? 1 : 0},
        {22, s.useSyncDelay ? 1 : 0},
        {23, s.frameEdge},
        {24, s.lsyncNoForceLend ? 1 : 0},
        {25, s.bUsesSyncA ? 1 : 0},
        {26, s.noLineSync ? 1 : 0},
        {28, parseDecimal(s.resetPair)},
        {27, s.lineEdge},
    };
    if (s.capture == 1) {
        run.options.push_back({19, parseDecimal(s.linesPerFrame)});
        run.options.push_back({20, parseDecimal(s.lineOffset)});
    }
    run.options.push_back({16, invertMask});
    run.buffered = s.captureMode != 0;
    // The sections edit has an up-down of 1 to 6, but a typed 0 or an empty
    // text would divide by zero when the columns are re-ordered: read as 1.
    run.sections = parseDecimal(s.numSections);
    if (run.sections < 1) {
        run.sections = 1;
    }
    run.customLaneMap = run.sections > 1;
    return run;
}

RunSetup buildAudioRun(const AudioSettings& s)
{
    RunSetup run;
    run.video = false;
    run.audio = true;
    run.options = {
        {29, 0},
        {3, 101},
        {32, parseDecimal(s.bufferSamples)},
    };
    return run;
}

std::string laneItemText(int k, int devices)
{
    const int count = (1 << k) * devices;
    char text[32];
    std::snprintf(text, sizeof text, "%i Lane%s", count, count >= 2 ? "s" : "");
    return text;
}

std::pair<int, int> zoomClientSize(int frameWidth, int frameHeight, int statusBarHeight, int divisor)
{
    return {frameWidth / divisor, statusBarHeight + frameHeight / divisor};
}

}  // namespace kvx
