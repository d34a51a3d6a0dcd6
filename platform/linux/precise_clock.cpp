#include "platform/linux/precise_clock.hpp"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/diagnostics.hpp"
#include "platform/linux/end_signals.hpp"
#include "platform/system_clock.hpp"

namespace platform::lnx {
namespace {

constexpr long kNanosPerSecond = 1'000'000'000;

// The kernel wakes a sleeper tens to hundreds of microseconds late, more on a virtual
// machine. A wait sleeps until this long before its deadline and spends the rest reading
// the clock: every hold time stays within microseconds of its length, for about this
// much CPU per wait (0.3 ms per 50 ms hold: well under 1% of a core while typing).
constexpr std::chrono::microseconds kWakeMargin{300};

timespec ToTimespec(iow::TimePoint time) {
  const auto ns = time.time_since_epoch().count();
  return {static_cast<time_t>(ns / kNanosPerSecond), static_cast<long>(ns % kNanosPerSecond)};
}

}  // namespace

PreciseClock::PreciseClock(EndSignals* signals) : signals_(signals) {
  // The default slack of 50 us would lengthen every hold time of the keys.
  if (::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) != 0) {
    Diagnostic(std::string("prctl(PR_SET_TIMERSLACK): ") + std::strerror(errno));
  }
}

iow::TimePoint PreciseClock::now() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return iow::TimePoint{iow::Duration{static_cast<iow::Duration::rep>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec}};
}

void PreciseClock::sleep_until(iow::TimePoint deadline) {
  if (signals_ != nullptr) signals_->end_if_requested();
  const iow::TimePoint wake = deadline - kWakeMargin;
  const timespec until = ToTimespec(wake);
  while (now() < wake) {
    const int error = ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    if (error == EINTR && signals_ != nullptr) signals_->end_if_requested();
    if (error != 0 && error != EINTR) {
      Diagnostic(std::string("clock_nanosleep: ") + std::strerror(error));
      SystemClock{}.sleep_until(wake);
    }
  }
  while (now() < deadline) {
    if (signals_ != nullptr) signals_->end_if_requested();
  }
}

double PreciseClock::time_of_day() { return SystemClock{}.time_of_day(); }

}  // namespace platform::lnx
