// USB3_MM: the USB 3 instrument class.  It finds and opens the instrument
// through the FX3 driver layer, runs the register protocol on its two register
// channels, reads the module directory and the front ends, lists the
// operation modes of the FPGA images and switches images.  The operations of
// the family that the class does not offer yet answer -6.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/Device.h"
#include "platform/Semaphore.h"

namespace vkvx::usb {
class UsbDriverDevice;
class UsbEndPoint;
}  // namespace vkvx::usb

// One connector of the instrument; its position is the connector number.
struct ConnectorEntry {
    uint32_t nios_version = 0;
    uint32_t type = 0;
    uint32_t sel = 0;
    uint32_t dsb = 0;
    bool tpg = false;
    uint32_t sts = 0;
    uint32_t frate = 0;
    uint32_t vmode = 0;
};

// A module directory entry: four words read as one 16-byte FIFO read.
struct DIR_ENTRY {
    uint32_t word[4] = {};
    uint32_t type() const { return word[1]; }
    uint32_t base() const { return word[2]; }
};

class USB3_MM : public VKVX_Device {
public:
    // The prototype entered into the class registry.
    USB3_MM();
    // Opens the instrument of info in mode (below 0: opened, unconfigured);
    // throws VKVX_Error.
    USB3_MM(const VKVX_DEVICE_INFO& info, int32_t mode, bool checkFirmware);
    ~USB3_MM() override;

    // ---- base class operations ----
    int32_t WorkerStep() override;
    int32_t EnumDevices(VKVX_DEVICE_INFO* devices, int32_t capacity) override;
    VKVX_Device* CreateDevice(const VKVX_DEVICE_INFO& info, int32_t mode, bool checkFirmware) override;
    uint32_t GetDeviceType() const override;
    int32_t GetOperationModes(VKVX_OPERATION_MODE* modes, int32_t capacity) override;
    int32_t SetDeviceOption(int32_t id, int32_t value) override;
    int32_t StartCapture() override;
    int32_t StopCapture() override;
    int32_t GetFrame(VKVX_FRAME* frame) override;
    int32_t GetFrameInfo(VKVX_FRAME_INFO* info) override;
    int32_t GetTimingData(int32_t selector, VKVX_TIMING_DATA* data, int32_t capacity) override;
    bool GetFirmwareVersion(uint16_t* major, uint16_t* minor, uint16_t* build, int32_t image,
                            uint16_t* code) override;
    int32_t EnumConnectors(uint32_t* connectors, int32_t capacity) override;
    int32_t SelectConnector(int32_t connector) override;
    int32_t GetDeviceCaps(uint32_t* caps, int32_t capacity) override;
    int32_t WriteRegister(int32_t address, uint32_t* values, int32_t count) override;
    int32_t ReadRegister(int32_t address, uint32_t* values, int32_t count) override;

    // ---- operations of the USB 3 family ----
    // DWRITE of length words (-8 below 1).
    virtual int32_t WriteData(int32_t address, const void* data, int32_t length);
    // Re-initialises the FPGA with image; -21 when that fails, -5 when the
    // module directory cannot be read again afterwards.
    virtual int32_t ReInit(int32_t image, bool flag);
    // The image switch itself: loads image into every image control module
    // (skipped where it is current, unless force); a status.
    int32_t reInitImage(int32_t image, bool force);
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

    // ---- register access (each holds its channel's semaphore) ----
    // FIFO read on the main channel; bytes in: wanted, out: returned.
    int32_t ReadFifo(int32_t address, void* buffer, uint32_t* bytes);
    int32_t WriteFifo(int32_t address, const void* buffer, uint32_t bytes);
    int32_t WriteFX3(int32_t address, uint32_t* values, int32_t count);
    int32_t ReadFX3(int32_t address, uint32_t* values, int32_t count);
    // Word read whose channel follows the address (0 and 1: FX3 channel).
    bool ReadWord(uint32_t address, uint32_t* value);
    // Always -6: these instruments take no firmware upload.
    int32_t UploadFirmware();

    // ---- discovery, open and configuration ----
    bool OpenDeviceByName();
    bool Autoconfigure(bool reduced);
    bool InitConnectors(uint32_t* version);
    // The image header: the image count (0 when a read fails).
    uint32_t LoadCumulativeFPGAHeader(uint32_t header[16]);

    const std::vector<ConnectorEntry>& connectors() const { return connectors_; }
    vkvx::usb::UsbDriverDevice* driverDevice() const { return usb_.get(); }

private:
    bool hasDevice() const;
    bool channelsReady() const;
    bool findEndpoints();
    bool isModel(const char* name, bool prefixOnly) const;
    int32_t loadTestCatalogue();

    char wantedSerial_[17] = {};
    char modelName_[65] = {};
    uint8_t modelIndex_ = 0;
    std::unique_ptr<vkvx::usb::UsbDriverDevice> usb_;
    vkvx::usb::UsbEndPoint* videoIn_ = nullptr;
    vkvx::usb::UsbEndPoint* audioIn_ = nullptr;
    vkvx::usb::UsbEndPoint* mainOut_ = nullptr;
    vkvx::usb::UsbEndPoint* mainIn_ = nullptr;
    vkvx::usb::UsbEndPoint* fx3Out_ = nullptr;
    vkvx::usb::UsbEndPoint* fx3In_ = nullptr;
    std::unique_ptr<vkvx::Semaphore> mainLock_;
    std::unique_ptr<vkvx::Semaphore> fx3Lock_;
    std::vector<DIR_ENTRY> dsbList_, sinkList_, sourceList_, frontEndList_, outPatternList_, imageControlList_;
    size_t dsbIndex_ = 0;
    std::vector<ConnectorEntry> connectors_;
    uint32_t transferSize_ = 65536;
};
