// The emulated LED sign on Windows: its window below Form1, kept drawn while the program
// sleeps by dispatching the thread's messages; Form1's window procedure only queues them.

#include "sim/sign_display.hpp"

#include <windows.h>

#include <chrono>

#include "platform/windows/clock/windows_clock.hpp"
#include "sim/windows/sign_window.hpp"

namespace sim {
namespace {

// The gap between Form1 and the sign below it, in pixels.
constexpr int kSignGap = 20;
// The last stretch of a sleep is left to the desktop's clock: it is precise.
constexpr std::chrono::milliseconds kPreciseRest{2};

struct WindowSearch {
  HWND except;
  HWND found;
};

// EnumThreadWindows' callback: a named CALLBACK function, since a lambda converts only
// to a pointer of the default calling convention, which on 32-bit Windows is not stdcall.
BOOL CALLBACK TakeVisibleWindow(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  if (hwnd == search->except || !IsWindowVisible(hwnd)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The thread's visible top-level window that is not `except`: Form1.
HWND OtherVisibleWindow(HWND except) {
  WindowSearch search{except, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), TakeVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class WindowsSignDisplay final : public SignDisplay, public iow::Clock {
 public:
  WindowsSignDisplay(platform::Desktop& desktop, std::function<SignView()> view)
      : desktop_clock_(desktop.clock()), window_(desktop.clock(), std::move(view)) {}

  void show() override {
    RECT frame{};
    HWND form = OtherVisibleWindow(window_.hwnd());
    if (form != nullptr) GetWindowRect(form, &frame);
    window_.show(frame.left, frame.bottom + kSignGap);
  }

  iow::Clock& clock() override { return *this; }
  void set_after_wait(std::function<void()> after_wait) override { after_wait_ = std::move(after_wait); }

  iow::TimePoint now() override { return desktop_clock_.now(); }
  double time_of_day() override { return desktop_clock_.time_of_day(); }

  void sleep_until(iow::TimePoint deadline) override {
    for (;;) {
      platform::windows::DispatchWaitingMessages();
      if (after_wait_) after_wait_();
      const iow::TimePoint now = desktop_clock_.now();
      if (now + kPreciseRest >= deadline) break;
      platform::windows::WaitForTimerOrMessages(timer_, deadline - kPreciseRest - now, true);
    }
    desktop_clock_.sleep_until(deadline);
  }

 private:
  iow::Clock& desktop_clock_;
  windows::SignWindow window_;
  platform::windows::PreciseTimer timer_;
  std::function<void()> after_wait_;
};

}  // namespace

std::unique_ptr<SignDisplay> OpenSignDisplay(platform::Desktop& desktop, std::function<SignView()> view) {
  return std::make_unique<WindowsSignDisplay>(desktop, std::move(view));
}

}  // namespace sim
