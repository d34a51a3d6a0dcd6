#pragma once
// The end of the program asked for from outside (a signal, the console, the service
// manager) takes effect only at a moment no key of the sign is held: a pulse in
// progress completes with its release write first, so that no key line is ever left low.

#include "platform/iow.hpp"

namespace platform {

// Where such a request waits: the platform's end signals or end requests.
class PendingEnd {
 public:
  virtual ~PendingEnd() = default;
  // What the IO-Warrior last wrote: whether a key line is low. Program thread only.
  virtual void set_key_held(bool held) = 0;
  // Ends the program (platform::ProgramEnd) when an end was requested and no key is
  // held; returns otherwise. Program thread only.
  virtual void end_if_requested() = 0;
};

// An IO-Warrior that takes part in the requests: every write tells `end` whether a key
// line is low, and a write that leaves every line high ends the program when an end was
// requested. Wraps any IowKit, the real one or the simulated one.
class EndAtReleaseKit final : public iow::IowKit {
 public:
  EndAtReleaseKit(iow::IowKit& kit, PendingEnd& end) : kit_(kit), end_(end) {}

  iow::IowKitHandle open_device() override { return kit_.open_device(); }
  // Forwards the write, then throws platform::ProgramEnd when an end was requested and
  // the report left every line high.
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override;
  void close_device(iow::IowKitHandle handle) override { kit_.close_device(handle); }
  bool gone(iow::IowKitHandle handle) override { return kit_.gone(handle); }

 private:
  iow::IowKit& kit_;
  PendingEnd& end_;
};

}  // namespace platform
