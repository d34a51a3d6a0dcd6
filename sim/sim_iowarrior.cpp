#include "sim/sim_iowarrior.hpp"

#include <algorithm>
#include <string>

#include "sim/event_log.hpp"

namespace sim {

iow::IowKitHandle SimIoWarrior::open_device() {
  ++open_calls_;
  const iow::IowKitHandle handle = present_ && !unplugged() && !open_ ? kHandle : 0;
  open_ = open_ || handle != 0;
  if (log_ != nullptr) log_->record("open", std::to_string(handle));
  return handle;
}

std::uint32_t SimIoWarrior::write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                                  std::uint32_t length) {
  // The model's pin report: the report given, every further port byte 0xFF.
  const std::vector<std::uint8_t> pins = platform::WidenPinReport({report, length}, model_->port_bytes);
  const std::span<const std::uint8_t> bytes = pins.empty() ? std::span<const std::uint8_t>(report, length) : pins;
  const bool unplugged = this->unplugged();
  // Pipe 0 takes exactly one pin report, and only on the open handle.
  const bool accepted =
      !reject_writes_ && !unplugged && open_ && handle == kHandle && pipe == 0 && !pins.empty();
  failures_.note(accepted, "IowKitWrite",
                 unplugged ? "IO-Warrior abgezogen (simuliert)" : "Schreiben vom IO-Warrior abgelehnt (simuliert)");
  if (keep_trace_) writes_.push_back({clock_.now(), pipe, {bytes.begin(), bytes.end()}, accepted});
  if (log_ != nullptr) {
    log_->record("write", std::to_string(pipe) + ' ' + HexBytes(bytes) + (accepted ? "" : " failed"));
  }
  if (!accepted) return 0;
  if (listener_) listener_(clock_.now(), bytes);
  return length;
}

void SimIoWarrior::close_device(iow::IowKitHandle handle) {
  ++close_calls_;
  if (handle == kHandle) open_ = false;
  if (log_ != nullptr) log_->record("close", std::to_string(handle));
}

bool SimIoWarrior::gone(iow::IowKitHandle handle) { return open_ && handle == kHandle && unplugged(); }

void SimIoWarrior::set_unplug_every(iow::Duration period) {
  unplug_period_ = period;
  if (period > iow::Duration::zero()) unplug_at_ = std::min(unplug_at_, iow::TimePoint{} + period);
}

void SimIoWarrior::plug_in() {
  if (!unplugged()) return;
  if (unplug_period_ <= iow::Duration::zero()) {
    unplug_at_ = iow::TimePoint::max();
    return;
  }
  const auto periods = clock_.now().time_since_epoch() / unplug_period_;
  unplug_at_ = iow::TimePoint{} + (periods + 1) * unplug_period_;
}

bool SimIoWarriorWatch::wait_until_gone(iow::TimePoint deadline) {
  const iow::TimePoint until = std::min(deadline, device_.unplug_at());
  if (until > clock_.now()) clock_.sleep_until(until);
  if (device_.gone(SimIoWarrior::kHandle)) return true;
  // Pulled out while no handle was open: nothing to notice before the deadline.
  if (deadline > clock_.now()) clock_.sleep_until(deadline);
  return false;
}

}  // namespace sim
