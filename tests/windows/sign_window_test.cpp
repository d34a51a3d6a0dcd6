#include "platform/windows/sign_window.hpp"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/windows/windows_clock.hpp"

namespace platform::windows {
namespace {

using namespace std::chrono_literals;

void DispatchAll() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// The sign runs on while the program sleeps in DELAY: its view is read again and again.
TEST(SignWindow, KeepsRedrawingWhileTheClockSleeps) {
  int views = 0;
  SignWindow sign([&views] {
    ++views;
    return SignView{"CPU Temperatur : 45'C", false, ' '};
  });
  wchar_t title[64] = {};
  GetWindowTextW(sign.hwnd(), title, 64);
  EXPECT_STREQ(title, L"LED-Laufschrift (emuliert)");

  WindowsClock clock;
  clock.dispatch_while_sleeping(DispatchAll);
  sign.show(0, 0);
  const int shown = views;
  const iow::TimePoint deadline = clock.now() + 400ms;
  clock.sleep_until(deadline);
  EXPECT_GE(clock.now(), deadline);
  // 25 frames a second; a few are enough to tell a running sign from a frozen one.
  EXPECT_GE(views - shown, 4);
}

}  // namespace
}  // namespace platform::windows
