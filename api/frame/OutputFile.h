// A file being written by the PPM and BMP writers: created with the rights a
// plain fopen(name, "wb") would give, written without stdio buffering (the
// writers hand over large blocks), and closed on every path.  All writes are
// complete or fail: a short write is an error.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vkvx::frame {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Creates or truncates the file; false when it cannot be created.
    bool create(const char* name);
    // Writes all count bytes; false on any error or short write.
    bool write(const void* data, size_t count);
    // Writes count blocks of blockBytes each, block i starting at
    // first + i * stride (stride may be negative), gathered into few calls.
    bool writeBlocks(const uint8_t* first, ptrdiff_t stride, size_t count, size_t blockBytes);
    // Closes the file; false when the system reports a write error on close.
    bool close();

private:
    int fd_ = -1;
};

}  // namespace vkvx::frame
