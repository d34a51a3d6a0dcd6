#include "platform/windows/ports/isa_bus.hpp"

#include <sddl.h>

#include <utility>

#include "platform/diagnostics.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

// Everyone may wait for and release the mutex (SYNCHRONIZE | MUTEX_MODIFY_STATE):
// tools running as other users, elevated or not, share the one bus.
constexpr wchar_t kEveryoneMayUse[] = L"D:(A;;0x00100001;;;WD)";

}  // namespace

IsaBus::Hold::~Hold() {
  if (mutex_ != nullptr) ReleaseMutex(mutex_);
}

IsaBus::IsaBus(std::wstring name, std::chrono::milliseconds timeout, std::function<void(std::string_view)> report)
    : name_(std::move(name)), timeout_(timeout), report_(std::move(report)) {
  if (!report_) report_ = [](std::string_view line) { Diagnostic(line); };
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kEveryoneMayUse, SDDL_REVISION_1, &descriptor, nullptr)) {
    attributes.lpSecurityDescriptor = descriptor;
  }
  mutex_ = CreateMutexW(&attributes, FALSE, name_.c_str());
  DWORD error = mutex_ == nullptr ? GetLastError() : ERROR_SUCCESS;
  if (descriptor != nullptr) LocalFree(descriptor);
  // Another program created it with a stricter list: waiting and releasing is all we need.
  if (mutex_ == nullptr && error == ERROR_ACCESS_DENIED) {
    mutex_ = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name_.c_str());
    if (mutex_ == nullptr) error = GetLastError();
  }
  if (mutex_ == nullptr) {
    report_once(reported_failure_, "ISA-Bus: Mutex " + Narrow(name_) + " nicht verf\u00fcgbar (" + ErrorText(error) +
                                       "); die Ports werden ohne Absprache mit anderen Messprogrammen benutzt");
  }
}

IsaBus::~IsaBus() {
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

IsaBus::Hold IsaBus::hold() {
  if (mutex_ == nullptr) return Hold(nullptr);
  const DWORD waited = WaitForSingleObject(mutex_, static_cast<DWORD>(timeout_.count()));
  // WAIT_ABANDONED: the last owner ended without releasing it; the mutex is ours now.
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return Hold(mutex_);
  if (waited == WAIT_TIMEOUT) {
    report_once(reported_timeout_, "ISA-Bus: ein anderes Programm h\u00e4lt " + Narrow(name_) + " l\u00e4nger als " +
                                       std::to_string(timeout_.count()) +
                                       " ms; der Systemmonitor wird trotzdem gelesen, ein Messwert kann daher aus dem "
                                       "falschen Register stammen");
  } else {
    report_once(reported_failure_, "ISA-Bus: WaitForSingleObject: " + LastErrorText());
  }
  return Hold(nullptr);
}

void IsaBus::report_once(bool& reported, std::string_view text) {
  if (reported) return;
  reported = true;
  report_(text);
}

void IsaBusPortIo::out(std::uint16_t port, std::uint8_t value) {
  if (!hold_) hold_.emplace(bus_.hold());
  ports_.out(port, value);
}

std::uint8_t IsaBusPortIo::in(std::uint16_t port) {
  const std::uint8_t value = ports_.in(port);
  hold_.reset();
  return value;
}

}  // namespace platform::windows
