#pragma once
// The real clock on Linux: CLOCK_MONOTONIC, and sleeps to absolute deadlines on it.

#include "platform/iow.hpp"

namespace platform::lnx {

class EndSignals;

class PreciseClock final : public iow::Clock {
 public:
  // Lowers the thread's timer slack to its minimum. With `signals`, a sleep that a
  // signal interrupts ends the program when no key is held (EndSignals).
  explicit PreciseClock(EndSignals* signals = nullptr);

  iow::TimePoint now() override;
  // Sleeps to just before the absolute deadline, then reads the clock until it passes;
  // wakes by signals go back to sleep. Never early. The deadline must be finite. May end
  // the program (ProgramEnd) on an end signal while no key is held.
  void sleep_until(iow::TimePoint deadline) override;
  double time_of_day() override;

 private:
  EndSignals* signals_;
};

}  // namespace platform::lnx
