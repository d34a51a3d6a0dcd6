#pragma once
// lumatext as a Windows service: what the Service Control Manager starts
// (`lumatext.exe --service`), and its registration with the service's settings.

#include <functional>
#include <string>

namespace platform::windows {

// The service's name, shown and set in its registration.
inline constexpr wchar_t kServiceName[] = L"lumatext";
inline constexpr wchar_t kServiceDisplayName[] = L"lumatext LED-Laufschrift";
inline constexpr wchar_t kServiceDescription[] =
    L"Misst CPU-Temperatur und L\u00fcfterdrehzahl (ITE 8705) jede Minute und zeigt sie \u00fcber den "
    L"IO-Warrior auf der LED-Laufschrift, ohne dass jemand angemeldet sein muss.";

// How long the SCM waits between two signs of progress while the service ends: the
// longest ending is a 4 s press completing, 50 ms, the press that closes text entry,
// and three writes that may each take the HID write time-out of 1 s. The service
// reports progress every kProgressStep meanwhile.
inline constexpr unsigned kStopWaitHintMs = 10'000;
inline constexpr unsigned kProgressStepMs = 1'000;
// How long Windows waits for the service at shutdown before it goes on (PRESHUTDOWN).
inline constexpr unsigned kPreshutdownTimeoutMs = 15'000;
// Recovery: restart after this long, for every failure, the count reset after a day.
inline constexpr unsigned kRestartDelayMs = 10'000;
inline constexpr unsigned kFailureResetSeconds = 86'400;

// Connects to the SCM and runs `run` on the service's thread until it returns. STOP,
// PRESHUTDOWN and SHUTDOWN request the end with status 0 through EndRequest; the service
// reports STOP_PENDING with progress until `run` has returned, then STOPPED with `run`'s
// status: 0 as a clean stop, any other as a service-specific error, which the recovery
// settings answer with a restart. Diagnostics go to the event log meanwhile. Returns the
// status, or 1 when the SCM did not start this process (said on standard error).
int RunService(const std::function<int()>& run);

// Registers the service to run "this program --service`arguments`" as LocalSystem,
// started automatically after the others (delayed), with its recovery, its privileges
// and its event source; updates an existing registration the same way. Returns 0, or 1
// after a diagnostic naming the call that failed.
int InstallService(const std::wstring& arguments);

// Stops the service if it runs (its ending work done) and removes it with its event
// source. Returns 0, also when it was not registered, or 1 after a diagnostic.
int RemoveService();

}  // namespace platform::windows
