#include "SimUsb3.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <list>
#include <mutex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

namespace vkvx::sim {

using namespace vkvx::usb;

namespace {

// Protocol words of the instrument, as they appear on the wire: 0x0B, two
// letters, 0x0B.
constexpr uint32_t word(char a, char b) { return 0x0B | uint32_t(uint8_t(a)) << 8 | uint32_t(uint8_t(b)) << 16 | 0x0Bu << 24; }
constexpr uint32_t kWordWrite = word('W', 'T');
constexpr uint32_t kWordRead = word('R', 'D');
constexpr uint32_t kFifoRead = word('r', 'd');
constexpr uint32_t kFifoWrite = word('w', 't');
constexpr uint32_t kDataWrite = word('d', 't');
constexpr uint32_t kAck = word('A', 'C');
constexpr uint32_t kDataAck = word('d', 'a');
constexpr uint32_t kNack = word('K', 'N');
constexpr uint32_t kDataNack = word('d', 'k');

// Register map of the simulated device logic.
constexpr uint32_t kRoot = 0xF000;
constexpr uint32_t kImageCount = 0x24;
constexpr uint32_t kImageSelect = 0x26;
constexpr uint32_t kImageHeader = 0x2A;
constexpr uint32_t kFrontEndBase = 0x2000;

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void put32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

std::vector<uint8_t> utf16Descriptor(const std::string& s)
{
    std::vector<uint8_t> d;
    d.push_back(uint8_t(2 + 2 * s.size()));
    d.push_back(3);
    for (char c : s) {
        d.push_back(uint8_t(c));
        d.push_back(0);
    }
    return d;
}

}  // namespace

struct Handle;

struct Pending {
    Handle* handle;
    uint8_t endpoint;
    uint8_t* data;      // where the answer goes
    uint32_t room;
    uint8_t* header;
    uint32_t offset;    // 0 direct, else data offset
    UsbCompletion* completion;
};

struct Dev {
    Instrument inst;
    bool imageLoaded = true;
    std::map<uint8_t, std::deque<std::vector<uint8_t>>> queues;
};

struct Handle {
    Simulator::Impl* impl;
    Dev* dev;
};

struct Timed {
    int64_t at;
    Dev* dev;
    uint8_t endpoint;
    std::vector<uint8_t> packet;
};

struct Simulator::Impl {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::unique_ptr<Dev>> devs;
    std::list<Pending> pending;
    std::list<Timed> timed;
    bool stopping = false;
    std::thread timer;
    UsbDriverBackend backend{};

    Dev* find(const std::string& serial)
    {
        for (auto& d : devs)
            if (serial.empty() || d->inst.serial == serial) return d.get();
        return nullptr;
    }

    // ---- descriptors ----
    std::set<uint8_t> presentEndpoints(const Instrument& in)
    {
        std::set<uint8_t> e = in.endpoints;
        if (in.portResets < in.endpointsAfterResets) {
            e.erase(0x84);
            e.erase(0x85);
        }
        return e;
    }

    std::vector<uint8_t> descriptor(Dev* d, uint8_t type, uint8_t index)
    {
        const Instrument& in = d->inst;
        std::vector<uint8_t> v;
        switch (type) {
        case 1:
            v = {18, 1, 0x00, 0x03, 0, 0, 0, 9, 0xD0, 0x16, 0x00, 0x03, 0x00, 0x01, 1, 2, 3, 1};
            break;
        case 2: {
            if (index != 0) break;
            std::vector<uint8_t> body;
            uint8_t order[] = {0x01, 0x81, 0x03, 0x83, 0x84, 0x85};
            std::set<uint8_t> eps = presentEndpoints(in);
            std::vector<uint8_t> iface = {9, 4, 0, 0, uint8_t(eps.size()), 0xFF, 0, 0, 0};
            body.insert(body.end(), iface.begin(), iface.end());
            for (uint8_t a : order) {
                if (!eps.count(a)) continue;
                uint16_t size = 1024;
                uint8_t burst = a == 0x84 ? 15 : 0;
                auto it = in.packetSizes.find(a);
                if (it != in.packetSizes.end()) {
                    size = it->second.first;
                    burst = it->second.second;
                }
                std::vector<uint8_t> ep = {7, 5, a, 2, uint8_t(size), uint8_t(size >> 8), 0};
                std::vector<uint8_t> comp = {6, 0x30, burst, 0, 0, 0};
                body.insert(body.end(), ep.begin(), ep.end());
                body.insert(body.end(), comp.begin(), comp.end());
            }
            if (in.brokenDescriptor == "config") body[0] = 0;  // a zero-length interface descriptor
            uint16_t total = uint16_t(9 + body.size());
            v = {9, 2, uint8_t(total), uint8_t(total >> 8), 1, 1, 0, 0x80, 50};
            v.insert(v.end(), body.begin(), body.end());
            break;
        }
        case 3:
            if (index == 0) v = {4, 3, 0x09, 0x04};
            else if (index == 1) v = utf16Descriptor("Vantrel");
            else if (index == 2) v = utf16Descriptor(in.model);
            else if (index == 3) v = utf16Descriptor(reportedSerial(in));
            break;
        case 0x0F: {
            std::vector<uint8_t> usb2 = {7, 0x10, 2, 0x02, 0, 0, 0};
            std::vector<uint8_t> ss = {10, 0x10, 3, 0, 0x0E, 0, 1, 10, 0xFF, 0x07};
            if (in.brokenDescriptor == "bos") ss[1] = 0x05;  // not a device capability
            std::vector<uint8_t> cid = {20, 0x10, 4, 0};
            for (int i = 0; i < 16; ++i) cid.push_back(uint8_t(0xA0 + i));
            uint16_t total = uint16_t(5 + usb2.size() + ss.size() + cid.size());
            v = {5, 0x0F, uint8_t(total), uint8_t(total >> 8), 3};
            v.insert(v.end(), usb2.begin(), usb2.end());
            v.insert(v.end(), ss.begin(), ss.end());
            v.insert(v.end(), cid.begin(), cid.end());
            break;
        }
        default:
            break;
        }
        return v;
    }

    static std::string reportedSerial(const Instrument& in)
    {
        if (!in.descriptorSerial.empty()) return in.descriptorSerial;
        std::string s = in.serial;
        if (s.size() >= 12) {
            for (size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
        }
        return s;
    }

    // ---- device logic ----
    struct Module {
        uint32_t type, base, w3;
    };
    std::vector<Module> modules(const Instrument& in)
    {
        std::vector<Module> m;
        if (in.dsb) m.push_back({1, 0x100, 0});
        m.push_back({33, 0x1000, 0});
        m.push_back({35, 0x1100, 0});
        m.push_back({34, 0x1200, 0});
        for (size_t i = 0; i < in.frontEnds.size(); ++i) m.push_back({9, uint32_t(kFrontEndBase + 0x10 * i), 0});
        m.push_back({8, 0x1300, 0});
        m.push_back({10, kImageCount, 1});
        return m;
    }

    uint32_t imageEntry(const Instrument& in, size_t i)
    {
        uint32_t code = in.images[i];
        uint32_t e = 1u << 20 | uint32_t((i + 1) & 15) << 16 | 3u << 12 | 2u << 8 | 4u << 4 | 5u;
        return e | ((code >> 2) & 3) << 22 | (code & 3) << 10;
    }

    // FIFO contents at address; false when the address holds none.
    bool fifo(Dev* d, uint32_t address, uint32_t wanted, std::vector<uint32_t>* out)
    {
        Instrument& in = d->inst;
        auto mods = modules(in);
        if (address == kRoot) {
            if (!in.directory) return false;
            *out = {0x00010000, 0, kRoot + 1, uint32_t(mods.size())};
            return true;
        }
        if (in.directory && address > kRoot && address <= kRoot + mods.size()) {
            const Module& m = mods[address - kRoot - 1];
            *out = {0, m.type, m.base, m.w3};
            return true;
        }
        for (size_t i = 0; i < in.frontEnds.size(); ++i) {
            if (address == kFrontEndBase + 0x10 * i) {
                if (in.frontEnds[i].lateReads > 0) {
                    --in.frontEnds[i].lateReads;
                    return false;
                }
                *out = {in.frontEnds[i].type, 0x11, 0x22, 0x33};
                return true;
            }
        }
        if (address == kImageHeader) {
            out->assign(16, 0);
            (*out)[0] = in.headerFormat;
            (*out)[1] = in.packageVersion;
            for (size_t i = 0; i < in.images.size() && i < 12; ++i) (*out)[4 + i] = imageEntry(in, i);
            return true;
        }
        // Any other address: consecutive registers.
        out->clear();
        for (uint32_t i = 0; i < wanted; ++i) out->push_back(readReg(d, address + i));
        return true;
    }

    uint32_t readReg(Dev* d, uint32_t address)
    {
        Instrument& in = d->inst;
        switch (address) {
        case 2: return in.niosVersion;
        case 3: return in.fpgaVersion;
        case 0x10: return in.singleImage ? 0 : 1;
        case kImageCount: return uint32_t(in.images.size());
        case kImageSelect: return in.currentImage;
        default: break;
        }
        auto it = in.regs.find(address);
        return it == in.regs.end() ? 0 : it->second;
    }

    void emit(Dev* d, uint8_t endpoint, std::vector<uint8_t> packet)
    {
        Instrument& in = d->inst;
        if (in.faults.lateMs > 0) {
            timed.push_back({nowMs() + in.faults.lateMs, d, endpoint, std::move(packet)});
            cv.notify_all();
            return;
        }
        deliver(d, endpoint, std::move(packet));
    }

    void respond(Dev* d, uint8_t inEp, uint32_t code, uint32_t tns, uint32_t address,
                 const std::vector<uint32_t>& data, uint32_t announced)
    {
        Faults& f = d->inst.faults;
        if (f.drop > 0) {
            --f.drop;
            return;
        }
        if (f.textBefore > 0) {
            --f.textBefore;
            for (int k = 0; k < f.textCount; ++k) {
            std::vector<uint8_t> t;
            uint32_t words = uint32_t((f.text.size() + 3) / 4);
            put32(t, kFifoWrite);
            put32(t, 0);
            put32(t, 0);
            put32(t, words);
            t.insert(t.end(), f.text.begin(), f.text.end());
            t.resize(16 + words * 4, 0);
            emit(d, inEp, std::move(t));
            }
        }
        if (f.mismatchBefore > 0) {
            --f.mismatchBefore;
            for (int i = 0; i < f.mismatchCount; ++i) {
                std::vector<uint8_t> s;
                put32(s, kAck);
                put32(s, (tns - 1 - uint32_t(i)) & 0xFFFF);
                put32(s, address);
                put32(s, 0);
                emit(d, inEp, std::move(s));
            }
        }
        std::vector<uint8_t> r;
        put32(r, code);
        put32(r, tns);
        put32(r, address);
        put32(r, announced);
        for (uint32_t w : data) put32(r, w);
        emit(d, inEp, std::move(r));
    }

    void request(Dev* d, uint8_t outEp, const uint8_t* p, uint32_t n)
    {
        Instrument& in = d->inst;
        if (n < 16) return;
        bool fx3 = outEp == 0x03;
        uint8_t inEp = uint8_t(outEp | 0x80);
        if (!(fx3 ? in.fx3Answering : in.answering)) return;
        uint32_t code = getLe32(p), tns = getLe32(p + 4), address = getLe32(p + 8), w3 = getLe32(p + 12);
        Faults& f = in.faults;
        bool refused = f.refuseAddresses.count(address) != 0;
        if (!refused && f.refuse > 0) {
            --f.refuse;
            refused = true;
        }
        bool dataKind = code == kFifoRead || code == kDataWrite;
        if (refused) {
            respond(d, inEp, dataKind ? kDataNack : kNack, tns, address, {}, 0);
            return;
        }
        if (code == kWordWrite && n >= 20) {
            uint32_t value = getLe32(p + 16);
            if (fx3) {
                in.fx3Regs[address] = value;
                if (address == 0x90 && value == 3) {
                    ++in.fpgaResets;
                    if (in.needs == Instrument::FpgaReset) in.answering = true;
                    d->queues[0x81].clear();
                }
            } else if (address == kImageSelect) {
                in.imageWrites.push_back(value);
                if (value >= in.images.size()) {
                    respond(d, inEp, kNack, tns, address, {}, 0);
                    return;
                }
                in.currentImage = value;
                d->imageLoaded = true;
                in.unreadableUntilMs = nowMs() + in.imageUnreadableMs;
            } else {
                in.regs[address] = value;
            }
            respond(d, inEp, kAck, tns, address, {}, 0);
        } else if (code == kWordRead) {
            uint32_t value;
            if (fx3) {
                value = address == 0 ? in.fx3Version : address == 1 ? in.fpgaVersion : in.fx3Regs[address];
            } else {
                if (!d->imageLoaded) {
                    respond(d, inEp, kNack, tns, address, {}, 0);
                    return;
                }
                if (address == kImageSelect && nowMs() < in.unreadableUntilMs) return;
                value = readReg(d, address);
            }
            respond(d, inEp, kAck, tns, address, {value}, 1);
        } else if (code == kFifoRead && n >= 20) {
            uint32_t wanted = getLe32(p + 16);
            std::vector<uint32_t> data;
            if (!d->imageLoaded || !fifo(d, address, wanted, &data)) {
                respond(d, inEp, kDataNack, tns, address, {}, 0);
                return;
            }
            if (data.size() > wanted) data.resize(wanted);
            uint32_t announced = uint32_t(data.size());
            if (f.overlongReply > 0) {
                --f.overlongReply;
                for (int i = 0; i < 4; ++i) data.push_back(0xEEEEEEEE);
                announced = uint32_t(data.size());
            }
            respond(d, inEp, kDataAck, tns, address, data, announced);
        } else if (code == kFifoWrite || code == kDataWrite) {
            uint32_t words = std::min<uint32_t>(w3, (n - 16) / 4);
            for (uint32_t i = 0; i < words; ++i) in.regs[address + i] = getLe32(p + 16 + 4 * i);
            respond(d, inEp, code == kDataWrite ? kDataAck : kAck, tns, address, {}, 0);
        }
    }

    // Hands a packet to a waiting IN transfer or queues it.
    void deliver(Dev* d, uint8_t endpoint, std::vector<uint8_t> packet)
    {
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (it->handle->dev == d && it->endpoint == endpoint) {
                Pending p = *it;
                pending.erase(it);
                uint32_t n = std::min<uint32_t>(p.room, uint32_t(packet.size()));
                if (n) std::memcpy(p.data, packet.data(), n);
                bool overflow = packet.size() > p.room;
                putLe32(p.header + hdr::UsbdStatus, overflow ? kUsbdDataOverrun : 0);
                putLe32(p.header + hdr::NtStatus, overflow ? kNtUnsuccessful : 0);
                p.completion->done(p.completion, overflow ? kGenFailure : kOk, n + (n ? p.offset : 0));
                return;
            }
        }
        d->queues[endpoint].push_back(std::move(packet));
    }

    void timerLoop()
    {
        std::unique_lock<std::mutex> lock(m);
        while (!stopping) {
            int64_t now = nowMs();
            int64_t next = -1;
            for (auto it = timed.begin(); it != timed.end();) {
                if (it->at <= now) {
                    deliver(it->dev, it->endpoint, std::move(it->packet));
                    it = timed.erase(it);
                } else {
                    next = next < 0 ? it->at : std::min(next, it->at);
                    ++it;
                }
            }
            if (next < 0) cv.wait(lock);
            else cv.wait_for(lock, std::chrono::milliseconds(next - now));
        }
    }

    void abortPending(Handle* h, int endpoint, uint32_t error)
    {
        for (auto it = pending.begin(); it != pending.end();) {
            if (it->handle == h && (endpoint < 0 || it->endpoint == endpoint)) {
                putLe32(it->header + hdr::UsbdStatus, kUsbdCanceled);
                putLe32(it->header + hdr::NtStatus, kNtCancelled);
                it->completion->done(it->completion, error, 0);
                it = pending.erase(it);
            } else {
                ++it;
            }
        }
    }

    uint32_t io(Handle* h, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength,
                uint32_t* returned, UsbCompletion* completion)
    {
        std::lock_guard<std::mutex> lock(m);
        Dev* d = h->dev;
        Instrument& inst = d->inst;
        *returned = 0;
        bool transfer = code == kControlTransfer || code == kBufferedTransfer || code == kDirectTransfer;
        if (transfer && inLength < kHeaderSize) return kInvalidParameter;
        if (inst.unplugged) {
            if (transfer) putLe32(in + hdr::UsbdStatus, kUsbdDevNotResponding);
            return kDeviceNotConnected;
        }
        if (transfer) {
            putLe32(in + hdr::UsbdStatus, 0);
            putLe32(in + hdr::NtStatus, 0);
        }
        switch (code) {
        case kDriverVersion:
        case kUsbdiVersion:
            if (outLength < 4) return kInvalidParameter;
            putLe32(out, code == kDriverVersion ? 0x01020304u : 0x00000600u);
            *returned = 4;
            return kOk;
        case kAltSetting:
        case kUsbAddress:
            if (outLength < 1) return kInvalidParameter;
            out[0] = code == kUsbAddress ? 7 : 0;
            *returned = 1;
            return kOk;
        case kDeviceSpeed:
            if (outLength < 4) return kInvalidParameter;
            putLe32(out, 4);
            *returned = 4;
            return kOk;
        case kDeviceName:
        case kFriendlyName: {
            std::string name = code == kDeviceName ? inst.model : "Vantrel " + inst.model;
            std::memset(out, 0, outLength);
            std::memcpy(out, name.data(), std::min<size_t>(name.size(), outLength ? outLength - 1 : 0));
            *returned = outLength;
            return kOk;
        }
        case kControlTransfer: {
            uint8_t type = in[hdr::RequestType], req = in[hdr::Request];
            uint16_t value = getLe16(in + hdr::Value), length = getLe16(in + hdr::Length);
            uint32_t room = inLength - kHeaderSize;
            if (type != 0x80 || req != 6) {
                putLe32(in + hdr::UsbdStatus, kUsbdStallPid);
                return kGenFailure;
            }
            std::vector<uint8_t> desc = descriptor(d, uint8_t(value >> 8), uint8_t(value));
            if (desc.empty()) {
                putLe32(in + hdr::UsbdStatus, kUsbdStallPid);
                return kGenFailure;
            }
            uint32_t n = std::min<uint32_t>({uint32_t(desc.size()), length, room});
            std::memcpy(in + kHeaderSize, desc.data(), n);
            *returned = kHeaderSize + n;
            return kOk;
        }
        case kDirectTransfer:
        case kBufferedTransfer: {
            uint8_t ep = in[hdr::Endpoint];
            if (!presentEndpoints(inst).count(ep)) return kInvalidParameter;
            uint8_t* data = out;
            uint32_t length = outLength;
            uint32_t offset = 0;
            if (code == kBufferedTransfer) {
                offset = getLe32(in + hdr::DataOffset);
                uint32_t dl = getLe32(in + hdr::DataLength);
                if (offset < kHeaderSize || offset > inLength || dl > inLength - offset) return kInvalidParameter;
                data = in + offset;
                length = dl;
            }
            if (inst.faults.refuseTransfers) {
                putLe32(in + hdr::UsbdStatus, kUsbdStallPid);
                putLe32(in + hdr::NtStatus, kNtUnsuccessful);
                return kGenFailure;
            }
            if (!(ep & 0x80)) {
                ++inst.outTransfers[ep];
                inst.outBytes[ep] += length;
                inst.lastOutLengths.push_back(length);
                request(d, ep, data, length);
                *returned = length + (length ? offset : 0);
                return kOk;
            }
            auto& q = d->queues[ep];
            if (!q.empty()) {
                std::vector<uint8_t> packet = std::move(q.front());
                q.pop_front();
                uint32_t n = std::min<uint32_t>(length, uint32_t(packet.size()));
                if (n) std::memcpy(data, packet.data(), n);
                if (packet.size() > length) {
                    putLe32(in + hdr::UsbdStatus, kUsbdDataOverrun);
                    putLe32(in + hdr::NtStatus, kNtUnsuccessful);
                    return kGenFailure;
                }
                *returned = n + (n ? offset : 0);
                return kOk;
            }
            if (!completion) return kSemTimeout;
            pending.push_back({h, ep, data, length, in, offset, completion});
            return kIoPending;
        }
        case kAbortPipe:
            if (inLength < 1) return kInvalidParameter;
            abortPending(h, in[0], kOperationAborted);
            return kOk;
        case kResetPipe:
            return inLength < 1 ? kInvalidParameter : kOk;
        case kCyclePort:
        case kResetParentPort:
            ++inst.portResets;
            if (inst.needs == Instrument::PortReset) inst.answering = inst.fx3Answering = true;
            d->queues.clear();
            return kOk;
        case kSetTransferSize:
            if (inLength < 5) return kInvalidParameter;
            inst.transferSizes[in[0]] = getLe32(in + 1);
            if (outLength >= 5 && out != in) std::memcpy(out, in, 5);
            *returned = 5;
            return kOk;
        default:
            return kInvalidParameter;
        }
    }
};

namespace {

uint32_t simEnumerate(void* c, void (*sink)(void*, const char*), void* user)
{
    auto* impl = static_cast<Simulator::Impl*>(c);
    std::vector<std::string> paths;
    {
        std::lock_guard<std::mutex> lock(impl->m);
        for (auto& d : impl->devs) {
            if (!d->inst.unplugged) paths.push_back("sim\\usb#vid_16d0&pid_0300#" + d->inst.serial + "#{sim}");
        }
    }
    for (const auto& p : paths) sink(user, p.c_str());
    return kOk;
}

uint32_t simOpen(void* c, const char* path, void** handle)
{
    auto* impl = static_cast<Simulator::Impl*>(c);
    std::lock_guard<std::mutex> lock(impl->m);
    std::string p(path);
    for (auto& d : impl->devs) {
        if (!d->inst.unplugged && p == "sim\\usb#vid_16d0&pid_0300#" + d->inst.serial + "#{sim}") {
            *handle = new Handle{impl, d.get()};
            return kOk;
        }
    }
    return kFileNotFound;
}

void simClose(void* handle)
{
    auto* h = static_cast<Handle*>(handle);
    {
        std::lock_guard<std::mutex> lock(h->impl->m);
        h->impl->abortPending(h, -1, kOperationAborted);
    }
    delete h;
}

uint32_t simIo(void* handle, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out, uint32_t outLength,
               uint32_t* returned, UsbCompletion* completion)
{
    auto* h = static_cast<Handle*>(handle);
    if (!h) return kInvalidHandle;
    return h->impl->io(h, code, in, inLength, out, outLength, returned, completion);
}

template <class T>
void get(const nlohmann::json& j, const char* key, T& v)
{
    if (j.contains(key)) v = j.at(key).get<T>();
}

}  // namespace

Simulator::Simulator() : impl_(std::make_unique<Impl>())
{
    impl_->backend.name = "simulation";
    impl_->backend.context = impl_.get();
    impl_->backend.enumerate = simEnumerate;
    impl_->backend.open = simOpen;
    impl_->backend.close = simClose;
    impl_->backend.ioControl = simIo;
    impl_->timer = std::thread([this] { impl_->timerLoop(); });
}

Simulator::~Simulator()
{
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        impl_->stopping = true;
        impl_->cv.notify_all();
    }
    impl_->timer.join();
}

std::unique_ptr<Simulator> Simulator::fromJson(const std::string& text, std::string* error)
{
    std::unique_ptr<Simulator> sim(new Simulator());
    try {
        nlohmann::json j = nlohmann::json::parse(text);
        for (const auto& e : j.value("instruments", nlohmann::json::array())) {
            auto d = std::make_unique<Dev>();
            Instrument& in = d->inst;
            get(e, "model", in.model);
            get(e, "serial", in.serial);
            get(e, "descriptor_serial", in.descriptorSerial);
            std::string needs = e.value("needs", "none");
            in.needs = needs == "port_reset"   ? Instrument::PortReset
                       : needs == "fpga_reset" ? Instrument::FpgaReset
                       : needs == "image1"     ? Instrument::Image1
                                               : Instrument::None;
            if (e.contains("endpoints")) {
                in.endpoints.clear();
                for (int a : e.at("endpoints")) in.endpoints.insert(uint8_t(a));
            }
            get(e, "endpoints_after_resets", in.endpointsAfterResets);
            if (e.contains("packet_sizes")) {
                for (auto& [k, v] : e.at("packet_sizes").items())
                    in.packetSizes[uint8_t(std::stoi(k))] = {v.at(0).get<uint16_t>(), v.at(1).get<uint8_t>()};
            }
            get(e, "directory", in.directory);
            get(e, "dsb", in.dsb);
            if (e.contains("front_ends")) {
                in.frontEnds.clear();
                for (const auto& f : e.at("front_ends"))
                    in.frontEnds.push_back({f.value("type", 1u), f.value("late_reads", 0)});
            }
            get(e, "nios_version", in.niosVersion);
            get(e, "fx3_version", in.fx3Version);
            get(e, "fpga_version", in.fpgaVersion);
            get(e, "images", in.images);
            if (in.images.size() > 12) in.images.resize(12);
            get(e, "header_format", in.headerFormat);
            get(e, "package_version", in.packageVersion);
            get(e, "current_image", in.currentImage);
            get(e, "single_image", in.singleImage);
            get(e, "image_unreadable_ms", in.imageUnreadableMs);
            get(e, "broken_descriptor", in.brokenDescriptor);
            if (e.contains("faults")) {
                const auto& f = e.at("faults");
                get(f, "refuse", in.faults.refuse);
                get(f, "refuse_addresses", in.faults.refuseAddresses);
                get(f, "mismatch_before", in.faults.mismatchBefore);
                get(f, "mismatch_count", in.faults.mismatchCount);
                get(f, "text_before", in.faults.textBefore);
                get(f, "text", in.faults.text);
                get(f, "text_count", in.faults.textCount);
                get(f, "drop", in.faults.drop);
                get(f, "late_ms", in.faults.lateMs);
                get(f, "overlong_reply", in.faults.overlongReply);
                get(f, "refuse_transfers", in.faults.refuseTransfers);
            }
            get(e, "unplugged", in.unplugged);
            in.answering = in.needs != Instrument::PortReset && in.needs != Instrument::FpgaReset;
            in.fx3Answering = in.needs != Instrument::PortReset;
            d->imageLoaded = in.needs != Instrument::Image1;
            sim->impl_->devs.push_back(std::move(d));
        }
    } catch (const std::exception& ex) {
        if (error) *error = ex.what();
        return nullptr;
    }
    return sim;
}

std::unique_ptr<Simulator> Simulator::fromFile(const std::string& path, std::string* error)
{
    std::ifstream f(path);
    if (!f) {
        if (error) *error = "cannot read " + path;
        return nullptr;
    }
    std::stringstream s;
    s << f.rdbuf();
    return fromJson(s.str(), error);
}

const UsbDriverBackend* Simulator::backend() const { return &impl_->backend; }

bool Simulator::edit(const std::string& serial, const std::function<void(Instrument&)>& f)
{
    std::lock_guard<std::mutex> lock(impl_->m);
    Dev* d = impl_->find(serial);
    if (!d) return false;
    f(d->inst);
    return true;
}

Instrument Simulator::snapshot(const std::string& serial)
{
    std::lock_guard<std::mutex> lock(impl_->m);
    Dev* d = impl_->find(serial);
    return d ? d->inst : Instrument{};
}

void Simulator::inject(const std::string& serial, uint8_t endpoint, std::vector<uint8_t> packet)
{
    std::lock_guard<std::mutex> lock(impl_->m);
    if (Dev* d = impl_->find(serial)) impl_->deliver(d, endpoint, std::move(packet));
}

}  // namespace vkvx::sim

// Entry point that libVKVX.so looks up when VKVX_SIMULATION is set.
extern "C" __attribute__((visibility("default"))) const vkvx::usb::UsbDriverBackend* vkvx_sim_usb_backend(
    const char* scenarioPath)
{
    static std::unique_ptr<vkvx::sim::Simulator> sim;
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    if (!sim) {
        std::string error;
        sim = vkvx::sim::Simulator::fromFile(scenarioPath ? scenarioPath : "", &error);
        if (!sim) {
            std::fprintf(stderr, "VKVX simulation: %s\n", error.c_str());
            return nullptr;
        }
    }
    return sim->backend();
}
