// The in-use lock of an instrument: an exclusive, non-blocking flock on a lock
// file named after the serial number in a per-user runtime folder
// ($XDG_RUNTIME_DIR/vkvx/, else /tmp/vkvx-<uid>/).  It is held while the
// device is open, excludes a second open in this or any other process, and
// the kernel releases it when the holding process ends.
#pragma once

#include <string>

namespace vkvx {

class InUseLock {
public:
    // Takes the lock for serial; nullptr when the device is in use (or the
    // lock file cannot be created, which is reported the same way).
    static InUseLock* take(const char* serial);
    // True when the lock for serial is free now; takes and releases it.
    static bool probe(const char* serial);
    // The lock file path for serial (characters outside [A-Za-z0-9._-] are
    // escaped as %XX so that a serial can never name another path).
    static std::string pathFor(const char* serial);

    ~InUseLock();
    InUseLock(const InUseLock&) = delete;
    InUseLock& operator=(const InUseLock&) = delete;

private:
    explicit InUseLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace vkvx
