// The one monotonic clock the stand-in reads: GetTickCount and the message queue's timers both
// count from it, so a timer due "now" agrees with the tick count.
#pragma once

#include <cstdint>

namespace umbra::kernel {

// Milliseconds of CLOCK_MONOTONIC; never wraps.
uint64_t MonotonicMs();

}  // namespace umbra::kernel
