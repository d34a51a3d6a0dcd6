#pragma once
// The pause of the unattended modes on Windows: waits on the event of the read that
// HidIowKit keeps pending on the IO-Warrior, which ends with an error when the device is
// removed.

#include <windows.h>

#include "platform/device_loss.hpp"
#include "platform/windows/hid_iowkit.hpp"

namespace platform::windows {

class HidWatch final : public DeviceWatch {
 public:
  // Watches the device `kit` opened last, waiting on `clock` for the rest.
  HidWatch(HidIowKit& kit, iow::Clock& clock) : kit_(kit), clock_(clock) {}

  // Waits on the read's event until shortly before `deadline`, then on the clock, which
  // keeps the deadline exactly. Never early; true at once when the device is gone.
  bool wait_until_gone(iow::TimePoint deadline) override;

 private:
  HidIowKit& kit_;
  iow::Clock& clock_;
};

}  // namespace platform::windows
