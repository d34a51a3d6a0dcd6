#include "platform/windows/service/end_at_release_kit.hpp"

#include <algorithm>
#include <span>

#include "platform/windows/service/end_request.hpp"

namespace platform::windows {
namespace {

// A set bit drives its line high: key not pressed.
constexpr std::uint8_t kLinesHigh = 0xFF;

}  // namespace

std::uint32_t EndAtReleaseKit::write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                                     std::uint32_t length) {
  // The lines follow the report whether or not the write succeeds: a failed release
  // leaves nothing to wait for.
  if (pipe == 0 && length >= 2) {
    const std::span<const std::uint8_t> ports(report + 1, length - 1);
    end_.set_key_held(std::any_of(ports.begin(), ports.end(), [](std::uint8_t b) { return b != kLinesHigh; }));
  }
  const std::uint32_t written = kit_.write(handle, pipe, report, length);
  end_.end_if_requested();
  return written;
}

}  // namespace platform::windows
