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

double SystemClock::time_of_day() {
  const auto wall = std::chrono::system_clock::now();
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
