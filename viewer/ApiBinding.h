// Run-time binding of the API library libVKVX.so.1.
//
// The viewer links nothing of the library: LoadApiLibrary() loads it with
// dlopen, checks the version note the library file carries, looks up every
// entry by its plain export name and calls VKVX_Initialize.  From then on the
// rest of the viewer reaches the library only through the wrappers declared
// below (namespace kvx), one per entry, which guard against a library or an
// entry that is missing:
//   guard L  - the library must be loaded and marked ready;
//   guard P  - the entry must have been found;
//   guard LP - both.
// A wrapper whose guard fails returns -5 (VKVX_ERROR_NOT_INITIALIZED) without
// calling anything; the two handle-returning entries store -5 in their status
// out-parameter (when given) and return a null handle.
//
// Loading, binding and unloading run on the main thread before any worker
// exists and after all workers are gone; the wrappers keep no state and may be
// called from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "vkvx.h"

namespace kvx {

// The entry table: group (1 = bound by LoadApiLibrary, 2 = by
// BindExtendedEntries), name, counted, guard, kind (S status, H handle with a
// status out-parameter), result type, parameters, arguments.  Table order is
// binding order.
// clang-format off
#define KVX_API_ENTRIES(VKVX_BINDING_ENTRY) \
      VKVX_BINDING_ENTRY(1, VKVX_Initialize, true, L, S, int32_t, (), ()) \
      VKVX_BINDING_ENTRY(1, VKVX_CleanUp, true, L, S, int32_t, (), ()) \
      VKVX_BINDING_ENTRY(1, VKVX_EnumDevices, true, L, S, int32_t, (VKVX_DEVICE_INFO *devices, int32_t capacity), (devices, capacity)) \
      VKVX_BINDING_ENTRY(1, VKVX_EnumConnectors, true, L, S, int32_t, (VKVX_HANDLE device, uint32_t *connectors, int32_t capacity), (device, connectors, capacity)) \
      VKVX_BINDING_ENTRY(1, VKVX_SelectConnector, true, L, S, int32_t, (VKVX_HANDLE device, int32_t connector), (device, connector)) \
      VKVX_BINDING_ENTRY(1, VKVX_OpenDevice, true, L, H, VKVX_HANDLE, (const VKVX_DEVICE_INFO *info, int32_t mode, int32_t *status), (info, mode, status)) \
      VKVX_BINDING_ENTRY(1, VKVX_CloseDevice, true, L, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(1, VKVX_AllocateFrameBuffers, true, L, S, int32_t, (VKVX_HANDLE device, VKVX_FRAME *frames, int32_t count), (device, frames, count)) \
      VKVX_BINDING_ENTRY(1, VKVX_AllocateAudioBuffers, true, L, S, int32_t, (VKVX_HANDLE device, VKVX_FRAME *frames, int32_t count), (device, frames, count)) \
      VKVX_BINDING_ENTRY(1, VKVX_FreeFrameBuffers, true, L, S, int32_t, (VKVX_HANDLE device, VKVX_FRAME *frames, int32_t count), (device, frames, count)) \
      VKVX_BINDING_ENTRY(1, VKVX_SetOption, true, L, S, int32_t, (VKVX_HANDLE device, int32_t id, int32_t value), (device, id, value)) \
      VKVX_BINDING_ENTRY(1, VKVX_StartCapture, true, L, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(1, VKVX_StopCapture, true, L, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(1, VKVX_GetFrame, true, L, S, int32_t, (VKVX_HANDLE device, VKVX_FRAME *frame), (device, frame)) \
      VKVX_BINDING_ENTRY(1, VKVX_GetFrameInfo, true, L, S, int32_t, (VKVX_HANDLE device, VKVX_FRAME_INFO *info), (device, info)) \
      VKVX_BINDING_ENTRY(1, VKVX_GetAudioInfo, true, L, S, int32_t, (VKVX_HANDLE device, VKVX_AUDIO_INFO *info), (device, info)) \
      VKVX_BINDING_ENTRY(1, VKVX_SaveFrameToFile, true, L, S, int32_t, (const char *file_name, const VKVX_FRAME *frame, int32_t format), (file_name, frame, format)) \
      VKVX_BINDING_ENTRY(1, VKVX_FrameToRGB, true, L, S, int32_t, (const VKVX_FRAME *source, VKVX_FRAME *destination), (source, destination)) \
      VKVX_BINDING_ENTRY(1, VP_CreateVideoView, true, L, H, VP_HANDLE, (VP_WINDOW window, const VP_VIEW_PARAMETERS *parameters, int32_t *status), (window, parameters, status)) \
      VKVX_BINDING_ENTRY(1, VP_DisplayFrame, true, L, S, int32_t, (VP_HANDLE view, const VKVX_FRAME *frame), (view, frame)) \
      VKVX_BINDING_ENTRY(1, VP_DestroyVideoView, true, L, S, int32_t, (VP_HANDLE view), (view)) \
      VKVX_BINDING_ENTRY(1, VKVX_FrameCompare, true, L, S, int32_t, (const VKVX_FRAME *a, const VKVX_FRAME *b, VKVX_FRAME *result, int32_t method), (a, b, result, method)) \
      VKVX_BINDING_ENTRY(1, VKVX_AnalyzeFrame, true, L, S, int32_t, (const VKVX_FRAME *frame, int32_t kind, VKVX_TIMING_DATA *results, int32_t capacity), (frame, kind, results, capacity)) \
      VKVX_BINDING_ENTRY(1, VKVX_CreateDataMapping, true, L, S, int32_t, (const int32_t *layout, VKVX_DATA_MAPPING *mapping), (layout, mapping)) \
      VKVX_BINDING_ENTRY(1, VKVX_DeleteDataMapping, true, L, S, int32_t, (VKVX_DATA_MAPPING *mapping), (mapping)) \
      VKVX_BINDING_ENTRY(1, VKVX_Remap, true, L, S, int32_t, (const VKVX_FRAME *source, VKVX_FRAME *destination, const VKVX_DATA_MAPPING *mapping), (source, destination, mapping)) \
      VKVX_BINDING_ENTRY(1, VKVX_EnumOperationModes, true, L, S, int32_t, (const VKVX_DEVICE_INFO *info, VKVX_OPERATION_MODE *modes, int32_t capacity), (info, modes, capacity)) \
      VKVX_BINDING_ENTRY(1, VKVX_GetVideoTimingData, true, L, S, int32_t, (VKVX_HANDLE device, int32_t selector, VKVX_TIMING_DATA *data, int32_t capacity), (device, selector, data, capacity)) \
      VKVX_BINDING_ENTRY(1, VKVX_ReadRegister, false, LP, S, int32_t, (VKVX_HANDLE device, int32_t address, uint32_t *values, int32_t count), (device, address, values, count)) \
      VKVX_BINDING_ENTRY(1, VKVX_WriteRegister, false, LP, S, int32_t, (VKVX_HANDLE device, int32_t address, uint32_t *values, int32_t count), (device, address, values, count)) \
      VKVX_BINDING_ENTRY(1, VKVX_WriteData, false, LP, S, int32_t, (VKVX_HANDLE device, int32_t address, const void *data, int32_t length), (device, address, data, length)) \
      VKVX_BINDING_ENTRY(1, VKVX_ReadBulk, false, LP, S, int32_t, (VKVX_HANDLE device, int32_t address, uint8_t *buffer, int32_t length), (device, address, buffer, length)) \
      VKVX_BINDING_ENTRY(1, VKVX_GetConnectorAddress, false, LP, S, int32_t, (VKVX_HANDLE device, int32_t connector), (device, connector)) \
      VKVX_BINDING_ENTRY(1, VKVX_GetCVIAddress, false, LP, S, int32_t, (VKVX_HANDLE device, int32_t index), (device, index)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_Enumerate, true, LP, S, int32_t, (VKVX_HANDLE device, uint32_t *tests, int32_t capacity), (device, tests, capacity)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_GetName, true, LP, S, int32_t, (VKVX_HANDLE device, int32_t test, char *name, int32_t length), (device, test, name, length)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_GetPort, true, LP, S, int32_t, (VKVX_HANDLE device, int32_t test), (device, test)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_GetConfig, true, LP, S, int32_t, (VKVX_HANDLE device, int32_t test, void *buffer, int32_t *size), (device, test, buffer, size)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_Run, true, LP, S, int32_t, (VKVX_HANDLE device, int32_t test, const void *config, int32_t config_size), (device, test, config, config_size)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_RunEx, true, LP, S, int32_t, (VKVX_HANDLE device, int32_t test, const void *config, int32_t config_size, const void *input, int32_t input_size), (device, test, config, config_size, input, input_size)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_Stop, true, LP, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_Reset, true, LP, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_GetStatus, true, LP, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_ReadLog, true, LP, S, int32_t, (VKVX_HANDLE device, void *buffer, int32_t size), (device, buffer, size)) \
      VKVX_BINDING_ENTRY(1, VKVX_DTest_ReadData, true, LP, S, int32_t, (VKVX_HANDLE device, void *buffer, int32_t size), (device, buffer, size)) \
      VKVX_BINDING_ENTRY(1, VKVX_GetDeviceCaps, true, L, S, int32_t, (VKVX_HANDLE device, uint32_t *caps, int32_t capacity), (device, caps, capacity)) \
      VKVX_BINDING_ENTRY(1, VKVX_DeviceInfo, true, L, S, int32_t, (VKVX_HANDLE device, VKVX_DEVICE_INFO *info), (device, info)) \
      VKVX_BINDING_ENTRY(1, VKVX_DP_GetHPDStatus, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector), (device, connector)) \
      VKVX_BINDING_ENTRY(1, VKVX_DP_SetHPDStatus, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, uint32_t state), (device, connector, state)) \
      VKVX_BINDING_ENTRY(1, VKVX_DP_ReadEDID, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t count, uint8_t *data), (device, connector, count, data)) \
      VKVX_BINDING_ENTRY(1, VKVX_DP_WriteEDID, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t count, const uint8_t *data), (device, connector, count, data)) \
      VKVX_BINDING_ENTRY(1, VKVX_DP_ReadEDIDex, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, uint32_t block, int32_t timeout_ms, int32_t count, uint8_t *data), (device, connector, block, timeout_ms, count, data)) \
      VKVX_BINDING_ENTRY(1, VKVX_DP_WriteEDIDex, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, uint32_t block, int32_t count, const uint8_t *data), (device, connector, block, count, data)) \
      VKVX_BINDING_ENTRY(1, VKVX_Mem_Layout, true, P, S, int32_t, (VKVX_HANDLE device, void *layout, int32_t length), (device, layout, length)) \
      VKVX_BINDING_ENTRY(1, VKVX_Mem_Total, true, P, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(1, VKVX_Mem_Load, true, P, S, int32_t, (VKVX_HANDLE device, int32_t block, const void *data, int32_t length), (device, block, data, length)) \
      VKVX_BINDING_ENTRY(2, VKVX_ReInitDevice, true, P, S, int32_t, (VKVX_HANDLE device, int32_t image, int32_t flag), (device, image, flag)) \
      VKVX_BINDING_ENTRY(2, VKVX_GetConnectorState, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, VKVX_CONNECTOR_STATE *state), (device, connector, state)) \
      VKVX_BINDING_ENTRY(2, VKVX_GetConnectorTime, true, P, S, int32_t, (VKVX_HANDLE device, void *out), (device, out)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_GetMainLinkStatus, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, VKVX_LINK_STATUS *status), (device, connector, status)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_GetMainLinkSetup, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, VKVX_LINK_SETUP *setup), (device, connector, setup)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_SetMainLinkSetup, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, const VKVX_LINK_SETUP *setup), (device, connector, setup)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_ReadDPCD, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, uint32_t address, int32_t count, uint8_t *data), (device, connector, address, count, data)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_WriteDPCD, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, uint32_t address, int32_t count, const uint8_t *data), (device, connector, address, count, data)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_SetCaptureState, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t feature, int32_t enable), (device, connector, feature, enable)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_GetCaptureState, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t feature, int32_t *state), (device, connector, feature, state)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_ReadCaptureData, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t kind, int32_t length, void *data), (device, connector, kind, length, data)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_GetCurrentTiming, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, VKVX_DP_TIMING *timings), (device, connector, timings)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_GetCurrentCRC, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, VKVX_CRC_RECORD *record), (device, connector, record)) \
      VKVX_BINDING_ENTRY(2, VKVX_GetCurrentCRC, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, VKVX_CRC_RECORD *records, int32_t count), (device, connector, records, count)) \
      VKVX_BINDING_ENTRY(2, VKVX_DP_SetCurrentTiming, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, const VKVX_DP_TIMING *timing, uint32_t frame_rate), (device, connector, timing, frame_rate)) \
      VKVX_BINDING_ENTRY(2, VKVX_TPG_SelectPattern, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t stream, int32_t pattern), (device, connector, stream, pattern)) \
      VKVX_BINDING_ENTRY(2, VKVX_TPG_SetPatternParameters, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t stream, uint32_t a, uint32_t b, uint32_t c), (device, connector, stream, a, b, c)) \
      VKVX_BINDING_ENTRY(2, VKVX_GetDiagnosticInfo, true, P, S, int32_t, (VKVX_HANDLE device, char *text, int32_t length), (device, text, length)) \
      VKVX_BINDING_ENTRY(2, VKVX_GetCombinedVersion, true, P, S, int32_t, (VKVX_HANDLE device, uint32_t *version), (device, version)) \
      VKVX_BINDING_ENTRY(2, VKVX_CRC_Configure, true, P, S, int32_t, (VKVX_HANDLE device, const uint32_t *config, VKVX_CRC_RECORD *records, int32_t count), (device, config, records, count)) \
      VKVX_BINDING_ENTRY(2, VKVX_CRC_Read, true, P, S, int32_t, (VKVX_HANDLE device, void *unused, VKVX_CRC_RECORD *records, int32_t count), (device, unused, records, count)) \
      VKVX_BINDING_ENTRY(2, VKVX_CRC_Stop, true, P, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(2, VKVX_ARC_Control, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t value18, int32_t value19), (device, connector, value18, value19)) \
      VKVX_BINDING_ENTRY(2, VKVX_IF_Available, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, uint8_t *bitmap, int32_t length), (device, connector, bitmap, length)) \
      VKVX_BINDING_ENTRY(2, VKVX_IF_Updated, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, uint8_t *bitmap, int32_t length), (device, connector, bitmap, length)) \
      VKVX_BINDING_ENTRY(2, VKVX_IF_Read, true, P, S, int32_t, (VKVX_HANDLE device, int32_t connector, int32_t type, uint8_t *buffer, int32_t size), (device, connector, type, buffer, size)) \
      VKVX_BINDING_ENTRY(2, VKVX_SetTerminalSink, true, P, S, int32_t, (VKVX_HANDLE device, VKVX_TERMINAL_SINK sink), (device, sink)) \
      VKVX_BINDING_ENTRY(2, VKVX_USB_COM_Check, true, P, S, int32_t, (VKVX_HANDLE device), (device)) \
      VKVX_BINDING_ENTRY(2, VKVX_PDC_Read, false, P, S, int32_t, (VKVX_HANDLE device, int32_t reg, uint32_t *data, int32_t count), (device, reg, data, count)) \
      VKVX_BINDING_ENTRY(2, VKVX_PDC_Write, false, P, S, int32_t, (VKVX_HANDLE device, int32_t reg, const uint32_t *data, int32_t count), (device, reg, data, count)) \
      VKVX_BINDING_ENTRY(2, VKVX_FX3_ReadReg, false, P, S, int32_t, (VKVX_HANDLE device, int32_t reg, uint32_t *values, int32_t count), (device, reg, values, count)) \
      VKVX_BINDING_ENTRY(2, VKVX_FX3_WriteReg, false, P, S, int32_t, (VKVX_HANDLE device, int32_t reg, const uint32_t *values, int32_t count), (device, reg, values, count))

// clang-format on

// The library file name looked up by the normal library search (the
// program's run path, $ORIGIN/../lib, comes first).
constexpr const char* kApiLibraryName = "libVKVX.so.1";
// Folder tried when the normal search finds nothing.
constexpr const char* kApiFallbackFolder = "/opt/vantrel/shared/";

struct ApiVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t build = 0;
    uint16_t revision = 0;
};

// Loads the library: the given file only when path is not null, otherwise
// kApiLibraryName by the normal search and then from kApiFallbackFolder.
// Returns -1 (not found), -2 (a counted entry of the first group missing),
// -3 (no version note, or a version other than 1.x with x >= 1), the negative
// result of VKVX_Initialize, or (major << 16) | minor.
int32_t LoadApiLibrary(const char* path = nullptr);
// Binds the second group; -2 when a counted entry is missing, else 0.
int32_t BindExtendedEntries();
// Calls VKVX_CleanUp while loaded (its negative result is returned and
// nothing changes), then frees the library; 0.
int32_t UnloadApiLibrary();

// Copies the status text of code into buffer (at most size - 1 bytes and a
// terminator) and returns the text's length; -8 for codes below -37.
int32_t ApiStatusText(int32_t code, char* buffer, int32_t size);
// The status text of code, or "Unknown error <code>".
std::string ApiStatusText(int32_t code);

// Version numbers of the loaded library (all 0 when none was read).
ApiVersion ApiLibraryVersion();
// Whether the library is loaded, bound and marked ready.
bool ApiLibraryLoaded();
// Number of missing counted entries and the name of the last one missing.
int ApiMissingEntryCount();
const char* ApiLastMissingEntry();

// The wrappers, one per entry, named like the entry.  Call them qualified
// (kvx::VKVX_OpenDevice): the public header declares the library's own
// functions under the same names, and the viewer never links those.
#define KVX_DECLARE_WRAPPER(group, name, counted, guard, kind, ret, params, args) ret name params;
KVX_API_ENTRIES(KVX_DECLARE_WRAPPER)
#undef KVX_DECLARE_WRAPPER

}  // namespace kvx
