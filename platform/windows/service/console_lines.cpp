#include "platform/windows/service/console_lines.hpp"

#include "platform/diagnostics.hpp"
#include "platform/windows/service/end_request.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {

ConsoleLines::ConsoleLines(HANDLE input, EndRequest& end) : input_(input), end_(end) {
  InitializeCriticalSection(&lock_);
  data_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (data_ != nullptr && input_ != nullptr && input_ != INVALID_HANDLE_VALUE) {
    thread_ = CreateThread(nullptr, 0, ReaderThread, this, 0, nullptr);
  }
  if (thread_ == nullptr) {
    Diagnostic("lumatext: Standardeingabe nicht lesbar: " + LastErrorText());
    eof_ = true;
  }
}

ConsoleLines::~ConsoleLines() {
  if (thread_ != nullptr) {
    // A reader still inside ReadFile is woken, so that no thread waits in the console
    // when the process ends.
    stopping_.store(true);
    CancelSynchronousIo(thread_);
    WaitForSingleObject(thread_, 1000);
    CloseHandle(thread_);
  }
  if (data_ != nullptr) CloseHandle(data_);
  DeleteCriticalSection(&lock_);
}

DWORD WINAPI ConsoleLines::ReaderThread(void* self) {
  static_cast<ConsoleLines*>(self)->read_all();
  return 0;
}

void ConsoleLines::read_all() {
  DWORD mode = 0;
  const bool console = GetConsoleMode(input_, &mode) != FALSE;
  for (;;) {
    char bytes[256];
    DWORD got = 0;
    const BOOL ok = ReadFile(input_, bytes, sizeof bytes, &got, nullptr);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (stopping_.load()) return;
    // Ctrl+C typed into a console ends a read with nothing read: the end request it makes
    // is the program's to carry out, and the input goes on.
    if (console && got == 0 && (ok || error == ERROR_OPERATION_ABORTED)) {
      Sleep(10);
      continue;
    }
    EnterCriticalSection(&lock_);
    if (got > 0) buffer_.append(bytes, got);
    const bool end = got == 0;
    if (end) eof_ = true;
    LeaveCriticalSection(&lock_);
    SetEvent(data_);
    if (end) return;
  }
}

bool ConsoleLines::read_line() {
  for (;;) {
    end_.end_if_requested();
    EnterCriticalSection(&lock_);
    bool result = false;
    bool done = false;
    if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
      buffer_.erase(0, newline + 1);
      result = done = true;
    } else if (eof_) {
      result = !buffer_.empty();
      buffer_.clear();
      done = true;
    }
    LeaveCriticalSection(&lock_);
    if (done) return result;
    const HANDLE wake = end_.wake_event();
    const HANDLE handles[2] = {data_, wake};
    WaitForMultipleObjects(wake != nullptr ? 2 : 1, handles, FALSE, INFINITE);
  }
}

}  // namespace platform::windows
