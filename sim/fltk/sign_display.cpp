// The emulated LED sign on FLTK: red LEDs in a dot matrix below Form1, redrawn 25 times
// a second while the program sleeps or waits for events.

#include "sim/sign_display.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <chrono>

#include "sim/sign_frame.hpp"

namespace sim {
namespace {

constexpr double kFrameSeconds = 1.0 / 25.0;
// Space between Form1 and the sign, in pixels.
constexpr int kGap = 60;
// The last stretch of a sleep is left to the desktop's clock: it is precise, and its
// sleep is where an end signal takes effect.
constexpr std::chrono::milliseconds kPreciseRest{2};

double Seconds(iow::Duration d) { return std::chrono::duration<double>(d).count(); }

class SignWindow final : public Fl_Double_Window {
 public:
  SignWindow(iow::Clock& clock, std::function<SignView()> view)
      : Fl_Double_Window(kSignWidth, kSignHeight), frames_(clock, std::move(view)) {
    copy_label(kSignTitle);
    end();
  }

  ~SignWindow() override { Fl::remove_timeout(Tick, this); }

  void start(int x, int y) {
    position(x, y);
    show();
    Tick(this);
  }

  void draw() override {
    fl_rectf(0, 0, w(), h(), FL_BLACK);
    const auto& columns = frames_.columns();
    for (std::size_t column = 0; column < columns.size(); ++column) {
      for (int row = 0; row < kSignRows; ++row) {
        const bool lit = (columns[column] >> row) & 1U;
        fl_color(lit ? fl_rgb_color(255, 40, 30) : fl_rgb_color(70, 8, 8));
        fl_pie(kSignMargin + static_cast<int>(column) * kLedPitch, kSignMargin + row * kLedPitch, kLedSize, kLedSize,
               0, 360);
      }
    }
  }

 private:
  static void Tick(void* data) {
    auto* self = static_cast<SignWindow*>(data);
    if (self->frames_.advance()) self->redraw();
    Fl::repeat_timeout(kFrameSeconds, Tick, data);
  }

  SignFrames frames_;
};

class FltkSignDisplay final : public SignDisplay, public iow::Clock {
 public:
  FltkSignDisplay(platform::Desktop& desktop, std::function<SignView()> view)
      : desktop_clock_(desktop.clock()), window_(desktop.clock(), std::move(view)) {}

  void show() override {
    // Form1 is the shown window that is not the sign.
    for (Fl_Window* window = Fl::first_window(); window != nullptr; window = Fl::next_window(window)) {
      if (window != &window_) {
        window_.start(window->x(), window->y() + window->h() + kGap);
        return;
      }
    }
    window_.start(0, 0);
  }

  iow::Clock& clock() override { return *this; }
  void set_after_wait(std::function<void()> after_wait) override { after_wait_ = std::move(after_wait); }

  iow::TimePoint now() override { return desktop_clock_.now(); }
  double time_of_day() override { return desktop_clock_.time_of_day(); }

  // Runs the toolkit until just before the deadline, then leaves the rest to the
  // desktop's precise clock.
  void sleep_until(iow::TimePoint deadline) override {
    for (iow::TimePoint now = desktop_clock_.now(); now + kPreciseRest < deadline; now = desktop_clock_.now()) {
      Fl::wait(Seconds(deadline - kPreciseRest - now));
      if (after_wait_) after_wait_();
    }
    desktop_clock_.sleep_until(deadline);
  }

 private:
  iow::Clock& desktop_clock_;
  SignWindow window_;
  std::function<void()> after_wait_;
};

}  // namespace

std::unique_ptr<SignDisplay> OpenSignDisplay(platform::Desktop& desktop, std::function<SignView()> view) {
  return std::make_unique<FltkSignDisplay>(desktop, std::move(view));
}

}  // namespace sim
