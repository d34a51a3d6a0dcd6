// Diagnostics on Windows: the debugger's output (Visual Studio, DebugView) always, the
// event log in a service, and standard error where there is one: a console gets UTF-16,
// a file or pipe UTF-8. A GUI program started from a console has no standard error of
// its own; it borrows the console of the process that started it.

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/diagnostics.hpp"
#include "platform/windows/base/diagnostics_windows.hpp"
#include "platform/windows/base/utf16.hpp"

namespace platform {
namespace {

// The C runtime's standard error as a Windows handle, looked up on every line so that
// a redirection made meanwhile counts; null when the program has none.
HANDLE StandardError() {
  const int descriptor = _fileno(stderr);
  if (descriptor < 0) return nullptr;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  return handle == INVALID_HANDLE_VALUE || handle == reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2)) ? nullptr : handle;
}

void (*g_also_to)(std::string_view) = nullptr;

// The console of the parent process, opened once; null when it has none. Attached
// already when the program takes the console's control events.
HANDLE ParentConsole() {
  static const HANDLE console = []() -> HANDLE {
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetConsoleWindow() == nullptr) return nullptr;
    const HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    return output == INVALID_HANDLE_VALUE ? nullptr : output;
  }();
  return console;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

void Diagnostic(std::string_view line) {
  static std::mutex mutex;
  const std::lock_guard lock(mutex);

  if (g_also_to != nullptr) g_also_to(line);
  const std::wstring wide = windows::Widen(line) + L"\n";
  OutputDebugStringW(wide.c_str());
  HANDLE error = StandardError();
  if (error != nullptr && !IsConsole(error)) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
    return;
  }
  if (error == nullptr) error = ParentConsole();
  if (error == nullptr) return;
  DWORD written = 0;
  WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

void WriteOutput(std::string_view text) {
  const int descriptor = _fileno(stdout);
  const auto handle = descriptor < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  if (handle != INVALID_HANDLE_VALUE && IsConsole(handle)) {
    std::fflush(stdout);
    const std::wstring wide = windows::Widen(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace platform

namespace platform::windows {

void SendDiagnosticsAlsoTo(void (*sink)(std::string_view line)) { g_also_to = sink; }

}  // namespace platform::windows
