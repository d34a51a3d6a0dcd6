#pragma once
// An IO-Warrior that takes part in the end signals: every write tells EndSignals whether
// a key line is low, and a write that leaves every line high ends the program when a
// signal asked for it. Wraps any IowKit, the real one or the simulated one.

#include "platform/iow.hpp"

namespace platform::lnx {

class EndSignals;

class EndAtReleaseKit final : public iow::IowKit {
 public:
  EndAtReleaseKit(iow::IowKit& kit, EndSignals& signals) : kit_(kit), signals_(signals) {}

  iow::IowKitHandle open_device() override;
  // Forwards the write, then throws platform::ProgramEnd when a signal asked the program
  // to end and the report left every line high.
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override;
  void close_device(iow::IowKitHandle handle) override;
  bool gone(iow::IowKitHandle handle) override { return kit_.gone(handle); }

 private:
  iow::IowKit& kit_;
  EndSignals& signals_;
};

}  // namespace platform::lnx
