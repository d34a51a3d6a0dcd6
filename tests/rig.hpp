#pragma once
// A test rig: the system's procedures on simulated hardware and a virtual clock.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/iow.hpp"
#include "platform/window_state.hpp"
#include "sim/sign_emulator.hpp"
#include "sim/sim_clock.hpp"
#include "sim/sim_ite8705.hpp"
#include "sim/sim_iowarrior.hpp"

namespace testing_rig {

using std::chrono::milliseconds;

// Milliseconds of virtual time since the start.
inline double Ms(iow::TimePoint t) { return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count(); }

// One key press as the IO-Warrior saw it: the port-1 byte while held, when it was
// pressed, how long it was held, and the time since the release before it.
struct Press {
  std::uint8_t line_byte;
  double at_ms;
  double held_ms;
  double gap_ms;
};

// Reads the presses out of a write trace; every press must be released by 00 FF FF.
std::vector<Press> Presses(const std::vector<sim::WriteRecord>& writes);

// Forward presses (line 2) per text position: the presses between two accepts.
std::vector<int> ForwardPressesPerPosition(const std::vector<Press>& presses);

struct Rig {
  sim::SimClock clock{0.0};
  sim::SimIoWarrior iowarrior{clock};
  sim::SimIte8705 chip{{45}, {60}};
  sim::SignEmulator sign;
  iow::OutsideLibraries lib{iowarrior, chip, clock};
  WindowState w;

  Rig() {
    iowarrior.on_pins([this](iow::TimePoint t, std::span<const std::uint8_t> r) { sign.on_report(t, r); });
    w.DeviceHandle = iowarrior.open_device();
    chip.acquire(0x295, 2);
  }

  std::vector<Press> presses() const { return Presses(iowarrior.writes()); }
  double now_ms() { return Ms(clock.now()); }
};

}  // namespace testing_rig
