// Operations of the USB 3 device family that the class does not offer yet;
// each answers -6 until its part of the class is built.
#include "usb3/USB3_MM.h"

int32_t USB3_MM::GetConnectorState(int32_t, VKVX_CONNECTOR_STATE*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetMainLinkStatus(int32_t, VKVX_LINK_STATUS*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetMainLinkSetup(int32_t, VKVX_LINK_SETUP*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::SetMainLinkSetup(int32_t, const VKVX_LINK_SETUP*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetHPDStatus(int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::SetHPDStatus(int32_t, uint32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::ReadDPCD(int32_t, uint32_t, int32_t, uint8_t*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::WriteDPCD(int32_t, uint32_t, int32_t, const uint8_t*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::ReadEDID(int32_t, uint32_t, int32_t, int32_t, uint8_t*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::WriteEDID(int32_t, uint32_t, int32_t, const uint8_t*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetCurrentTiming(int32_t, VKVX_DP_TIMING*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::SetCurrentTiming(int32_t, const VKVX_DP_TIMING*, uint32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::TPG_SelectPattern(int32_t, int32_t, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::TPG_SetPatternParameters(int32_t, int32_t, uint32_t, uint32_t, uint32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetDPCurrentCrc(int32_t, VKVX_CRC_RECORD*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::SetDPCaptureState(int32_t, int32_t, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetDPCaptureState(int32_t, int32_t, int32_t*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::ReadCaptureData(int32_t, int32_t, int32_t, void*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::CRC_Configure(const uint32_t*, VKVX_CRC_RECORD*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::CRC_Read(VKVX_CRC_RECORD*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::CRC_Stop() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::ARC_Control(int32_t, int32_t, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::IF_Available(int32_t, uint8_t*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::IF_Updated(int32_t, uint8_t*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::IF_Read(int32_t, int32_t, uint8_t*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::GetDiagnosticInfo(char*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::USB_COM_Check() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_Enumerate(uint32_t*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_GetName(int32_t, char*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_GetPort(int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_GetConfig(int32_t, void*, int32_t*) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_RunEx(int32_t, const void*, int32_t, const void*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_Stop() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_Reset() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_GetStatus() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_ReadLog(void*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::DTest_ReadData(void*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::PDC_Read(int32_t, uint32_t*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::PDC_Write(int32_t, const uint32_t*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::Mem_Layout(void*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::Mem_Total() { return VKVX_ERROR_NOT_SUPPORTED; }
int32_t USB3_MM::Mem_Load(int32_t, const void*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }
