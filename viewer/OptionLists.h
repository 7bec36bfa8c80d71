// Capture option lists: how the settings of a configuration page become the
// ordered list of (option id, value) pairs that a worker applies with
// VKVX_SetOption before it starts the device, together with the run's video,
// audio, sections, lane-map and buffered choices.
//
// Everything here is plain data in, plain data out: the main window reads the
// page's controls into a settings record and calls the builder of the start
// button's Tag.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kvx {

using OptionList = std::vector<std::pair<int32_t, int32_t>>;

// Tags of the start buttons.
enum StartTag : int {
    kTagVx1 = 1,         // BitBtn1, page PNL_Vx1
    kTagVx1Generic = 2,  // BitBtn2, page PNL_Vx1_Gen
    kTagLvds = 3,        // BitBtn7, page PNL_LVDS
    kTagMlc = 4,         // BitBtn3, page PNL_MLC
    kTagAudio = 6,       // BitBtn5, page PNL_KVX3_Audio
};

// Everything a capture run is started with.
struct RunSetup {
    OptionList options;
    bool video = true;
    bool audio = false;
    int32_t sections = 1;
    bool customLaneMap = false;
    bool buffered = false;
    bool pauseOnError = false;
    std::array<int32_t, 16> laneMap{};  // identity unless a lane map was given

    RunSetup();
};

// Lane table {1, 2, 4, 8}, colour-depth table {0, 1, 2, 3}, trigger table
// {0, 1, 3}; an item index outside a table reads its first entry.
int32_t laneCount(int itemIndex);
int32_t colourDepth(int itemIndex);
int32_t triggerMode(int itemIndex);

// Reads a text as a prefixed integer: leading white space, a sign, base 16
// after "0x"/"0X", base 8 after a leading "0", base 10 otherwise; stops at the
// first character that does not fit; an empty or non-numeric text gives 0; a
// value beyond the 32-bit range gives the largest or smallest 32-bit value.
int32_t parsePrefixedInt(const std::string& text);
// Reads a digits-only edit as a decimal integer (0 when empty, clamped to
// the 32-bit range).
int32_t parseDecimal(const std::string& text);

// Lane map from the sixteen Map edits (entry i from Map(i+1)): a value v other
// than 0 becomes v - 1 and turns the custom map on, 0 keeps entry i.
// Returns whether any entry was given.
bool readLaneMap(const std::array<std::string, 16>& mapTexts, std::array<int32_t, 16>& laneMap);

// Page PNL_Vx1 (Tag 1).
struct Vx1Settings {
    int lanes = 3;            // RG_Vx1_LanesA
    int colourDepth = 2;      // RG_Vx1_ColDepthA
    int sections = 0;         // RG_Vx1_Sections
    int mapping = 1;          // RG_Vx1_Mapping
    int trigger = 0;          // RG_Vx1_ExtTriggerA
    int captureMode = 0;      // RG_CaptureModeA
    int measurementMode = 0;  // RG_Vx1_MeasurementMode
    int lock1 = 0;            // UD_Lock1 position
    int lock2 = 0;            // UD_Lock2 position
    std::string config2 = "42000";  // ED_Vx1_Config2
    std::string config3 = "42000";  // ED_Vx1_Config3
    std::array<std::string, 16> map;  // Map1..Map16
    Vx1Settings() { map.fill("0"); }
};
RunSetup buildVx1Run(const Vx1Settings& s);

// Page PNL_Vx1_Gen (Tag 2).
struct Vx1GenericSettings {
    int lanes = 3;        // RG_Vx1_LanesB
    int colourDepth = 2;  // RG_Vx1_ColDepthB
    int trigger = 0;      // RG_Vx1_ExtTriggerB
    int captureMode = 0;  // RG_CaptureModeB
};
RunSetup buildVx1GenericRun(const Vx1GenericSettings& s);

// Page PNL_LVDS (Tag 3).  The "Capture Mode" group is not read: LVDS captures
// always run in real time.
struct LvdsSettings {
    int lanes = 1;        // RG_LVDS_Lanes
    int colourDepth = 2;  // RG_LVDS_ColorDepth
    int mapping = 0;      // RG_LVDS_Mapping
};
RunSetup buildLvdsRun(const LvdsSettings& s);

// Page PNL_MLC (Tag 4).
struct MlcSettings {
    int lanes = 0;        // RG_MLC_Lanes
    int colourDepth = 1;  // RG_MLC_ColorDepth
    int capture = 1;      // RG_MLC_Capture: 0 line, 1 frame
    std::string numPairs = "6";        // EDT_MLC_NumPairs
    std::string bytesPerLine = "1024";  // EDT_MLC_BytesPerLine
    std::string linesPerFrame = "6";    // EDT_MLC_LinesPerFrame
    std::string lineOffset = "0";       // EDT_MLC_LineOffset
    int frameEdge = 0;                  // CMB_MLC_FrameEdge
    int lineEdge = 0;                   // CMB_MLC_LineEdge
    std::string resetPair = "1";        // EDT_MLC_ResetPair
    std::string numSections = "1";      // EDT_MLC_NumSections
    bool invertPair[6] = {false, false, false, false, false, false};  // CHK_MLC_Invert1..6
    bool invertClock = false;           // CHK_MLC_InvertClock
    bool noFrameSync = false;           // CHK_NoFSync
    bool useSyncDelay = false;          // CHK_UseSyncDelay
    bool lsyncNoForceLend = false;      // CHK_LsyncNoForceLend
    bool bUsesSyncA = false;            // CHK_BUsesSyncA
    bool noLineSync = false;            // CHK_NoLSync
    int captureMode = 0;                // RG_CaptureModeC
};
RunSetup buildMlcRun(const MlcSettings& s);

// Page PNL_KVX3_Audio (Tag 6): audio on, video off.  The device calls that
// precede the options (VKVX_ReInitDevice, VKVX_SelectConnector) are the main
// window's business.
struct AudioSettings {
    std::string bufferSamples = "16384";  // EDT_KVX3_AudioBuffer
};
RunSetup buildAudioRun(const AudioSettings& s);

// Text of lane-count item k for a chain of `devices` devices: "%i Lane%s"
// with (2^k) x devices and "s" from 2 on.
std::string laneItemText(int k, int devices);

// Client size for a zoom of 1/divisor on a frame of w x h pixels.
std::pair<int, int> zoomClientSize(int frameWidth, int frameHeight, int statusBarHeight, int divisor);

}  // namespace kvx
