#include "platform/system_clock.hpp"

#include <chrono>
#include <ctime>
#include <thread>

namespace platform {

iow::TimePoint SystemClock::now() {
  return std::chrono::time_point_cast<iow::Duration>(std::chrono::steady_clock::now());
}

void SystemClock::sleep_until(iow::TimePoint deadline) {
  // sleep_until may wake early on some systems; go back to sleep until the deadline.
  while (now() < deadline) std::this_thread::sleep_until(deadline);
}

#ifndef _WIN32
// A 32-bit time_t ends in January 2038; 32-bit Linux builds ask glibc for a 64-bit one
// (_TIME_BITS=64).
static_assert(sizeof(std::time_t) >= 8, "time_t must be 64 bits wide: build with -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64");
#endif

double SystemClock::time_of_day() { return LocalTimeOfDay(std::chrono::system_clock::now()); }

double LocalTimeOfDay(std::chrono::system_clock::time_point wall) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(wall);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  const auto fraction = wall - std::chrono::system_clock::from_time_t(seconds);
  const double whole = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  return whole + std::chrono::duration<double>(fraction).count();
}

}  // namespace platform
