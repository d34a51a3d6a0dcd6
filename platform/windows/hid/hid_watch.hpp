#pragma once
// The pause of the unattended modes on Windows: waits on the event of the read that
// HidIowKit keeps pending on the IO-Warrior, which ends with an error when Windows
// removes the device, and on the end requests of the console and the service; and looks
// at least once a second whether the device's interface is still present.

#include <windows.h>

#include "platform/device_loss.hpp"
#include "platform/windows/hid/hid_iowkit.hpp"

namespace platform::windows {

class EndRequest;

class HidWatch final : public DeviceWatch {
 public:
  // Watches the device `kit` opened last, waiting on `clock` for the rest; a request on
  // `end` (may be null) ends the wait as the clock's sleeps end.
  HidWatch(HidIowKit& kit, iow::Clock& clock, EndRequest* end = nullptr) : kit_(kit), clock_(clock), end_(end) {}

  // Waits on the read's event until shortly before `deadline`, then on the clock, which
  // keeps the deadline exactly, looking for the device at least once a second. Never
  // early; true within about a second when the device is gone.
  bool wait_until_gone(iow::TimePoint deadline) override;

 private:
  HidIowKit& kit_;
  iow::Clock& clock_;
  EndRequest* end_;
};

}  // namespace platform::windows
