#pragma once
// An IO-Warrior that takes part in the end requests: every write tells EndRequest whether
// a key line is low, and a write that leaves every line high ends the program when an end
// was requested. Wraps any IowKit, the real one or the simulated one.

#include "platform/iow.hpp"

namespace platform::windows {

class EndRequest;

class EndAtReleaseKit final : public iow::IowKit {
 public:
  EndAtReleaseKit(iow::IowKit& kit, EndRequest& end) : kit_(kit), end_(end) {}

  iow::IowKitHandle open_device() override { return kit_.open_device(); }
  // Forwards the write, then throws platform::ProgramEnd when an end was requested and
  // the report left every line high.
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override;
  void close_device(iow::IowKitHandle handle) override { kit_.close_device(handle); }
  bool gone(iow::IowKitHandle handle) override { return kit_.gone(handle); }

 private:
  iow::IowKit& kit_;
  EndRequest& end_;
};

}  // namespace platform::windows
