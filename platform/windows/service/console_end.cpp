#include "platform/windows/service/console_end.hpp"

#include <string>

#include "platform/diagnostics.hpp"
#include "platform/windows/service/end_request.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

EndRequest* g_end = nullptr;
// The thread of the hidden window, and its id for WM_QUIT; null while there is none.
HANDLE g_session_thread = nullptr;
DWORD g_session_thread_id = 0;

// Windows ends the process as soon as the handler of a closing console or an ending
// session returns, and otherwise after a few seconds: the handler never returns, so that
// the program's own thread ends the process with its ending work done and its status.
[[noreturn]] void WaitForTheProgramToEnd() {
  for (;;) Sleep(INFINITE);
}

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      g_end->request(kExitInterrupted);
      return TRUE;
    case CTRL_CLOSE_EVENT:
      g_end->request(kExitConsoleClosed);
      WaitForTheProgramToEnd();
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      g_end->request(kExitSessionEnds);
      WaitForTheProgramToEnd();
    default:
      return FALSE;
  }
}

// A program that uses user32 gets no CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT; its
// top-level windows get WM_QUERYENDSESSION and WM_ENDSESSION instead, hidden ones too.
LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_QUERYENDSESSION) return TRUE;
  if (message == WM_ENDSESSION && wparam != FALSE) {
    g_end->request(kExitSessionEnds);
    WaitForTheProgramToEnd();
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

DWORD WINAPI SessionWindowThread(void*) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = SessionWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"lumatext.SessionEnd";
  if (RegisterClassW(&window_class) == 0 ||
      CreateWindowExW(0, window_class.lpszClassName, L"lumatext", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                      instance, nullptr) == nullptr) {
    Diagnostic("lumatext: Fenster f\u00fcr das Sitzungsende: " + LastErrorText() +
               "; Abmelden und Herunterfahren beenden lumatext ohne Abschluss");
    return 1;
  }
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

}  // namespace

void EndOnConsoleEvents(EndRequest& end) {
  if (g_end != nullptr) return;
  g_end = &end;
  if (GetConsoleWindow() == nullptr) AttachConsole(ATTACH_PARENT_PROCESS);
  if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
    Diagnostic("lumatext: SetConsoleCtrlHandler: " + LastErrorText());
  }
  g_session_thread = CreateThread(nullptr, 0, SessionWindowThread, nullptr, 0, &g_session_thread_id);
  if (g_session_thread == nullptr) {
    Diagnostic("lumatext: CreateThread: " + LastErrorText() + "; Abmelden und Herunterfahren beenden lumatext ohne Abschluss");
  }
}

void StopConsoleEvents() {
  if (g_session_thread == nullptr) return;
  // The thread's queue exists once it has created its window: until then the message
  // cannot be posted, so it is tried again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (PostThreadMessageW(g_session_thread_id, WM_QUIT, 0, 0)) break;
    if (WaitForSingleObject(g_session_thread, 10) == WAIT_OBJECT_0) break;
  }
  WaitForSingleObject(g_session_thread, 1000);
  CloseHandle(g_session_thread);
  g_session_thread = nullptr;
}

}  // namespace platform::windows
