// The emulated LED sign on Windows: its window below Form1, kept drawn while the program
// sleeps by dispatching the thread's messages; Form1's window procedure only queues them.

#include "sim/sign_display.hpp"

#include <windows.h>

#include <chrono>

#include "platform/windows/windows_clock.hpp"
#include "sim/windows/sign_window.hpp"

namespace sim {
namespace {

// The gap between Form1 and the sign below it, in pixels.
constexpr int kSignGap = 20;
// The last stretch of a sleep is left to the desktop's clock: it is precise.
constexpr std::chrono::milliseconds kPreciseRest{2};

// The thread's visible top-level window that is not `except`: Form1.
HWND OtherVisibleWindow(HWND except) {
  struct Search {
    HWND except;
    HWND found;
  } search{except, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (hwnd == s->except || !IsWindowVisible(hwnd)) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
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
