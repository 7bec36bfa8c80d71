// Hooks into the running logger for the library's own tests and benchmarks;
// nothing else calls them.  Each does nothing (or answers 0) while logging
// is off.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vkvx::log::testing {

// While held, the sender thread leaves the ring alone, so that records pile
// up as they would behind a slow network.  stop() releases the hold.
void holdSender(bool hold);
// Records queued and not yet sent.
size_t queued();
// The lost counter.
uint32_t lost();

}  // namespace vkvx::log::testing
