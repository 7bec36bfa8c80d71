#include "platform/InUseLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace vkvx {

namespace {

bool usableFolder(const std::string& dir)
{
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// $XDG_RUNTIME_DIR/vkvx, or /tmp/vkvx-<uid> when there is no usable runtime
// folder (unset, relative, or missing).
std::string lockFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        std::string dir = std::string(runtime) + "/vkvx";
        if (usableFolder(dir)) {
            return dir;
        }
    }
    std::string dir = "/tmp/vkvx-" + std::to_string(static_cast<unsigned long>(getuid()));
    return usableFolder(dir) ? dir : std::string();
}

}  // namespace

std::string InUseLock::pathFor(const char* serial)
{
    std::string dir = lockFolder();
    if (dir.empty()) {
        return {};
    }
    std::string name = "dev-";
    for (const char* p = serial; p && *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '_' || c == '-';
        if (plain) {
            name += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        }
    }
    return dir + "/" + name + ".lock";
}

InUseLock* InUseLock::take(const char* serial)
{
    std::string path = pathFor(serial);
    if (path.empty()) {
        return nullptr;
    }
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    return new InUseLock(fd);
}

bool InUseLock::probe(const char* serial)
{
    InUseLock* lock = take(serial);
    delete lock;
    return lock != nullptr;
}

InUseLock::~InUseLock()
{
    flock(fd_, LOCK_UN);
    close(fd_);
}

}  // namespace vkvx
