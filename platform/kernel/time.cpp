// Time: the millisecond tick counter, the local wall-clock time and Sleep.
#include <sched.h>
#include <time.h>
#include <windows.h>

#include <cerrno>

#include "kernel/clock.h"

uint64_t umbra::kernel::MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// Wraps at 32 bits (about 49.7 days), as on Windows.
DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(umbra::kernel::MonotonicMs()); }

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);  // 0 is Sunday on both sides
  lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);  // no leap seconds
  lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    sched_yield();  // gives up the rest of the time slice, as Sleep(0) does
    return;
  }
  const bool forever = dwMilliseconds == 0xFFFFFFFF;  // INFINITE
  timespec remaining{static_cast<time_t>(dwMilliseconds / 1000),
                     static_cast<long>(dwMilliseconds % 1000) * 1000000L};
  for (;;) {
    if (forever) remaining = timespec{3600, 0};
    // Signals interrupt nanosleep; Sleep always lasts its full time.
    if (nanosleep(&remaining, &remaining) == 0) {
      if (!forever) return;
    } else if (errno != EINTR) {
      return;
    }
  }
}
