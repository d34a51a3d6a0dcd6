#pragma once
// The pause of the unattended modes on Linux: poll(2) on the IO-Warrior's node, which
// the iowarrior driver reports hung up (POLLHUP | POLLERR) once its device is gone,
// together with the end signals' wake-up pipe.

#include "platform/device_loss.hpp"

namespace platform::lnx {

class EndSignals;
class LinuxIowKit;

class IowarriorWatch final : public DeviceWatch {
 public:
  // Watches the node `kit` has open at each wait; with `signals`, an end signal ends the
  // wait as it ends the clock's sleeps.
  IowarriorWatch(LinuxIowKit& kit, iow::Clock& clock, EndSignals* signals = nullptr)
      : kit_(kit), clock_(clock), signals_(signals) {}

  // Polls until shortly before `deadline`, then sleeps the rest on the clock, which keeps
  // the deadline exactly. Never early; returns true at once when the device is gone.
  // May end the program (ProgramEnd) on an end signal while no key is held.
  bool wait_until_gone(iow::TimePoint deadline) override;

 private:
  LinuxIowKit& kit_;
  iow::Clock& clock_;
  EndSignals* signals_;
};

}  // namespace platform::lnx
