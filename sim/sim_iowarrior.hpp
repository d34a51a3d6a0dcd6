#pragma once
// A simulated IO-Warrior of any model (an IO-Warrior 24 unless told otherwise): it
// widens each report written to the model's pin report, as the IO-Warrior library does,
// records it with its time and hands accepted pin reports to whatever is wired to the pins.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/device_loss.hpp"
#include "platform/iow.hpp"
#include "platform/iowarrior_models.hpp"
#include "platform/write_failure_log.hpp"

namespace sim {

class EventLog;

struct WriteRecord {
  iow::TimePoint time;
  std::uint32_t pipe;
  std::vector<std::uint8_t> bytes;
  bool accepted;
};

class SimIoWarrior final : public iow::IowKit {
 public:
  // The handle open_device hands out.
  static constexpr iow::IowKitHandle kHandle = 1;

  using PinListener = std::function<void(iow::TimePoint, std::span<const std::uint8_t>)>;

  explicit SimIoWarrior(iow::Clock& clock, EventLog* log = nullptr) : clock_(clock), log_(log) {}

  iow::IowKitHandle open_device() override;
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override;
  void close_device(iow::IowKitHandle handle) override;
  // The open handle once the device has been pulled out.
  bool gone(iow::IowKitHandle handle) override;

  // The model attached (its product ID and pin report length).
  void set_model(const platform::IowarriorModel& model) { model_ = &model; }
  const platform::IowarriorModel& model() const { return *model_; }
  // No IO-Warrior attached: open_device returns 0.
  void set_present(bool present) { present_ = present; }
  // Every write fails and reaches no pin.
  void set_reject_writes(bool reject) { reject_writes_ = reject; }
  // The device is pulled out at `at`: from then on every write fails and the handle is
  // gone, until plug_in.
  void set_unplug_at(iow::TimePoint at) { unplug_at_ = at; }
  // The device is pulled out every `period` from the start (at period, 2 period, ...),
  // each time until plug_in; the first time at set_unplug_at's moment if that is earlier.
  void set_unplug_every(iow::Duration period);
  // Plugs a device that was pulled out in again, once its handle is closed: open_device
  // finds it. The next unplug follows at the next multiple of the period.
  void plug_in();
  // When the device is pulled out next (or was, while it is out); TimePoint::max(): never.
  iow::TimePoint unplug_at() const { return unplug_at_; }
  // Whether writes() keeps every write; long runs may switch it off.
  void set_keep_trace(bool keep) { keep_trace_ = keep; }
  // Called with every accepted pin report.
  void on_pins(PinListener listener) { listener_ = std::move(listener); }

  const std::vector<WriteRecord>& writes() const { return writes_; }
  int open_calls() const { return open_calls_; }
  int close_calls() const { return close_calls_; }

 private:
  iow::Clock& clock_;
  EventLog* log_;
  const platform::IowarriorModel* model_ = &platform::IowarriorModels().front();
  PinListener listener_;
  std::vector<WriteRecord> writes_;
  platform::WriteFailureLog failures_;
  bool unplugged() const { return clock_.now() >= unplug_at_; }

  iow::TimePoint unplug_at_ = iow::TimePoint::max();
  iow::Duration unplug_period_{0};
  bool keep_trace_ = true;
  bool present_ = true;
  bool reject_writes_ = false;
  bool open_ = false;
  int open_calls_ = 0;
  int close_calls_ = 0;
};

// The wait of the unattended mode on the simulated IO-Warrior: sleeps on the simulated
// clock to the deadline or to the moment the device is pulled out, whichever is first.
class SimIoWarriorWatch final : public platform::DeviceWatch {
 public:
  SimIoWarriorWatch(SimIoWarrior& device, iow::Clock& clock) : device_(device), clock_(clock) {}

  bool wait_until_gone(iow::TimePoint deadline) override;

 private:
  SimIoWarrior& device_;
  iow::Clock& clock_;
};

}  // namespace sim
