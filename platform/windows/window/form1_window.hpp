#pragma once
// The window Form1 in the plain Win32 API, and its event queue.
//
// The window procedure only turns clicks and the close box into WindowEvents and keeps
// them in the queue; the program takes them from there. Messages are dispatched only
// while the program asks for events or shows a message box.

#include <windows.h>

#include <deque>
#include <optional>

#include "platform/form_layout.hpp"
#include "platform/window_system.hpp"
#include "platform/windows/clock/windows_clock.hpp"

namespace platform::windows {

// Control IDs of the buttons; clear of IDOK and IDCANCEL, which dialog navigation sends.
inline constexpr int kMessenId = 101;
inline constexpr int kEndeId = 102;

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, unsigned dpi);

// Makes the process per-monitor dpi aware (version 2 where Windows has it); call
// before the first window is created.
void UsePerMonitorDpi();

class Form1Window final : public EventQueue, public WindowSystem {
 public:
  // Creates Form1 hidden, as `form` describes it. `clock` is the desktop's clock.
  Form1Window(const FormLayout& form, iow::Clock& clock);
  ~Form1Window() override;
  Form1Window(const Form1Window&) = delete;
  Form1Window& operator=(const Form1Window&) = delete;

  std::optional<WindowEvent> take_event() override;
  void wait_event(iow::TimePoint deadline) override;
  void show_form() override;
  void message_box(std::string_view text, std::string_view title) override;

  HWND hwnd() const { return hwnd_; }
  HWND messen() const { return messen_; }
  HWND ende() const { return ende_; }
  // The dpi the window is laid out for.
  unsigned dpi() const { return dpi_; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

  // Sizes the window, places the buttons and sets their font for `dpi`.
  void lay_out(unsigned dpi);

  FormLayout form_;
  iow::Clock& clock_;
  PreciseTimer timer_;
  HWND hwnd_ = nullptr;
  HWND messen_ = nullptr;
  HWND ende_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was last deactivated
  HFONT font_ = nullptr;
  unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::deque<WindowEvent> events_;
};

}  // namespace platform::windows
