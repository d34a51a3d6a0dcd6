// The simulator's emulated sign on the Windows desktop.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/desktop.hpp"
#include "sim/sign_display.hpp"

// After the declaration above: winuser.h names its own OpenDesktop.
#include <windows.h>
#undef OpenDesktop

namespace {

using namespace std::chrono_literals;

constexpr platform::FormLayout kLayout{"Sign test", 9300, 2100, {"Messen", {120, 480, 4332, 732}},
                                       {"Ende", {5760, 480, 1332, 732}}};

// The sign runs on while the program sleeps in DELAY: its view is read again and again.
TEST(SignDisplay, KeepsRedrawingWhileTheProgramSleepsOnItsClock) {
  int views = 0;
  const auto desktop = platform::OpenDesktop(kLayout);
  ASSERT_NE(desktop, nullptr);
  const auto sign = sim::OpenSignDisplay(*desktop, [&views] {
    ++views;
    return sim::SignView{"CPU Temperatur : 45'C", false, ' '};
  });
  ASSERT_NE(sign, nullptr);
  desktop->window().show_form();
  sign->show();
  HWND window = FindWindowW(nullptr, L"LED-Laufschrift (emuliert)");
  EXPECT_NE(window, nullptr);

  const int shown = views;
  iow::Clock& clock = sign->clock();
  const iow::TimePoint deadline = clock.now() + 400ms;
  clock.sleep_until(deadline);
  EXPECT_GE(clock.now(), deadline);
  // 25 frames a second; a few are enough to tell a running sign from a frozen one.
  EXPECT_GE(views - shown, 4);
  // Nothing the sign did reached Form1's queue.
  EXPECT_FALSE(desktop->events().take_event().has_value());
}

}  // namespace
