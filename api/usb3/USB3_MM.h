// USB3_MM: the USB 3 instrument class.  It appends the operations of the
// USB 3 device family to the base class; each answers -6 until the class
// implements it.
#pragma once

#include "device/Device.h"

class USB3_MM : public VKVX_Device {
public:
    virtual int32_t WriteData(int32_t address, const void* data, int32_t length);
    // Re-initialises the FPGA with image; -21 when that fails, -5 when the
    // module directory cannot be read again afterwards.
    virtual int32_t ReInit(int32_t image, bool flag);
    virtual int32_t GetConnectorState(int32_t connector, VKVX_CONNECTOR_STATE* state);
    virtual int32_t GetMainLinkStatus(int32_t connector, VKVX_LINK_STATUS* status);
    virtual int32_t GetMainLinkSetup(int32_t connector, VKVX_LINK_SETUP* setup);
    virtual int32_t SetMainLinkSetup(int32_t connector, const VKVX_LINK_SETUP* setup);
    virtual int32_t GetHPDStatus(int32_t connector);
    virtual int32_t SetHPDStatus(int32_t connector, uint32_t state);
    virtual int32_t ReadDPCD(int32_t connector, uint32_t address, int32_t count, uint8_t* data);
    virtual int32_t WriteDPCD(int32_t connector, uint32_t address, int32_t count, const uint8_t* data);
    virtual int32_t ReadEDID(int32_t connector, uint32_t block, int32_t timeout_ms, int32_t count, uint8_t* data);
    virtual int32_t WriteEDID(int32_t connector, uint32_t block, int32_t count, const uint8_t* data);
    virtual int32_t GetCurrentTiming(int32_t connector, VKVX_DP_TIMING* timings);
    virtual int32_t SetCurrentTiming(int32_t connector, const VKVX_DP_TIMING* timing, uint32_t frame_rate);
    virtual int32_t TPG_SelectPattern(int32_t connector, int32_t stream, int32_t pattern);
    virtual int32_t TPG_SetPatternParameters(int32_t connector, int32_t stream, uint32_t a, uint32_t b, uint32_t c);
    virtual int32_t GetDPCurrentCrc(int32_t connector, VKVX_CRC_RECORD* records, int32_t count);
    virtual int32_t SetDPCaptureState(int32_t connector, int32_t feature, int32_t enable);
    virtual int32_t GetDPCaptureState(int32_t connector, int32_t feature, int32_t* state);
    virtual int32_t ReadCaptureData(int32_t connector, int32_t kind, int32_t length, void* data);
    virtual int32_t SetTerminalSink(VKVX_TERMINAL_SINK sink);
    virtual int32_t CRC_Configure(const uint32_t* config, VKVX_CRC_RECORD* records, int32_t count);
    virtual int32_t CRC_Read(VKVX_CRC_RECORD* records, int32_t count);
    virtual int32_t CRC_Stop();
    virtual int32_t ARC_Control(int32_t connector, int32_t value18, int32_t value19);
    virtual int32_t IF_Available(int32_t connector, uint8_t* bitmap, int32_t length);
    virtual int32_t IF_Updated(int32_t connector, uint8_t* bitmap, int32_t length);
    virtual int32_t IF_Read(int32_t connector, int32_t type, uint8_t* buffer, int32_t size);
    virtual int32_t GetDiagnosticInfo(char* text, int32_t length);
    virtual int32_t USB_COM_Check();
    virtual int32_t DTest_Enumerate(uint32_t* tests, int32_t capacity);
    virtual int32_t DTest_GetName(int32_t test, char* name, int32_t length);
    virtual int32_t DTest_GetPort(int32_t test);
    virtual int32_t DTest_GetConfig(int32_t test, void* buffer, int32_t* size);
    virtual int32_t DTest_RunEx(int32_t test, const void* config, int32_t configSize, const void* input,
                                int32_t inputSize);
    virtual int32_t DTest_Stop();
    virtual int32_t DTest_Reset();
    virtual int32_t DTest_GetStatus();
    virtual int32_t DTest_ReadLog(void* buffer, int32_t size);
    virtual int32_t DTest_ReadData(void* buffer, int32_t size);
    virtual int32_t PDC_Read(int32_t reg, uint32_t* data, int32_t count);
    virtual int32_t PDC_Write(int32_t reg, const uint32_t* data, int32_t count);
    virtual int32_t Mem_Layout(void* layout, int32_t length);
    virtual int32_t Mem_Total();
    virtual int32_t Mem_Load(int32_t block, const void* data, int32_t length);
};
