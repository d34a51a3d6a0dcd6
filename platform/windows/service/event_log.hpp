#pragma once
// The program's entries in the Windows event log: the Application log, source
// "lumatext", texts from the message table compiled into the program (messages.mc).

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::windows {

// The event source's name, also the service's.
inline constexpr wchar_t kEventSource[] = L"lumatext";

// Registers the program at `exe_path` as the event source: its message table renders the
// entries. Needs administrator rights; false (with a diagnostic naming the call) when refused.
bool AddEventSource(const std::wstring& exe_path);
// Removes the registration; entries already written stay, shown without their text.
bool RemoveEventSource();

class EventLog {
 public:
  EventLog();
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Writes the entry `id` (an ID of messages.mc, its severity included) with the UTF-8
  // insertion strings %1 and %2 where given; does nothing when the log cannot be opened.
  void report(DWORD id, std::string_view first = {}, std::string_view second = {});

 private:
  HANDLE source_ = nullptr;
};

}  // namespace platform::windows
