// POSIX form of OutputFile.
#include "frame/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace vkvx::frame {

OutputFile::~OutputFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool OutputFile::create(const char* name)
{
    fd_ = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool OutputFile::write(const void* data, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const ssize_t n = ::write(fd_, p, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::writeBlocks(const uint8_t* first, ptrdiff_t stride, size_t count, size_t blockBytes)
{
    // Addresses advance as integers: the step after the last block may leave
    // the buffer.
    uintptr_t at = reinterpret_cast<uintptr_t>(first);
    constexpr size_t kBatch = IOV_MAX < 1024 ? IOV_MAX : 1024;
    iovec iov[kBatch];
    while (count > 0) {
        // Keep one call below SSIZE_MAX bytes.
        size_t batch = count < kBatch ? count : kBatch;
        if (blockBytes > 0 && batch > SSIZE_MAX / blockBytes) {
            batch = SSIZE_MAX / blockBytes;
        }
        if (batch == 0) {
            // A single block larger than one call can take.
            if (!write(reinterpret_cast<const uint8_t*>(at), blockBytes)) {
                return false;
            }
            at += static_cast<uintptr_t>(stride);
            --count;
            continue;
        }
        for (size_t i = 0; i < batch; ++i) {
            iov[i].iov_base = reinterpret_cast<void*>(at);
            at += static_cast<uintptr_t>(stride);
            iov[i].iov_len = blockBytes;
        }
        iovec* v = iov;
        size_t left = batch;
        while (left > 0) {
            const ssize_t n = ::writev(fd_, v, static_cast<int>(left));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            size_t done = static_cast<size_t>(n);
            while (left > 0 && done >= v->iov_len) {
                done -= v->iov_len;
                ++v;
                --left;
            }
            if (left > 0) {
                v->iov_base = static_cast<uint8_t*>(v->iov_base) + done;
                v->iov_len -= done;
            }
        }
        count -= batch;
    }
    return true;
}

bool OutputFile::close()
{
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

}  // namespace vkvx::frame
