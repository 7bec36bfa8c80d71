// Simulated USB 3 instruments at the level of the FX3 driver's requests.
// A scenario (JSON) says which instruments are attached and how they
// misbehave; the simulator answers the driver requests (descriptors, strings,
// device name, bulk transfers) and runs the device side of the register
// protocol over the bulk endpoints.  Written from the protocol, not from the
// library's code.
//
// Scenario format:
// { "instruments": [ {
//     "model": "KVX-P13",              device name the driver reports
//     "serial": "1A2B3C4D5E6F",        serial as it appears in the device path
//     "descriptor_serial": "...",      string descriptor (default: the serial
//                                      with each character pair exchanged
//                                      when it has 12 characters or more)
//     "needs": "none" | "port_reset" | "fpga_reset" | "image1",
//     "endpoints": [1, 129, 3, 131, 132, 133],
//     "endpoints_after_resets": 0,     video/audio endpoints appear after
//                                      this many port resets
//     "packet_sizes": {"133": [1000, 0]},  wMaxPacketSize and bMaxBurst
//     "directory": true, "dsb": true,
//     "front_ends": [ {"type": 1, "late_reads": 0} ],
//     "nios_version": 2821, "fx3_version": 65793, "fpga_version": 66051,
//     "images": [2, 3, 8, 4, 5],       image codes in header order
//     "header_format": 15, "package_version": 66051, "current_image": 0,
//     "single_image": false,           bit 0 of register 0x10 clear
//     "image_unreadable_ms": 0,        image register silent after a switch
//     "broken_descriptor": "bos" | "config",  a descriptor set that cannot be parsed
//     "faults": { see Faults }
//   } ] }
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "transport/UsbDriver.h"

namespace vkvx::sim {

// Fault injection, switchable per scenario and at run time.  Counters are
// used up one per response.
struct Faults {
    int refuse = 0;                     // next N requests answered NACK (DNACK for data)
    std::set<uint32_t> refuseAddresses; // always refused
    int mismatchBefore = 0;             // responses with an older TNS sent before each of the next N responses
    int mismatchCount = 1;              // how many such responses each time
    int textBefore = 0;                 // text messages before each of the next N responses
    int textCount = 1;                  // how many text messages each time
    std::string text = "hello from the device";
    int drop = 0;                       // next N responses are never sent
    int lateMs = 0;                     // every response delivered this late
    int overlongReply = 0;              // next N FIFO replies announce more words than asked
    bool refuseTransfers = false;       // every bulk transfer fails (stall)
};

struct FrontEnd {
    uint32_t type = 1;
    int lateReads = 0;  // reads refused before the front end appears
};

struct Instrument {
    std::string model = "KVX-P13";
    std::string serial = "1A2B3C4D5E6F7G8H";
    std::string descriptorSerial;
    enum Needs { None, PortReset, FpgaReset, Image1 } needs = None;
    std::set<uint8_t> endpoints = {0x01, 0x81, 0x03, 0x83, 0x84, 0x85};
    int endpointsAfterResets = 0;
    std::map<uint8_t, std::pair<uint16_t, uint8_t>> packetSizes;  // address -> (wMaxPacketSize, bMaxBurst)
    bool directory = true;
    bool dsb = true;
    std::vector<FrontEnd> frontEnds = {FrontEnd{}};
    uint32_t niosVersion = 0xB05;
    uint32_t fx3Version = 0x010101;
    uint32_t fpgaVersion = 0x010203;
    std::vector<uint32_t> images = {2, 3, 8, 4, 5};
    uint32_t headerFormat = 15;
    uint32_t packageVersion = 0x020304;
    uint32_t currentImage = 0;
    bool singleImage = false;
    int imageUnreadableMs = 0;
    std::string brokenDescriptor;  // "bos" or "config": that descriptor set cannot be parsed
    Faults faults;
    bool unplugged = false;

    // ---- state and observations ----
    bool answering = true;      // main channel (and FX3 channel for port_reset)
    bool fx3Answering = true;
    int portResets = 0;
    int fpgaResets = 0;
    std::vector<uint32_t> imageWrites;         // values written to the image register
    std::map<uint8_t, uint32_t> transferSizes; // last size per endpoint
    std::map<uint8_t, int> outTransfers;       // OUT transfers per endpoint
    std::map<uint8_t, uint64_t> outBytes;
    std::vector<uint32_t> lastOutLengths;      // lengths of OUT transfers, in order
    std::map<uint32_t, uint32_t> regs;         // main channel registers
    std::map<uint32_t, uint32_t> fx3Regs;
    int64_t unreadableUntilMs = 0;             // image register silent until then
};

class Simulator {
public:
    // Null and *error on a malformed scenario.
    static std::unique_ptr<Simulator> fromJson(const std::string& text, std::string* error);
    static std::unique_ptr<Simulator> fromFile(const std::string& path, std::string* error);
    ~Simulator();

    const usb::UsbDriverBackend* backend() const;
    // Runs f on the instrument with that serial (or the first one when the
    // serial is empty) under the simulator's lock; false when absent.
    bool edit(const std::string& serial, const std::function<void(Instrument&)>& f);
    // A copy of the instrument's state.
    Instrument snapshot(const std::string& serial);
    // Queues a raw packet on an IN endpoint (tests of stale data).
    void inject(const std::string& serial, uint8_t endpoint, std::vector<uint8_t> packet);

    struct Impl;

private:
    Simulator();
    std::unique_ptr<Impl> impl_;
};

}  // namespace vkvx::sim
