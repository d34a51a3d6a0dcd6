#include "sim/windows/sign_window.hpp"

#include <stdexcept>

#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"
#include "platform/windows/window/window_object.hpp"
#include "sim/sign_frame.hpp"

namespace sim::windows {
namespace {

using platform::windows::LastErrorText;
using platform::windows::Widen;
using platform::windows::WindowObject;

constexpr UINT kFrameMilliseconds = 40;
constexpr UINT_PTR kFrameTimer = 1;
constexpr wchar_t kClassName[] = L"LumatextSign";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_MINIMIZEBOX;


}  // namespace

SignWindow::SignWindow(iow::Clock& clock, std::function<SignView()> view)
    : frames_(clock, std::move(view)) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &SignWindow::WindowProcedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = kClassName;
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw std::runtime_error("RegisterClassEx sign: " + LastErrorText());
  }
  RECT frame{0, 0, kSignWidth, kSignHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  hwnd_ = CreateWindowExW(0, kClassName, Widen(kSignTitle).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) throw std::runtime_error("CreateWindowEx sign: " + LastErrorText());
}

SignWindow::~SignWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  KillTimer(hwnd_, kFrameTimer);
  DestroyWindow(hwnd_);
}

void SignWindow::show(int left, int top) {
  SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  update();
  SetTimer(hwnd_, kFrameTimer, kFrameMilliseconds, nullptr);
}

void SignWindow::update() {
  if (frames_.advance()) InvalidateRect(hwnd_, nullptr, FALSE);
}

void SignWindow::paint() {
  PAINTSTRUCT paint{};
  HDC window_dc = BeginPaint(hwnd_, &paint);
  // Drawn off screen first, so that the LEDs do not flicker.
  HDC dc = CreateCompatibleDC(window_dc);
  HBITMAP bitmap = CreateCompatibleBitmap(window_dc, kSignWidth, kSignHeight);
  const HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
  RECT all{0, 0, kSignWidth, kSignHeight};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  HBRUSH lit = CreateSolidBrush(RGB(255, 40, 30));
  HBRUSH dark = CreateSolidBrush(RGB(70, 8, 8));
  const HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
  const HGDIOBJ old_brush = SelectObject(dc, dark);
  const auto& columns = frames_.columns();
  for (std::size_t column = 0; column < columns.size(); ++column) {
    for (int row = 0; row < kSignRows; ++row) {
      SelectObject(dc, ((columns[column] >> row) & 1U) != 0 ? lit : dark);
      const int x = kSignMargin + static_cast<int>(column) * kLedPitch;
      const int y = kSignMargin + row * kLedPitch;
      Ellipse(dc, x, y, x + kLedSize + 1, y + kLedSize + 1);
    }
  }
  BitBlt(window_dc, 0, 0, kSignWidth, kSignHeight, dc, 0, 0, SRCCOPY);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  SelectObject(dc, old_bitmap);
  DeleteObject(lit);
  DeleteObject(dark);
  DeleteObject(bitmap);
  DeleteDC(dc);
  EndPaint(hwnd_, &paint);
}

LRESULT CALLBACK SignWindow::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = WindowObject<SignWindow>(hwnd, message, lparam);
  if (self == nullptr || self->hwnd_ == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_TIMER:
      if (wparam == kFrameTimer) self->update();
      return 0;
    case WM_PAINT:
      self->paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // paint covers every pixel
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace sim::windows
