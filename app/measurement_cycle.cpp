// The measurement cycle of Form1: the two readings in turn, each typed into the
// sign and followed by a pause of one minute.

#include <cmath>
#include <cstdint>

#include "app/form1.hpp"
#include "display/text_entry.hpp"
#include "monitor/sensor_readings.hpp"

namespace app {
namespace {

// Unwinds a running cycle to its start when Messen is clicked during a pause, so
// that restarts never nest.
struct CycleRestart {};

// Rounds to the nearest whole second, a half going to the even neighbour.
std::int32_t RoundHalfEven(double seconds) {
  double whole = std::floor(seconds);
  const double fraction = seconds - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<std::int32_t>(whole);
}

}  // namespace

void Form1::MessenClick() {
  if (cycle_running_) throw CycleRestart{};
  cycle_running_ = true;
  MeasurementCycle();
}

void Form1::MeasurementCycle() {
  for (;;) {
    try {
      for (;;) {
        monitor::ReadTemperatureText(state_, lib_);
        display::EnterText(state_, lib_);
        PauseOneMinute();
        monitor::ReadFanSpeedText(state_, lib_);
        display::EnterText(state_, lib_);
        PauseOneMinute();
      }
    } catch (const CycleRestart&) {
      // Start again with a fresh temperature reading; the interrupted cycle is gone.
    }
  }
}

void Form1::PauseOneMinute() {
  // The pause ends 60 s after its start second, the time of day rounded half to
  // even. The deadline is kept on the monotonic clock so that midnight or a clock
  // set meanwhile neither stretches nor cuts it.
  iow::Clock& clock = lib_.clock();
  const iow::TimePoint called = clock.now();
  const double time_of_day = clock.time_of_day();
  const std::int32_t start_second = RoundHalfEven(time_of_day);
  const std::int32_t end_second = start_second + static_cast<std::int32_t>(kPause.count());
  const std::chrono::duration<double> remaining{end_second - time_of_day};
  const iow::TimePoint deadline = called + std::chrono::duration_cast<iow::Duration>(remaining);
  while (clock.now() < deadline) {
    HandleWaitingEvents();
    events_.wait_event(deadline);
  }
}

}  // namespace app
