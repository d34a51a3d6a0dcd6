// How late DELAY returns on this machine: 200 waits of 50 ms on the clock lumatext
// uses, the overshoot's median, 99th percentile and maximum, and whether any wait
// ended early. Not a test: the numbers depend on the machine and its load (and under
// Wine they say nothing about Windows).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/desktop.hpp"

int main() {
  constexpr int kWaits = 200;
  constexpr std::chrono::milliseconds kHold{50};
  const auto clock = platform::OpenRealClock();
  std::vector<double> late_us;
  int early = 0;
  for (int i = 0; i < kWaits; ++i) {
    const iow::TimePoint deadline = clock->now() + kHold;
    clock->sleep_until(deadline);
    const auto late = clock->now() - deadline;
    if (late.count() < 0) ++early;
    late_us.push_back(std::chrono::duration<double, std::micro>(late).count());
  }
  std::sort(late_us.begin(), late_us.end());
  std::printf("%d waits of %lld ms: overshoot median %.0f us, 99th percentile %.0f us, max %.0f us; early %d\n",
              kWaits, static_cast<long long>(kHold.count()), late_us[kWaits / 2], late_us[kWaits * 99 / 100],
              late_us.back(), early);
  return early == 0 ? 0 : 1;
}
