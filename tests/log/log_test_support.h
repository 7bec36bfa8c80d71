// Shared pieces of the logging tests: a UDP listener on the loopback, a
// settings folder with a Log.conf, decoded log records, and a look for the
// sender thread.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace log_test {

constexpr size_t kRecordSize = 524;

struct Record {
    size_t size = 0;
    uint16_t level = 0;
    uint16_t sequence = 0;
    uint64_t fileTime = 0;
    unsigned char text[512] = {};

    std::string str() const { return std::string(reinterpret_cast<const char*>(text), strnlen(reinterpret_cast<const char*>(text), sizeof text)); }
    // True when every byte after the terminating zero is zero as well.
    bool zeroFilled() const
    {
        const size_t n = strnlen(reinterpret_cast<const char*>(text), sizeof text);
        if (n == sizeof text) {
            return false;  // not terminated
        }
        for (size_t i = n; i < sizeof text; ++i) {
            if (text[i] != 0) {
                return false;
            }
        }
        return true;
    }
};

// A UDP socket bound to 127.0.0.1 (port 0: the system chooses).
class Listener {
public:
    explicit Listener(uint16_t wantedPort = 0)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        // Room for a whole ring of records, so that a burst is not dropped
        // by the receiving side (the forced size needs privileges; the
        // plain one is capped by the system).
        int size = 16 << 20;
        if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(wantedPort);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd_); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    bool bound() const { return bound_; }
    uint16_t port() const { return port_; }

    // The next datagram, or nothing after timeoutMs.
    std::optional<Record> receive(int timeoutMs = 2000)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) {
            return std::nullopt;
        }
        unsigned char buf[kRecordSize + 64];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n < 0) {
            return std::nullopt;
        }
        Record r;
        r.size = static_cast<size_t>(n);
        if (r.size >= 12) {
            r.level = static_cast<uint16_t>(buf[0] | (buf[1] << 8));
            r.sequence = static_cast<uint16_t>(buf[2] | (buf[3] << 8));
            for (int i = 7; i >= 0; --i) {
                r.fileTime = (r.fileTime << 8) | buf[4 + i];
            }
            std::memcpy(r.text, buf + 12, std::min<size_t>(r.size - 12, sizeof r.text));
        }
        return r;
    }

    // Every datagram that arrives until none came for quietMs.
    std::vector<Record> drain(int quietMs = 300)
    {
        std::vector<Record> out;
        while (auto r = receive(quietMs)) {
            out.push_back(*r);
        }
        return out;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
    uint16_t port_ = 0;
};

// A private settings folder named by VKVX_CONFIG_DIR while it lives.
class ConfigDir {
public:
    ConfigDir()
    {
        char tmpl[] = "/tmp/vkvx-logconf-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        dir_ = d != nullptr ? d : "/tmp";
        ::setenv("VKVX_CONFIG_DIR", dir_.c_str(), 1);
    }
    ~ConfigDir()
    {
        std::remove(path().c_str());
        ::rmdir(dir_.c_str());
    }
    ConfigDir(const ConfigDir&) = delete;
    ConfigDir& operator=(const ConfigDir&) = delete;

    std::string path() const { return dir_ + "/Log.conf"; }
    void write(const std::string& text) const { std::ofstream(path(), std::ios::binary) << text; }

private:
    std::string dir_;
};

// True while a thread of this process is named like the log sender.
inline bool senderThreadRunning()
{
    DIR* d = ::opendir("/proc/self/task");
    if (d == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') {
            continue;
        }
        std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        found = found || name == "vkvx-log";
    }
    ::closedir(d);
    return found;
}

}  // namespace log_test
