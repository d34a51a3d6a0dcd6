#include "sim/sim_clock.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/diagnostics.hpp"

namespace sim {
namespace {

constexpr double kSecondsPerDay = 86400.0;

}  // namespace

SimClock::SimClock(double start_time_of_day, double speed, iow::Clock* real)
    : start_time_of_day_(start_time_of_day), speed_(speed), real_(real) {
  if (speed_ < 0 || (speed_ > 0 && real_ == nullptr)) throw std::invalid_argument("SimClock: speed");
  if (real_ != nullptr) real_anchor_ = real_->now();
}

void SimClock::note_read() {
  if (++reads_without_progress_ < kStandstillReads) return;
  platform::Diagnostic("SimClock: die virtuelle Zeit steht still: " + std::to_string(kStandstillReads) +
                       " Mal in Folge gelesen, ohne dass ein Schlaf sie voranbringt; eine Schleife wartet auf "
                       "die Zeit, ohne zu schlafen (fragt eine Pause die Uhr nur ab?)");
  std::abort();
}

iow::TimePoint SimClock::now() {
  if (speed_ == 0) {
    note_read();
    return virtual_now_;
  }
  const auto real_elapsed = real_->now() - real_anchor_;
  const auto scaled = std::chrono::duration_cast<iow::Duration>(
      std::chrono::duration<double, std::nano>(static_cast<double>(real_elapsed.count()) * speed_));
  return std::min(virtual_now_ + scaled, limit_);
}

void SimClock::sleep_until(iow::TimePoint deadline) {
  const bool beyond_limit = deadline > limit_;
  const iow::TimePoint target = std::min(deadline, limit_);
  if (target == iow::TimePoint::max()) throw TimeLimitReached{now()};
  if (speed_ == 0) {
    if (target > virtual_now_) {
      virtual_now_ = target;
      reads_without_progress_ = 0;
    }
  } else if (target > now()) {
    // The real clock wakes late, and N times faster that lateness would stretch every
    // simulated hold N-fold: simulated time resumes exactly at the deadline instead,
    // falling behind real time rather than running ahead of the schedule.
    if (before_real_wait_) before_real_wait_();
    real_->sleep_until(real_deadline(target));
    virtual_now_ = target;
    real_anchor_ = real_->now();
  }
  if (beyond_limit) {
    limit_ = iow::TimePoint::max();
    throw TimeLimitReached{target};
  }
}

iow::TimePoint SimClock::real_deadline(iow::TimePoint deadline) const {
  if (deadline == iow::TimePoint::max() || speed_ == 0) return iow::TimePoint::max();
  const double real_ns = static_cast<double>((std::min(deadline, limit_) - virtual_now_).count()) / speed_;
  // Rounded up so that the scaled real time never falls short of the deadline.
  return real_anchor_ + iow::Duration{static_cast<iow::Duration::rep>(std::ceil(real_ns))};
}

double SimClock::time_of_day() {
  const double elapsed = std::chrono::duration<double>(now().time_since_epoch()).count();
  return std::fmod(start_time_of_day_ + elapsed, kSecondsPerDay);
}

void SimClock::set_time_of_day(double seconds) {
  const double elapsed = std::chrono::duration<double>(now().time_since_epoch()).count();
  start_time_of_day_ = std::fmod(seconds - elapsed + kSecondsPerDay * 1000, kSecondsPerDay);
}

}  // namespace sim
