#include "platform/windows/service/event_log.hpp"

#include "platform/diagnostics.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

constexpr wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\lumatext";
// Error, warning and information entries.
constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// The entry type that goes with a message ID's severity bits (the top two).
WORD EntryType(DWORD id) {
  switch (id >> 30) {
    case 3:
      return EVENTLOG_ERROR_TYPE;
    case 2:
      return EVENTLOG_WARNING_TYPE;
    default:
      return EVENTLOG_INFORMATION_TYPE;
  }
}

}  // namespace

bool AddEventSource(const std::wstring& exe_path) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    Diagnostic("lumatext: Ereignisquelle eintragen: RegCreateKeyEx: " + ErrorText(static_cast<DWORD>(status)));
    return false;
  }
  const auto file_bytes = static_cast<DWORD>((exe_path.size() + 1) * sizeof(wchar_t));
  status = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(exe_path.c_str()), file_bytes);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kTypesSupported),
                            sizeof kTypesSupported);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    Diagnostic("lumatext: Ereignisquelle eintragen: RegSetValueEx: " + ErrorText(static_cast<DWORD>(status)));
    return false;
  }
  return true;
}

bool RemoveEventSource() {
  const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey);
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
  Diagnostic("lumatext: Ereignisquelle austragen: RegDeleteKey: " + ErrorText(static_cast<DWORD>(status)));
  return false;
}

EventLog::EventLog() : source_(RegisterEventSourceW(nullptr, kEventSource)) {}

EventLog::~EventLog() {
  if (source_ != nullptr) DeregisterEventSource(source_);
}

void EventLog::report(DWORD id, std::string_view first, std::string_view second) {
  if (source_ == nullptr) return;
  const std::wstring strings[] = {Widen(first), Widen(second)};
  const wchar_t* pointers[] = {strings[0].c_str(), strings[1].c_str()};
  const WORD count = second.empty() ? (first.empty() ? 0 : 1) : 2;
  ReportEventW(source_, EntryType(id), 0, id, nullptr, count, 0, count != 0 ? pointers : nullptr, nullptr);
}

}  // namespace platform::windows
