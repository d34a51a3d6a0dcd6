#include "platform/windows/clock/windows_clock.hpp"

#include <timeapi.h>

#include <chrono>
#include <limits>

#include "platform/windows/base/library_symbol.hpp"
#include "platform/windows/service/end_request.hpp"

namespace platform::windows {
namespace {

// Missing from older SDK and MinGW headers.
constexpr DWORD kCreateWaitableTimerHighResolution = 0x00000002;

constexpr ULONGLONG kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
constexpr ULONGLONG kTicksPerDay = 86'400 * kTicksPerSecond;

// The system time with its full precision (Windows 8 and later); on Windows 7 the
// system time as the clock interrupt last set it, to 1-16 ms.
void SystemTimeAsFileTime(FILETIME* time) {
  using Precise = void(WINAPI*)(FILETIME*);
  static const Precise precise = [] {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 != nullptr ? Symbol<Precise>(kernel32, "GetSystemTimePreciseAsFileTime") : nullptr;
  }();
  if (precise != nullptr) {
    precise(time);
  } else {
    GetSystemTimeAsFileTime(time);
  }
}

// Waits until `delay` has passed on `timer` (never less) or `wake` is signalled.
void WaitForTimerOrEvent(PreciseTimer& timer, iow::Duration delay, HANDLE wake) {
  if (timer.arm(delay)) {
    const HANDLE handles[] = {timer.handle(), wake};
    WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    return;
  }
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay).count();
  WaitForSingleObject(wake, static_cast<DWORD>(milliseconds < INFINITE - 1 ? milliseconds : INFINITE - 1));
}

}  // namespace

PreciseTimer::PreciseTimer() {
  handle_ = CreateWaitableTimerExW(nullptr, nullptr, kCreateWaitableTimerHighResolution, TIMER_ALL_ACCESS);
  high_resolution_ = handle_ != nullptr;
  if (handle_ == nullptr) handle_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

PreciseTimer::~PreciseTimer() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

bool PreciseTimer::arm(iow::Duration delay) {
  if (handle_ == nullptr) return false;
  // Relative due times are negative, in 100 ns units; round up so it never fires early.
  const long long ticks = (delay.count() + 99) / 100;
  LARGE_INTEGER due{};
  due.QuadPart = -(ticks > 0 ? ticks : 1);
  return SetWaitableTimer(handle_, &due, 0, nullptr, nullptr, FALSE) != 0;
}

void RaiseTimerResolutionOnce() {
  // Raising and lowering it around every wait costs a system-wide reprogramming of the
  // timer each time; Windows lowers it again when the process ends.
  static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
  static_cast<void>(raised);
}

WindowsClock::WindowsClock(EndRequest* end) : end_(end) { QueryPerformanceFrequency(&frequency_); }

iow::TimePoint WindowsClock::now() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  // Whole seconds and remainder apart, so that the product cannot overflow.
  const long long seconds = counter.QuadPart / frequency_.QuadPart;
  const long long rest = counter.QuadPart % frequency_.QuadPart;
  const long long nanoseconds = seconds * 1'000'000'000 + rest * 1'000'000'000 / frequency_.QuadPart;
  return iow::TimePoint{iow::Duration{nanoseconds}};
}

void WindowsClock::sleep_until(iow::TimePoint deadline) {
  if (!timer_.high_resolution()) RaiseTimerResolutionOnce();
  for (iow::TimePoint current = now(); current < deadline; current = now()) {
    const HANDLE wake = end_ != nullptr ? end_->wake_event() : nullptr;
    if (wake == nullptr) {
      WaitForTimerOrMessages(timer_, deadline - current, false);
      continue;
    }
    end_->end_if_requested();
    WaitForTimerOrEvent(timer_, deadline - current, wake);
    end_->end_if_requested();
  }
}

void WaitForTimerOrMessages(PreciseTimer& timer, iow::Duration delay, bool wake_on_messages) {
  HANDLE handle = timer.handle();
  DWORD handles = 0;
  DWORD timeout = INFINITE;
  if (delay != iow::Duration::max()) {
    if (timer.arm(delay)) {
      handles = 1;
    } else {
      const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay).count();
      timeout = static_cast<DWORD>(milliseconds < INFINITE - 1 ? milliseconds : INFINITE - 1);
    }
  }
  if (wake_on_messages) {
    // Wakes for any new message, including those already seen but not yet removed.
    MsgWaitForMultipleObjectsEx(handles, handles != 0 ? &handle : nullptr, timeout, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  } else if (handles != 0) {
    WaitForSingleObject(handle, INFINITE);
  } else {
    Sleep(timeout);
  }
}

void DispatchWaitingMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    HWND top = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top != nullptr && IsDialogMessageW(top, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

double WindowsClock::time_of_day() {
  FILETIME utc{};
  SystemTimeAsFileTime(&utc);
  FILETIME local{};
  FileTimeToLocalFileTime(&utc, &local);
  ULARGE_INTEGER ticks{};
  ticks.LowPart = local.dwLowDateTime;
  ticks.HighPart = local.dwHighDateTime;
  // FILETIME counts from midnight of 1 January 1601, so whole days end at midnight.
  const ULONGLONG of_day = ticks.QuadPart % kTicksPerDay;
  return static_cast<double>(of_day) / static_cast<double>(kTicksPerSecond);
}

}  // namespace platform::windows
