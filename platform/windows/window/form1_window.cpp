#include "platform/windows/window/form1_window.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

#include "platform/windows/base/library_symbol.hpp"
#include "platform/windows/base/user_advice.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"
#include "platform/windows/window/window_object.hpp"

namespace platform::windows {
namespace {

constexpr wchar_t kClassName[] = L"LumatextForm1";
// A fixed frame with a system menu and a minimize box: the layout does not stretch.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE;

// Windows 10's per-window dpi functions, where user32 has them; each may be missing.
struct DpiFunctions {
  using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

  SetProcessDpiAwarenessContextFn set_process_dpi_awareness_context = nullptr;
  GetDpiForWindowFn get_dpi_for_window = nullptr;
  AdjustWindowRectExForDpiFn adjust_window_rect_ex_for_dpi = nullptr;
  SystemParametersInfoForDpiFn system_parameters_info_for_dpi = nullptr;
};

const DpiFunctions& Dpi() {
  static const DpiFunctions functions = [] {
    DpiFunctions f;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return f;
    f.set_process_dpi_awareness_context =
        Symbol<DpiFunctions::SetProcessDpiAwarenessContextFn>(user32, "SetProcessDpiAwarenessContext");
    f.get_dpi_for_window = Symbol<DpiFunctions::GetDpiForWindowFn>(user32, "GetDpiForWindow");
    f.adjust_window_rect_ex_for_dpi =
        Symbol<DpiFunctions::AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi");
    f.system_parameters_info_for_dpi =
        Symbol<DpiFunctions::SystemParametersInfoForDpiFn>(user32, "SystemParametersInfoForDpi");
    return f;
  }();
  return functions;
}

unsigned ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

unsigned WindowDpi(HWND hwnd) {
  if (Dpi().get_dpi_for_window != nullptr) {
    const UINT dpi = Dpi().get_dpi_for_window(hwnd);
    if (dpi != 0) return dpi;
  }
  return ScreenDpi();
}

// The font the system uses in message boxes, at `dpi`.
HFONT MessageFont(unsigned dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (Dpi().system_parameters_info_for_dpi != nullptr &&
      Dpi().system_parameters_info_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  // Given for the system dpi: scale it to the window's.
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = kClassName;
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw std::runtime_error("RegisterClassEx: " + LastErrorText());
  }
}

}  // namespace

int TwipsToPixels(int twips, unsigned dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

void UsePerMonitorDpi() {
  if (Dpi().set_process_dpi_awareness_context != nullptr &&
      Dpi().set_process_dpi_awareness_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) {
    return;  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  }
  if (Dpi().set_process_dpi_awareness_context != nullptr &&
      Dpi().set_process_dpi_awareness_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)))) {
    return;  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE
  }
  SetProcessDPIAware();
}

Form1Window::Form1Window(const FormLayout& form, iow::Clock& clock) : form_(form), clock_(clock) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterFormClass(instance, &Form1Window::WindowProcedure);
  hwnd_ = CreateWindowExW(kExStyle, kClassName, Widen(form_.title).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) throw std::runtime_error("CreateWindowEx Form1: " + LastErrorText());
  // Created in tab order: Messen first, then Ende.
  const auto button = [&](std::string_view caption, int id) {
    HWND control = CreateWindowExW(0, L"BUTTON", Widen(caption).c_str(), kButtonStyle, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (control == nullptr) throw std::runtime_error("CreateWindowEx button: " + LastErrorText());
    return control;
  };
  messen_ = button(form_.messen.caption, kMessenId);
  ende_ = button(form_.ende.caption, kEndeId);
  focus_ = messen_;
  lay_out(WindowDpi(hwnd_));
}

Form1Window::~Form1Window() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  if (font_ != nullptr) DeleteObject(font_);
}

std::optional<WindowEvent> Form1Window::take_event() {
  DispatchWaitingMessages();
  if (events_.empty()) return std::nullopt;
  const WindowEvent event = events_.front();
  events_.pop_front();
  return event;
}

void Form1Window::wait_event(iow::TimePoint deadline) {
  for (;;) {
    DispatchWaitingMessages();
    if (!events_.empty()) return;
    iow::Duration delay = iow::Duration::max();
    if (deadline != iow::TimePoint::max()) {
      const iow::TimePoint now = clock_.now();
      if (now >= deadline) return;
      delay = deadline - now;
    }
    WaitForTimerOrMessages(timer_, delay, true);
  }
}

void Form1Window::show_form() {
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
  SetFocus(messen_);
}

void Form1Window::message_box(std::string_view text, std::string_view title) {
  HWND owner = IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
  std::string shown(text);
  if (const std::string advice = TakeUserAdvice(); !advice.empty()) shown += "\n\n" + advice;
  MessageBoxW(owner, Widen(shown).c_str(), Widen(title).c_str(), MB_OK | MB_SETFOREGROUND);
}

void Form1Window::lay_out(unsigned dpi) {
  dpi_ = dpi;
  RECT frame{0, 0, TwipsToPixels(form_.client_width, dpi), TwipsToPixels(form_.client_height, dpi)};
  if (Dpi().adjust_window_rect_ex_for_dpi == nullptr ||
      !Dpi().adjust_window_rect_ex_for_dpi(&frame, kStyle, FALSE, kExStyle, dpi)) {
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  }
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const auto place = [dpi](HWND control, const TwipsRect& twips) {
    MoveWindow(control, TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
               TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi), TRUE);
  };
  place(messen_, form_.messen.rect);
  place(ende_, form_.ende.rect);
  HFONT old_font = font_;
  font_ = MessageFont(dpi);
  SendMessageW(messen_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  SendMessageW(ende_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  if (old_font != nullptr) DeleteObject(old_font);
}

LRESULT CALLBACK Form1Window::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = WindowObject<Form1Window>(hwnd, message, lparam);
  if (self == nullptr || self->hwnd_ == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return self->handle(message, wparam, lparam);
}

LRESULT Form1Window::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == kMessenId) events_.push_back(WindowEvent::MessenClick);
      if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == kEndeId) events_.push_back(WindowEvent::EndeClick);
      return 0;  // IDOK and IDCANCEL from Return and Escape: neither button is default or cancel
    case WM_CLOSE:
      // Closing is never refused; the program ends when it takes the event.
      events_.push_back(WindowEvent::Unload);
      return 0;
    case DM_GETDEFID: {
      // Return presses the button that has the focus, as in a dialog without a default button.
      HWND focus = GetFocus();
      if (focus == messen_ || focus == ende_) return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
      return 0;
    }
    case WM_ACTIVATE:
      // Keep the focus on the same button across switching to other windows.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus == messen_ || focus == ende_) focus_ = focus;
      } else {
        SetFocus(focus_);
      }
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      lay_out(LOWORD(wparam));
      return 0;
    }
    default:
      return DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}

}  // namespace platform::windows
