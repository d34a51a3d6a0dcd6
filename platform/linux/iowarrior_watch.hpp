#pragma once
// The pause of the unattended modes on Linux: poll(2) on the IO-Warrior's node, which
// the iowarrior driver reports hung up (POLLHUP | POLLERR) once its device is gone,
// together with the end signals' wake-up pipe.

#include <cstdint>
#include <string>

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

// Whether an IO-Warrior's pins node is there for this process to open: a node
// "iowarrior<N>" in `node_dir` that it may read and write (udev gives the node its group
// only after the kernel made it), that is not the node of inode `lost` (a lost device's
// node outlives the failed write by a moment; plugged in again it is made anew), and
// whose USB interface, as `class_dir`/iowarrior<N>/device shows it, is interface 0 of an
// IO-Warrior. A node sysfs says nothing of counts as one.
bool IowarriorPinsNodeReady(std::uint64_t lost = 0, const std::string& node_dir = "/dev/usb",
                            const std::string& class_dir = "/sys/class/usbmisc");

// Blocks until IowarriorPinsNodeReady(lost), looking twice a second and sleeping in
// between. With `signals`, an end signal ends the wait (platform::ProgramEnd{128 +
// signal}): call it only with no IO-Warrior open, when no key of ours can be held.
void AwaitIowarriorPinsNode(std::uint64_t lost, EndSignals* signals);

}  // namespace platform::lnx
