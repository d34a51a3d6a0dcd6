// libFuzzer target: the LED sign emulator fed arbitrary report sequences, and text
// entry typing arbitrary texts that the sign must read back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "display/key_pulses.hpp"
#include "display/text_entry.hpp"
#include "sim/sign_emulator.hpp"
#include "sim/sim_clock.hpp"
#include "sim/sim_ite8705.hpp"
#include "sim/sim_iowarrior.hpp"

namespace {

// Input: a mode byte, then either records of (gap in ms, report length, report bytes)
// for the emulator, or the text to type.
void FeedReports(std::span<const std::uint8_t> data) {
  sim::SignEmulator sign;
  iow::TimePoint now{};
  while (data.size() >= 2) {
    now += std::chrono::milliseconds{data[0] * 20};
    const std::size_t length = std::min<std::size_t>(data[1] % 5, data.size() - 2);
    sign.on_report(now, data.subspan(2, length));
    data = data.subspan(2 + length);
    if (sign.selected() < 0 || sign.selected() >= sim::SignEmulator::kRingSize) std::abort();
  }
}

void TypeText(std::span<const std::uint8_t> data) {
  sim::SimClock clock(0);
  sim::SimIoWarrior iowarrior(clock);
  iowarrior.set_keep_trace(false);
  sim::SignEmulator sign;
  iowarrior.on_pins([&](iow::TimePoint t, std::span<const std::uint8_t> r) { sign.on_report(t, r); });
  sim::SimIte8705 chip({45}, {60});
  iow::OutsideLibraries lib(iowarrior, chip, clock);
  WindowState w;
  w.DeviceHandle = iowarrior.open_device();
  display::ReleaseAllKeys(w, lib);
  w.DisplayText.assign(data.begin(), data.end());
  display::EnterText(w, lib);
  // Characters without a ring position come out as the character before them.
  std::string expected;
  char last = 'A';
  for (const char c : w.DisplayText) {
    if (display::RingIndexOf(static_cast<unsigned char>(c)) >= 0) last = c;
    expected += last;
  }
  if (sign.shown() != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> data(bytes + 1, size - 1);
  if (bytes[0] % 2 == 0) {
    FeedReports(data);
  } else if (data.size() <= 2000) {
    TypeText(data);
  }
  return 0;
}
