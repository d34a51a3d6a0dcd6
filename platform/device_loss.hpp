#pragma once
// The unattended modes (lumatext --headless, the service): nobody watches the sign, so a
// lost IO-Warrior ends the program (DeviceGone) and its supervisor starts it again,
// instead of the program typing into nothing for ever. The windowed program uses none
// of this: there a failed write is ignored and the sequence goes on.

#include "platform/iow.hpp"
#include "platform/program_end.hpp"

namespace platform {

// An IO-Warrior whose loss ends the program: a write that fails because the device is
// gone throws DeviceGone; any other failure is returned as the kit returns it.
class EndOnDeviceLoss final : public iow::IowKit {
 public:
  explicit EndOnDeviceLoss(iow::IowKit& kit) : kit_(kit) {}

  iow::IowKitHandle open_device() override { return kit_.open_device(); }
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override {
    const std::uint32_t written = kit_.write(handle, pipe, report, length);
    if (written == 0 && kit_.gone(handle)) throw DeviceGone{};
    return written;
  }
  void close_device(iow::IowKitHandle handle) override { kit_.close_device(handle); }
  bool gone(iow::IowKitHandle handle) override { return kit_.gone(handle); }

 private:
  iow::IowKit& kit_;
};

// Waiting that also watches the IO-Warrior, so that a device lost during a pause is
// noticed at once rather than at the next write.
class DeviceWatch {
 public:
  virtual ~DeviceWatch() = default;
  // Blocks until the clock reaches `deadline` or the device the kit has open is gone,
  // whichever comes first, without spinning; returns whether the device is gone.
  // TimePoint::max() waits for the device only. May end the program (ProgramEnd) as the
  // clock's sleeps do.
  virtual bool wait_until_gone(iow::TimePoint deadline) = 0;
};

}  // namespace platform
