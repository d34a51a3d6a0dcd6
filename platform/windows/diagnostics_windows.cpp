// Diagnostics on Windows: the debugger's output (DebugView, Visual Studio) always, and
// standard error when there is one. A GUI program started from a console has no
// standard error of its own; it borrows the console of the process that started it.

#include <windows.h>

#include <mutex>
#include <string>

#include "platform/diagnostics.hpp"
#include "platform/windows/utf16.hpp"

namespace platform {
namespace {

// Where standard error goes, found once: a console, a file or pipe, or nowhere.
struct ErrorSink {
  HANDLE handle = nullptr;
  bool console = false;
};

ErrorSink FindErrorSink() {
  ErrorSink sink;
  sink.handle = GetStdHandle(STD_ERROR_HANDLE);
  if (sink.handle == nullptr || sink.handle == INVALID_HANDLE_VALUE) {
    sink.handle = nullptr;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return sink;
    sink.handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (sink.handle == INVALID_HANDLE_VALUE) sink.handle = nullptr;
  }
  DWORD mode = 0;
  sink.console = sink.handle != nullptr && GetConsoleMode(sink.handle, &mode) != 0;
  return sink;
}

}  // namespace

void Diagnostic(std::string_view line) {
  static std::mutex mutex;
  const std::lock_guard lock(mutex);
  static const ErrorSink sink = FindErrorSink();

  const std::wstring wide = windows::Widen(line) + L"\n";
  OutputDebugStringW(wide.c_str());
  if (sink.handle == nullptr) return;
  DWORD written = 0;
  if (sink.console) {
    WriteConsoleW(sink.handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    const std::string bytes = std::string(line) + "\n";
    WriteFile(sink.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

}  // namespace platform
