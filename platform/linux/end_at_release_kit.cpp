#include "platform/linux/end_at_release_kit.hpp"

#include <algorithm>
#include <span>

#include "platform/linux/end_signals.hpp"

namespace platform::lnx {
namespace {

// A set bit drives its line high: key not pressed.
constexpr std::uint8_t kLinesHigh = 0xFF;

}  // namespace

iow::IowKitHandle EndAtReleaseKit::open_device() { return kit_.open_device(); }

std::uint32_t EndAtReleaseKit::write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                                  std::uint32_t length) {
  // The lines follow the report whether or not the write succeeds: a failed release
  // leaves nothing to wait for.
  if (pipe == 0 && length >= 2) {
    const std::span<const std::uint8_t> ports(report + 1, length - 1);
    signals_.set_key_held(std::any_of(ports.begin(), ports.end(), [](std::uint8_t b) { return b != kLinesHigh; }));
  }
  const std::uint32_t written = kit_.write(handle, pipe, report, length);
  signals_.end_if_requested();
  return written;
}

void EndAtReleaseKit::close_device(iow::IowKitHandle handle) { kit_.close_device(handle); }

}  // namespace platform::lnx
