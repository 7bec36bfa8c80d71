// USB_DUMMY: the emulated instrument.  Always enumerates one device, "SW
// Emulated device" (serial "EMU001"), and delivers a colour gradient or
// audio (a generated tone beside the sound-card input) without hardware.
#pragma once

#include <atomic>
#include <memory>

#include "device/Device.h"
#include "platform/AudioInput.h"

class USB_DUMMY : public VKVX_Device {
public:
    // The prototype entered into the class registry.
    USB_DUMMY();
    USB_DUMMY(const VKVX_DEVICE_INFO& info, int32_t mode);
    ~USB_DUMMY() override;

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
    bool IsInterlaced() override;
    int32_t GetAudioInfo(VKVX_AUDIO_INFO* info) override;
    int32_t GetTimingData(int32_t selector, VKVX_TIMING_DATA* data, int32_t capacity) override;
    bool GetFirmwareVersion(uint16_t* major, uint16_t* minor, uint16_t* build, int32_t image,
                            uint16_t* code) override;
    int32_t EnumConnectors(uint32_t* connectors, int32_t capacity) override;
    int32_t SelectConnector(int32_t connector) override;
    int32_t GetDeviceCaps(uint32_t* caps, int32_t capacity) override;

private:
    int32_t videoFrame(VKVX_FRAME* frame, int32_t source);
    int32_t audioFrame(VKVX_FRAME* frame);

    // Options may change while another thread is inside GetFrame.
    std::atomic<int32_t> source_{1};
    std::atomic<uint32_t> sizeA_{1920};
    std::atomic<uint32_t> sizeB_{1080};
    vkvx::AudioInput input_;
};
