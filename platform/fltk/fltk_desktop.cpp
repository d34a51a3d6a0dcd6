#include "platform/fltk/fltk_desktop.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <string>

#include "platform/diagnostics.hpp"

namespace platform::fltk {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr float kDefaultDpi = 96.0F;
// A wait with nothing to end it but an event.
constexpr double kLongWait = 1e6;
// Space a button's frame and a little air take from its caption's width.
constexpr int kCaptionPadding = 12;
constexpr int kSmallestCaptionSize = 8;

double Seconds(iow::Duration d) { return std::chrono::duration<double>(d).count(); }

// Runs the toolkit until `clock` reaches `deadline` or `done` holds, checking for end
// signals before every wait. Toolkit events only join the program's queue meanwhile.
void RunToolkitUntil(iow::Clock& clock, iow::TimePoint deadline, const std::function<void()>& end_check,
                     const std::function<bool()>& done) {
  for (;;) {
    end_check();
    if (done()) return;
    const iow::TimePoint now = clock.now();
    if (now >= deadline) return;
    Fl::wait(deadline == iow::TimePoint::max() ? kLongWait : Seconds(deadline - now));
  }
}

// A push button that Return clicks as well as Space while it has the focus.
class KeyButton final : public Fl_Button {
 public:
  KeyButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {}

  int handle(int event) override {
    if (event == FL_KEYBOARD && Fl::focus() == this &&
        (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter) &&
        (Fl::event_state() & (FL_SHIFT | FL_CTRL | FL_ALT | FL_META)) == 0) {
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
};

class FltkDesktop final : public Desktop, public EventQueue, public WindowSystem {
 public:
  FltkDesktop(const FormLayout& form, const Machine& machine)
      : layout_(form), end_check_(machine.end_check ? machine.end_check : [] {}), wake_fd_(machine.wake_fd),
        clock_(*machine.clock) {
    build_form();
    // A wake-up only ends the current wait; the check after it does the rest.
    if (wake_fd_ >= 0) Fl::add_fd(wake_fd_, FL_READ, OnWake, this);
  }

  ~FltkDesktop() override {
    if (wake_fd_ >= 0) Fl::remove_fd(wake_fd_);
    form_.reset();
  }

  EventQueue& events() override { return *this; }
  WindowSystem& window() override { return *this; }
  iow::Clock& clock() override { return clock_; }

  std::optional<WindowEvent> take_event() override {
    Fl::check();
    end_check_();
    if (queue_.empty()) return std::nullopt;
    const WindowEvent event = queue_.front();
    queue_.pop_front();
    return event;
  }

  void wait_event(iow::TimePoint deadline) override {
    RunToolkitUntil(clock_, deadline, end_check_, [this] { return !queue_.empty(); });
  }

  void show_form() override {
    form_->show();
    messen_->take_focus();
    Fl::flush();
  }

  void message_box(std::string_view text, std::string_view title) override;

 private:
  void build_form();
  int pixels(int twips, float dpi) const { return static_cast<int>(std::lround(twips * static_cast<double>(dpi) / kTwipsPerInch)); }
  void push(WindowEvent event) { queue_.push_back(event); }

  static void OnWake(int fd, void*) { Fl::remove_fd(fd); }
  static void OnMessen(Fl_Widget*, void* self) { static_cast<FltkDesktop*>(self)->push(WindowEvent::MessenClick); }
  static void OnEnde(Fl_Widget*, void* self) { static_cast<FltkDesktop*>(self)->push(WindowEvent::EndeClick); }
  static void OnClose(Fl_Widget*, void* self) {
    // Escape is no way to close Form1: it has no cancel button.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    static_cast<FltkDesktop*>(self)->push(WindowEvent::Unload);
  }

  FormLayout layout_;
  std::function<void()> end_check_;
  int wake_fd_;
  iow::Clock& clock_;
  std::deque<WindowEvent> queue_;
  std::unique_ptr<Fl_Double_Window> form_;
  KeyButton* messen_ = nullptr;
  KeyButton* ende_ = nullptr;
};

void FltkDesktop::build_form() {
  const FormLayout& layout = layout_;
  float dpi = kDefaultDpi;
  float vertical = kDefaultDpi;
  Fl::screen_dpi(dpi, vertical);
  // X servers give the screen's size in whole millimetres, so the resolution comes out
  // a little off (95.9 for 96); some report nonsense.
  dpi = std::round(dpi);
  if (!(dpi >= 48.0F && dpi <= 480.0F)) dpi = kDefaultDpi;

  form_ = std::make_unique<Fl_Double_Window>(60, 60, pixels(layout.client_width, dpi),
                                             pixels(layout.client_height, dpi));
  form_->copy_label(std::string(layout.title).c_str());
  const auto button = [&](const ButtonLayout& b, Fl_Callback* callback) {
    auto* widget = new KeyButton(pixels(b.rect.left, dpi), pixels(b.rect.top, dpi), pixels(b.rect.width, dpi),
                                 pixels(b.rect.height, dpi));
    widget->copy_label(std::string(b.caption).c_str());
    widget->callback(callback, this);
    return widget;
  };
  // Children in tab order.
  messen_ = button(layout.messen, OnMessen);
  ende_ = button(layout.ende, OnEnde);
  form_->end();
  form_->callback(OnClose, this);

  // The captions share the largest standard size at which each fits its button on one
  // line, as dialog fonts are smaller than FLTK's default; wrapped if none does.
  int size = FL_NORMAL_SIZE;
  const auto fits = [&](const KeyButton* b, int at) {
    fl_font(b->labelfont(), at);
    return static_cast<int>(std::ceil(fl_width(b->label()))) + kCaptionPadding <= b->w();
  };
  while (size > kSmallestCaptionSize && !(fits(messen_, size) && fits(ende_, size))) --size;
  for (KeyButton* b : {messen_, ende_}) {
    b->labelsize(size);
    if (!fits(b, size)) b->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  }
}

void FltkDesktop::message_box(std::string_view text, std::string_view title) {
  const std::string message(text);
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  int text_w = 0;
  int text_h = 0;
  fl_measure(message.c_str(), text_w, text_h, 0);
  constexpr int kMargin = 20;
  constexpr int kButtonW = 90;
  constexpr int kButtonH = 26;
  const int w = std::max(text_w + 2 * kMargin, kButtonW + 2 * kMargin);
  const int h = kMargin + text_h + kMargin + kButtonH + kMargin / 2;
  int sx = 0;
  int sy = 0;
  int sw = 0;
  int sh = 0;
  Fl::screen_xywh(sx, sy, sw, sh);

  Fl_Double_Window dialog(sx + (sw - w) / 2, sy + (sh - h) / 3, w, h);
  dialog.copy_label(std::string(title).c_str());
  Fl_Box label(kMargin, kMargin, text_w, text_h);
  label.copy_label(message.c_str());
  label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  Fl_Return_Button ok((w - kButtonW) / 2, h - kButtonH - kMargin / 2, kButtonW, kButtonH, "OK");
  ok.callback([](Fl_Widget* b, void*) { b->window()->hide(); });
  dialog.end();
  dialog.set_modal();
  dialog.show();
  ok.take_focus();
  while (dialog.shown()) {
    Fl::wait(kLongWait);
    end_check_();
  }
}

}  // namespace

std::unique_ptr<Desktop> OpenFltkDesktop(const FormLayout& form, const Machine& machine) {
  // FLTK keeps one display for the process.
  if (fl_display != nullptr) return std::make_unique<FltkDesktop>(form, machine);
  // FLTK ends the process when it cannot open the display; open it here to say why.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = std::getenv("DISPLAY");
    Diagnostic(std::string("das X-Display \u201e") + (name != nullptr ? name : "") +
               "\u201c l\u00e4sst sich nicht \u00f6ffnen (DISPLAY gesetzt, l\u00e4uft ein X-Server oder XWayland?)");
    return nullptr;
  }
  fl_open_display(display);
  return std::make_unique<FltkDesktop>(form, machine);
}

}  // namespace platform::fltk
