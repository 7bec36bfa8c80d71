/*
 * vkvx.h - public interface of the VKVX API library (libVKVX.so.1).
 *
 * Every function returns a signed 32-bit status: zero or a positive count on
 * success, a negative VKVX_ERROR_* code on failure.  Devices are addressed by
 * the opaque handle returned by VKVX_OpenDevice, video views by the handle
 * returned by VP_CreateVideoView.  All records are byte-packed; their sizes
 * are those of the 64-bit build and are checked below.
 *
 * Usable from C (C99) and C++.
 */
#ifndef VKVX_VKVX_H
#define VKVX_VKVX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VKVX_BUILDING_LIBRARY)
#define VKVX_API __attribute__((visibility("default")))
#else
#define VKVX_API
#endif

/* ------------------------------------------------------------------------ */
/* Status codes                                                             */
/* ------------------------------------------------------------------------ */

typedef enum VKVX_ERROR {
    VKVX_OK = 0,
    VKVX_ERROR_LOAD_LIBRARY = -1,          /* client binding layer only */
    VKVX_ERROR_FUNCTION_NOT_FOUND = -2,    /* client binding layer only */
    VKVX_ERROR_VERSION = -3,               /* client binding layer only */
    VKVX_ERROR_INITIALIZATION = -4,
    VKVX_ERROR_NOT_INITIALIZED = -5,
    VKVX_ERROR_NOT_SUPPORTED = -6,
    VKVX_ERROR_DEVICE_NOT_RECOGNIZED = -7,
    VKVX_ERROR_INVALID_PARAMETER = -8,
    VKVX_ERROR_DIRECT2D = -9,
    VKVX_ERROR_DIRECTDRAW = -10,
    VKVX_ERROR_COLOUR_SPACE = -11,
    VKVX_ERROR_INVALID_HANDLE = -12,
    VKVX_ERROR_NO_SUCH_ALLOCATION = -13,
    VKVX_ERROR_DRIVER_ENTRY_POINT = -14,
    VKVX_ERROR_DRIVER_MISSING = -15,
    VKVX_ERROR_OPEN_FAILED = -16,
    VKVX_ERROR_CONFIGURATION = -17,
    VKVX_ERROR_ENUMERATION_ERROR = -18,
    VKVX_ERROR_OUT_OF_MEMORY = -19,
    VKVX_ERROR_MODE_NOT_SUPPORTED = -20,
    VKVX_ERROR_FIRMWARE_UPLOAD = -21,
    VKVX_ERROR_TIMEOUT = -22,
    VKVX_ERROR_USB_IO = -23,
    VKVX_ERROR_NO_SIGNAL = -24,
    VKVX_ERROR_CREATE_FILE = -25,
    VKVX_ERROR_INVALID_FORMAT_ID = -26,
    VKVX_ERROR_FILE_WRITE = -27,
    VKVX_ERROR_FRAME_SIZE_MISMATCH = -28,
    VKVX_ERROR_INCOMPATIBLE_BUFFERS = -29,
    VKVX_ERROR_SYNC_CABLE = -30,
    VKVX_ERROR_EMPTY_BUFFER = -31,
    VKVX_ERROR_TRIGGER_TIMEOUT = -32,
    VKVX_ERROR_RESERVED_33 = -33,          /* reserved, never returned */
    VKVX_ERROR_DEVICE_IN_USE = -34,
    VKVX_ERROR_NO_DATA = -35,
    VKVX_ERROR_FIRMWARE_UPDATE_REQUIRED = -36,
    VKVX_ERROR_HARDWARE_FAILURE = -37
} VKVX_ERROR;

/* ------------------------------------------------------------------------ */
/* Device type codes: vendor id in the upper 16 bits, product code below.   */
/* ------------------------------------------------------------------------ */

/* The maker's USB vendor identifier (a build setting, see README). */
#ifndef VKVX_VENDOR_ID
#define VKVX_VENDOR_ID 0x16D0u
#endif
#define VKVX_PRODUCT_LVDS 0x7100u
#define VKVX_PRODUCT_VX1 0x7200u
#define VKVX_PRODUCT_MLC 0x7300u
#define VKVX_PRODUCT_USB3_MM 0x7350u
#define VKVX_PRODUCT_DUMMY 0x7400u
#define VKVX_DEVICE_TYPE(product) ((VKVX_VENDOR_ID << 16) | (product))
#define VKVX_TYPE_USB_LVDS VKVX_DEVICE_TYPE(VKVX_PRODUCT_LVDS)
#define VKVX_TYPE_USB_VX1 VKVX_DEVICE_TYPE(VKVX_PRODUCT_VX1)
#define VKVX_TYPE_USB_MLC VKVX_DEVICE_TYPE(VKVX_PRODUCT_MLC)
#define VKVX_TYPE_USB3_MM VKVX_DEVICE_TYPE(VKVX_PRODUCT_USB3_MM)
#define USB3_MM_DEVICE_ID VKVX_TYPE_USB3_MM
#define VKVX_TYPE_USB_DUMMY VKVX_DEVICE_TYPE(VKVX_PRODUCT_DUMMY)

/* ------------------------------------------------------------------------ */
/* Colour modes, audio formats, frame flags                                 */
/* ------------------------------------------------------------------------ */

#define VKVX_COLOUR_18BPP 0
#define VKVX_COLOUR_24BPP 1
#define VKVX_COLOUR_32BPP 2
#define VKVX_COLOUR_36BPP 3
#define VKVX_COLOUR_48BPP 4

/* Audio format = 100 + 10 * sample-size code + rate code. */
#define VKVX_AUDIO_FORMAT(size_code, rate_code) (100 + 10 * (size_code) + (rate_code))
#define VKVX_AUDIO_FORMAT_MIN 100
#define VKVX_AUDIO_FORMAT_MAX 126

#define VKVX_FLAG_INTERLACED 0x10u
#define VKVX_FLAG_COLOUR_FORMAT_SHIFT 16
#define VKVX_FLAG_COLOUR_FORMAT_MASK (7u << 16)   /* 0 RGB, 1 YCbCr 4:2:2, 2 4:4:4, 3 4:2:0 */
#define VKVX_FLAG_COLORIMETRY_SHIFT 20
#define VKVX_FLAG_COLORIMETRY_MASK (3u << 20)     /* 0 none, 1 SMPTE 170M, 2 ITU-709, 3 ext. */

/* Operation mode types (VKVX_OPERATION_MODE.ModeType). */
#define VKVX_MODE_TYPE_VIDEO_CAPTURE 1
#define VKVX_MODE_TYPE_TIMING 2
#define VKVX_MODE_TYPE_MLC_CAPTURE 3
#define VKVX_MODE_TYPE_AUDIO_CAPTURE 5
#define VKVX_MODE_TYPE_SINK 6
#define VKVX_MODE_TYPE_SOURCE 7
#define VKVX_MODE_TYPE_SINK_SOURCE 8

/* ------------------------------------------------------------------------ */
/* Option identifiers of VKVX_SetOption                                     */
/* ------------------------------------------------------------------------ */

#define VKVX_OPTION_LINKS 1
#define VKVX_OPTION_COLOUR_MAPPING 2
#define VKVX_OPTION_COLOUR_MODE 3
#define VKVX_OPTION_TIMEOUT 5
#define VKVX_OPTION_FRAME_SIZE 8
#define VKVX_OPTION_CONNECTOR 29
#define VKVX_OPTION_CAPTURE_MODE 30
#define VKVX_OPTION_AUDIO_SAMPLES 32
#define VKVX_OPTION_FRAME_COUNT 33
#define VKVX_OPTION_RAW_DATA 34
#define VKVX_OPTION_CHECK_FIRMWARE_VERSION 36
#define VKVX_OPTION_FIRMWARE_LOADED 0x7FFFFFFF

/* Frame file formats of VKVX_SaveFrameToFile. */
#define VKVX_FILE_PPM 0
#define VKVX_FILE_BMP 1
#define VKVX_FILE_JPEG 2

/* Methods of VKVX_FrameCompare. */
#define VKVX_COMPARE_XOR 1
#define VKVX_COMPARE_ABSDIFF 2

/* ------------------------------------------------------------------------ */
/* Handles                                                                  */
/* ------------------------------------------------------------------------ */

typedef void *VKVX_HANDLE;   /* device handle */
typedef void *VP_HANDLE;     /* video view handle */
typedef uintptr_t VP_WINDOW; /* the caller's window: an X11 window id */

/* Receives device text messages: the text and its length in bytes. */
typedef void (*VKVX_TERMINAL_SINK)(const char *text, int32_t length);

/* ------------------------------------------------------------------------ */
/* Records (byte-packed)                                                    */
/* ------------------------------------------------------------------------ */

#pragma pack(push, 1)

typedef struct VKVX_DEVICE_INFO {
    uint32_t DeviceType;
    char Description[65];
    char SerialNumber[17];
    uint8_t Revision;                    /* 255 when not read */
    int32_t SlaveCount;
    struct VKVX_DEVICE_INFO *NextSlave;  /* library-owned, or NULL */
} VKVX_DEVICE_INFO;

typedef struct VKVX_FRAME {
    uint32_t Width;         /* pixels per line; audio: samples per frame */
    uint32_t Height;        /* lines; audio: channels */
    int32_t Format;         /* colour mode 0..4 or audio format 100..126 */
    void *Buffer;           /* allocated by the library */
    uint8_t BytesPerElement;
    uint8_t FrameStamp[8];
    uint8_t Reserved[24];
    uint32_t Flags;
} VKVX_FRAME;

typedef struct VKVX_FRAME_INFO {
    uint32_t Width;
    uint32_t Height;
} VKVX_FRAME_INFO;

typedef struct VKVX_AUDIO_INFO {
    uint32_t Format;
    uint32_t SampleRate;
    uint32_t Channels;
    uint32_t SamplesPerFrame;
    uint32_t BitsPerSample;
} VKVX_AUDIO_INFO;

typedef struct VKVX_TIMING_DATA {
    uint16_t Id;
    uint32_t Value;
} VKVX_TIMING_DATA;

typedef struct VKVX_OPERATION_MODE {
    uint32_t ModeId;
    uint8_t Reserved[16];
    char Name[65];
    uint16_t FirmwareMajor;
    uint16_t FirmwareMinor;
    uint16_t SoftwareMajor;
    uint16_t SoftwareMinor;
    uint16_t ModeType;
} VKVX_OPERATION_MODE;

typedef struct VKVX_FIRMWARE_IMAGE {
    char Id[8];
    const uint8_t *Cdf;
    uint64_t CdfSize;
    const uint8_t *Image;
    uint64_t ImageSize;
} VKVX_FIRMWARE_IMAGE;

typedef struct VKVX_CONNECTOR_STATE {
    uint32_t State;
    uint32_t Address;
    uint32_t Flags;
} VKVX_CONNECTOR_STATE;

typedef struct VKVX_LINK_STATUS {
    uint8_t lane_active[4];
    uint8_t cr_done[4];
    uint8_t symbol_locked[4];
    uint8_t eq_done[4];
    uint8_t voltage_swing[4];
    uint8_t pre_emphasis[4];
    uint8_t lane_count;
    uint8_t link_flag0;
    uint8_t link_flag2;
    uint8_t bit_rate;
    uint8_t link_flag1;
} VKVX_LINK_STATUS;

typedef struct VKVX_LINK_SETUP {
    uint8_t setup1;  /* link setup register 0x01 */
    uint8_t setup0;  /* link setup register 0x00 */
    uint8_t flag0;   /* bit 0 of register 0x02 */
    uint8_t flag1;   /* bit 1 of register 0x02 */
    uint8_t flag2;   /* bit 2 of register 0x02 */
} VKVX_LINK_SETUP;

typedef struct VKVX_DP_TIMING {
    uint8_t stream;
    uint8_t reserved[4];
    uint8_t attr0;
    uint8_t attr1;
    uint8_t attr2;
    uint8_t attr3;
    uint8_t attr4;
    uint16_t h_total;
    uint16_t h_start;
    uint16_t h_active;
    int32_t h_sync;
    uint16_t v_total;
    uint16_t v_start;
    uint16_t v_active;
    int32_t v_sync;
    uint32_t frame_rate;
} VKVX_DP_TIMING;

typedef struct VKVX_CRC_RECORD {
    uint8_t tag;
    uint8_t reserved[4];
    uint16_t crc0;
    uint16_t crc1;
    uint16_t crc2;
} VKVX_CRC_RECORD;

/* Pixel reordering table of VKVX_CreateDataMapping / VKVX_Remap. */
typedef struct VKVX_DATA_MAPPING {
    int32_t Count;
    uint32_t *Table;
} VKVX_DATA_MAPPING;

/* View parameters of VP_CreateVideoView. */
typedef struct VP_VIEW_PARAMETERS {
    uint32_t Width;
    uint32_t Height;
} VP_VIEW_PARAMETERS;

#pragma pack(pop)

#if defined(__cplusplus)
#define VKVX_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define VKVX_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
VKVX_STATIC_ASSERT(sizeof(VKVX_DEVICE_INFO) == 99, "VKVX_DEVICE_INFO is 99 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_FRAME) == 57, "VKVX_FRAME is 57 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_FIRMWARE_IMAGE) == 40, "VKVX_FIRMWARE_IMAGE is 40 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_DATA_MAPPING) == 12, "VKVX_DATA_MAPPING is 12 bytes");
#endif
VKVX_STATIC_ASSERT(sizeof(VKVX_OPERATION_MODE) == 95, "VKVX_OPERATION_MODE is 95 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_TIMING_DATA) == 6, "VKVX_TIMING_DATA is 6 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_FRAME_INFO) == 8, "VKVX_FRAME_INFO is 8 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_AUDIO_INFO) == 20, "VKVX_AUDIO_INFO is 20 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_CONNECTOR_STATE) == 12, "VKVX_CONNECTOR_STATE is 12 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_LINK_STATUS) == 29, "VKVX_LINK_STATUS is 29 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_LINK_SETUP) == 5, "VKVX_LINK_SETUP is 5 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_DP_TIMING) == 34, "VKVX_DP_TIMING is 34 bytes");
VKVX_STATIC_ASSERT(sizeof(VKVX_CRC_RECORD) == 11, "VKVX_CRC_RECORD is 11 bytes");
VKVX_STATIC_ASSERT(sizeof(VP_VIEW_PARAMETERS) == 8, "VP_VIEW_PARAMETERS is 8 bytes");

/* A plugin library defines VKVX_RECORDS_ONLY before including this header:
 * its own entry point VKVX_SetOption(id, value) differs from the export. */
#ifndef VKVX_RECORDS_ONLY

/* ------------------------------------------------------------------------ */
/* Library and enumeration                                                  */
/* ------------------------------------------------------------------------ */

VKVX_API int32_t VKVX_Initialize(void);
VKVX_API int32_t VKVX_CleanUp(void);
VKVX_API int32_t VKVX_EnumDevices(VKVX_DEVICE_INFO *devices, int32_t capacity);
VKVX_API int32_t VKVX_EnumOperationModes(const VKVX_DEVICE_INFO *info, VKVX_OPERATION_MODE *modes,
                                         int32_t capacity);
VKVX_API VKVX_HANDLE VKVX_OpenDevice(const VKVX_DEVICE_INFO *info, int32_t mode, int32_t *status);

/* ------------------------------------------------------------------------ */
/* Device life cycle and capture                                            */
/* ------------------------------------------------------------------------ */

VKVX_API int32_t VKVX_CloseDevice(VKVX_HANDLE device);
VKVX_API int32_t VKVX_DeviceInfo(VKVX_HANDLE device, VKVX_DEVICE_INFO *info);
VKVX_API int32_t VKVX_GetDeviceCaps(VKVX_HANDLE device, uint32_t *caps, int32_t capacity);
VKVX_API int32_t VKVX_EnumConnectors(VKVX_HANDLE device, uint32_t *connectors, int32_t capacity);
VKVX_API int32_t VKVX_SelectConnector(VKVX_HANDLE device, int32_t connector);
VKVX_API int32_t VKVX_SetOption(VKVX_HANDLE device, int32_t id, int32_t value);
VKVX_API int32_t VKVX_AllocateFrameBuffers(VKVX_HANDLE device, VKVX_FRAME *frames, int32_t count);
VKVX_API int32_t VKVX_AllocateAudioBuffers(VKVX_HANDLE device, VKVX_FRAME *frames, int32_t count);
VKVX_API int32_t VKVX_FreeFrameBuffers(VKVX_HANDLE device, VKVX_FRAME *frames, int32_t count);
VKVX_API int32_t VKVX_StartCapture(VKVX_HANDLE device);
VKVX_API int32_t VKVX_StopCapture(VKVX_HANDLE device);
VKVX_API int32_t VKVX_GetFrameInfo(VKVX_HANDLE device, VKVX_FRAME_INFO *info);
VKVX_API int32_t VKVX_GetAudioInfo(VKVX_HANDLE device, VKVX_AUDIO_INFO *info);
VKVX_API int32_t VKVX_GetFrame(VKVX_HANDLE device, VKVX_FRAME *frame);
VKVX_API int32_t VKVX_GetVideoTimingData(VKVX_HANDLE device, int32_t selector, VKVX_TIMING_DATA *data,
                                         int32_t capacity);
VKVX_API int32_t VKVX_WriteRegister(VKVX_HANDLE device, int32_t address, uint32_t *values, int32_t count);
VKVX_API int32_t VKVX_ReadRegister(VKVX_HANDLE device, int32_t address, uint32_t *values, int32_t count);
VKVX_API int32_t VKVX_GetConnectorAddress(VKVX_HANDLE device, int32_t connector);
VKVX_API int32_t VKVX_GetCVIAddress(VKVX_HANDLE device, int32_t index);
VKVX_API int32_t VKVX_ReadBulk(VKVX_HANDLE device, int32_t address, uint8_t *buffer, int32_t length);
VKVX_API int32_t VKVX_GetConnectorTime(VKVX_HANDLE device, void *out);

/* ------------------------------------------------------------------------ */
/* USB 3 device family (other device classes answer -12, or -6 where noted) */
/* ------------------------------------------------------------------------ */

VKVX_API int32_t VKVX_WriteData(VKVX_HANDLE device, int32_t address, const void *data, int32_t length);
VKVX_API int32_t VKVX_ReInitDevice(VKVX_HANDLE device, int32_t image, int32_t flag);
VKVX_API int32_t VKVX_GetConnectorState(VKVX_HANDLE device, int32_t connector, VKVX_CONNECTOR_STATE *state);
VKVX_API int32_t VKVX_DP_GetMainLinkStatus(VKVX_HANDLE device, int32_t connector, VKVX_LINK_STATUS *status);
VKVX_API int32_t VKVX_DP_GetMainLinkSetup(VKVX_HANDLE device, int32_t connector, VKVX_LINK_SETUP *setup);
VKVX_API int32_t VKVX_DP_SetMainLinkSetup(VKVX_HANDLE device, int32_t connector, const VKVX_LINK_SETUP *setup);
VKVX_API int32_t VKVX_DP_GetHPDStatus(VKVX_HANDLE device, int32_t connector);
VKVX_API int32_t VKVX_DP_SetHPDStatus(VKVX_HANDLE device, int32_t connector, uint32_t state);
VKVX_API int32_t VKVX_DP_ReadDPCD(VKVX_HANDLE device, int32_t connector, uint32_t address, int32_t count,
                                  uint8_t *data);
VKVX_API int32_t VKVX_DP_WriteDPCD(VKVX_HANDLE device, int32_t connector, uint32_t address, int32_t count,
                                   const uint8_t *data);
VKVX_API int32_t VKVX_DP_ReadEDIDex(VKVX_HANDLE device, int32_t connector, uint32_t block, int32_t timeout_ms,
                                    int32_t count, uint8_t *data);
VKVX_API int32_t VKVX_DP_WriteEDIDex(VKVX_HANDLE device, int32_t connector, uint32_t block, int32_t count,
                                     const uint8_t *data);
VKVX_API int32_t VKVX_DP_ReadEDID(VKVX_HANDLE device, int32_t connector, int32_t count, uint8_t *data);
VKVX_API int32_t VKVX_DP_WriteEDID(VKVX_HANDLE device, int32_t connector, int32_t count, const uint8_t *data);
VKVX_API int32_t VKVX_DP_SetCaptureState(VKVX_HANDLE device, int32_t connector, int32_t feature, int32_t enable);
VKVX_API int32_t VKVX_DP_GetCaptureState(VKVX_HANDLE device, int32_t connector, int32_t feature, int32_t *state);
VKVX_API int32_t VKVX_DP_ReadCaptureData(VKVX_HANDLE device, int32_t connector, int32_t kind, int32_t length,
                                         void *data);
VKVX_API int32_t VKVX_DP_GetCurrentTiming(VKVX_HANDLE device, int32_t connector, VKVX_DP_TIMING *timings);
VKVX_API int32_t VKVX_DP_SetCurrentTiming(VKVX_HANDLE device, int32_t connector, const VKVX_DP_TIMING *timing,
                                          uint32_t frame_rate);
VKVX_API int32_t VKVX_GetCurrentCRC(VKVX_HANDLE device, int32_t connector, VKVX_CRC_RECORD *records, int32_t count);
VKVX_API int32_t VKVX_DP_GetCurrentCRC(VKVX_HANDLE device, int32_t connector, VKVX_CRC_RECORD *record);
VKVX_API int32_t VKVX_TPG_SelectPattern(VKVX_HANDLE device, int32_t connector, int32_t stream, int32_t pattern);
VKVX_API int32_t VKVX_TPG_SetPatternParameters(VKVX_HANDLE device, int32_t connector, int32_t stream,
                                               uint32_t a, uint32_t b, uint32_t c);
VKVX_API int32_t VKVX_GetCombinedVersion(VKVX_HANDLE device, uint32_t *version);
VKVX_API int32_t VKVX_GetDiagnosticInfo(VKVX_HANDLE device, char *text, int32_t length);
VKVX_API int32_t VKVX_USB_COM_Check(VKVX_HANDLE device);
VKVX_API int32_t VKVX_SetTerminalSink(VKVX_HANDLE device, VKVX_TERMINAL_SINK sink);
VKVX_API int32_t VKVX_DTest_Enumerate(VKVX_HANDLE device, uint32_t *tests, int32_t capacity);
VKVX_API int32_t VKVX_DTest_GetName(VKVX_HANDLE device, int32_t test, char *name, int32_t length);
VKVX_API int32_t VKVX_DTest_GetPort(VKVX_HANDLE device, int32_t test);
VKVX_API int32_t VKVX_DTest_GetConfig(VKVX_HANDLE device, int32_t test, void *buffer, int32_t *size);
VKVX_API int32_t VKVX_DTest_RunEx(VKVX_HANDLE device, int32_t test, const void *config, int32_t config_size,
                                  const void *input, int32_t input_size);
VKVX_API int32_t VKVX_DTest_Run(VKVX_HANDLE device, int32_t test, const void *config, int32_t config_size);
VKVX_API int32_t VKVX_DTest_Stop(VKVX_HANDLE device);
VKVX_API int32_t VKVX_DTest_Reset(VKVX_HANDLE device);
VKVX_API int32_t VKVX_DTest_GetStatus(VKVX_HANDLE device);
VKVX_API int32_t VKVX_DTest_ReadLog(VKVX_HANDLE device, void *buffer, int32_t size);
VKVX_API int32_t VKVX_DTest_ReadData(VKVX_HANDLE device, void *buffer, int32_t size);
VKVX_API int32_t VKVX_CRC_Configure(VKVX_HANDLE device, const uint32_t *config, VKVX_CRC_RECORD *records,
                                    int32_t count);
VKVX_API int32_t VKVX_CRC_Read(VKVX_HANDLE device, void *unused, VKVX_CRC_RECORD *records, int32_t count);
VKVX_API int32_t VKVX_CRC_Stop(VKVX_HANDLE device);
VKVX_API int32_t VKVX_ARC_Control(VKVX_HANDLE device, int32_t connector, int32_t value18, int32_t value19);
VKVX_API int32_t VKVX_IF_Available(VKVX_HANDLE device, int32_t connector, uint8_t *bitmap, int32_t length);
VKVX_API int32_t VKVX_IF_Updated(VKVX_HANDLE device, int32_t connector, uint8_t *bitmap, int32_t length);
VKVX_API int32_t VKVX_IF_Read(VKVX_HANDLE device, int32_t connector, int32_t type, uint8_t *buffer, int32_t size);
VKVX_API int32_t VKVX_PDC_Read(VKVX_HANDLE device, int32_t reg, uint32_t *data, int32_t count);
VKVX_API int32_t VKVX_PDC_Write(VKVX_HANDLE device, int32_t reg, const uint32_t *data, int32_t count);
VKVX_API int32_t VKVX_Mem_Layout(VKVX_HANDLE device, void *layout, int32_t length);
VKVX_API int32_t VKVX_Mem_Total(VKVX_HANDLE device);
VKVX_API int32_t VKVX_Mem_Load(VKVX_HANDLE device, int32_t block, const void *data, int32_t length);

/* ------------------------------------------------------------------------ */
/* Frame utilities                                                          */
/* ------------------------------------------------------------------------ */

/* No initialisation needed, no lock. */
VKVX_API int32_t VKVX_FrameToRGB(const VKVX_FRAME *source, VKVX_FRAME *destination);
VKVX_API int32_t VKVX_SaveFrameToFile(const char *file_name, const VKVX_FRAME *frame, int32_t format);
/* Initialisation needed (-5), no lock. */
VKVX_API int32_t VKVX_FrameCompare(const VKVX_FRAME *a, const VKVX_FRAME *b, VKVX_FRAME *result, int32_t method);
VKVX_API int32_t VKVX_AnalyzeFrame(const VKVX_FRAME *frame, int32_t kind, VKVX_TIMING_DATA *results,
                                   int32_t capacity);
/* layout: consecutive values LineWidth, GroupSize (1..16), Segments, then GroupSize Offsets. */
VKVX_API int32_t VKVX_CreateDataMapping(const int32_t *layout, VKVX_DATA_MAPPING *mapping);
VKVX_API int32_t VKVX_Remap(const VKVX_FRAME *source, VKVX_FRAME *destination, const VKVX_DATA_MAPPING *mapping);
VKVX_API int32_t VKVX_DeleteDataMapping(VKVX_DATA_MAPPING *mapping);

/* ------------------------------------------------------------------------ */
/* Video views                                                              */
/* ------------------------------------------------------------------------ */

VKVX_API VP_HANDLE VP_CreateVideoView(VP_WINDOW window, const VP_VIEW_PARAMETERS *parameters, int32_t *status);
VKVX_API int32_t VP_DisplayFrame(VP_HANDLE view, const VKVX_FRAME *frame);
VKVX_API int32_t VP_DestroyVideoView(VP_HANDLE view);

#endif /* VKVX_RECORDS_ONLY */

#ifdef __cplusplus
}
#endif

#endif /* VKVX_VKVX_H */
