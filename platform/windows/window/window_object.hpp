#pragma once
// The object behind a window: CreateWindowExW's last argument, kept in the window's
// user data from WM_NCCREATE on.

#include <windows.h>

namespace platform::windows {

// The object a window procedure serves, for `message` to `hwnd`; null before
// WM_NCCREATE and after the object cleared the user data.
template <class Object>
Object* WindowObject(HWND hwnd, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<Object*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace platform::windows
