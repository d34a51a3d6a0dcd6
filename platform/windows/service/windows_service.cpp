#include "platform/windows/service/windows_service.hpp"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/diagnostics.hpp"
#include "platform/windows/base/diagnostics_windows.hpp"
#include "platform/windows/service/end_request.hpp"
#include "platform/windows/service/event_log.hpp"
#include "platform/windows/service/messages.h"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

// Exit status of a program that could not do what it was asked (as at start-up).
constexpr int kExitFailed = 1;

// The one service of this process, for the SCM's callbacks, which take no context of ours.
struct Service {
  const std::function<int()>* run = nullptr;
  SERVICE_STATUS_HANDLE handle = nullptr;
  std::mutex mutex;  // status; the SCM's handler and the service's thread both report
  SERVICE_STATUS status{};
  int exit_status = kExitFailed;
  EventLog* log = nullptr;
};
Service g_service;

// Reports `state` to the SCM; a pending state counts as progress each time.
void Report(DWORD state, DWORD wait_hint_ms = 0, int exit_status = 0) {
  const std::lock_guard lock(g_service.mutex);
  SERVICE_STATUS& status = g_service.status;
  // Once stopping, the service stays stopping: a late report of RUNNING would undo it.
  if (status.dwCurrentState == SERVICE_STOP_PENDING && state == SERVICE_RUNNING) return;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCheckPoint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING
                            ? (status.dwCurrentState == state ? status.dwCheckPoint + 1 : 1)
                            : 0;
  status.dwCurrentState = state;
  status.dwWaitHint = wait_hint_ms;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PRESHUTDOWN : 0;
  status.dwWin32ExitCode = exit_status == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = static_cast<DWORD>(exit_status);
  SetServiceStatus(g_service.handle, &status);
}

void ToEventLog(std::string_view line) {
  if (g_service.log != nullptr) g_service.log->report(MSG_DIAGNOSTIC, line);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
  const char* why = nullptr;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      why = "Dienst angehalten";
      break;
    case SERVICE_CONTROL_PRESHUTDOWN:
    case SERVICE_CONTROL_SHUTDOWN:
      why = "Windows wird heruntergefahren";
      break;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
  if (!EndRequest::Process().requested() && g_service.log != nullptr) {
    g_service.log->report(MSG_SERVICE_STOPPING, why);
  }
  EndRequest::Process().request(0);
  Report(SERVICE_STOP_PENDING, kStopWaitHintMs);
  return NO_ERROR;
}

DWORD WINAPI RunThread(void*) { return static_cast<DWORD>((*g_service.run)()); }

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  g_service.handle = RegisterServiceCtrlHandlerExW(kServiceName, OnControl, nullptr);
  if (g_service.handle == nullptr) {
    Diagnostic("lumatext: RegisterServiceCtrlHandlerEx: " + LastErrorText());
    return;
  }
  Report(SERVICE_START_PENDING, kStopWaitHintMs);
  EventLog log;
  g_service.log = &log;
  SendDiagnosticsAlsoTo(ToEventLog);

  const HANDLE thread = CreateThread(nullptr, 0, RunThread, nullptr, 0, nullptr);
  int status = kExitFailed;
  if (thread == nullptr) {
    Diagnostic("lumatext: CreateThread: " + LastErrorText());
  } else {
    Report(SERVICE_RUNNING);
    log.report(MSG_SERVICE_STARTED);
    // While the program ends, the SCM hears of progress every step.
    while (WaitForSingleObject(thread, kProgressStepMs) == WAIT_TIMEOUT) {
      if (EndRequest::Process().requested()) Report(SERVICE_STOP_PENDING, kStopWaitHintMs);
    }
    DWORD code = kExitFailed;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    status = static_cast<int>(code);
  }
  if (status == 0) {
    log.report(MSG_SERVICE_STOPPED);
  } else {
    log.report(MSG_SERVICE_FAILED, std::to_string(status));
  }
  SendDiagnosticsAlsoTo(nullptr);
  g_service.log = nullptr;
  g_service.exit_status = status;
  Report(SERVICE_STOPPED, 0, status);
}

// The full path of this program.
std::wstring ProgramPath() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

// Closes a service handle when it goes out of scope.
struct ServiceHandle {
  SC_HANDLE handle;
  ~ServiceHandle() {
    if (handle != nullptr) CloseServiceHandle(handle);
  }
};

// Reports the failed call; returns false.
bool Failed(const char* call) {
  Diagnostic(std::string("lumatext: Dienst einrichten: ") + call + ": " + LastErrorText());
  return false;
}

// Reports the failed call; returns the exit status that says so.
int FailedStatus(const char* call) {
  Failed(call);
  return kExitFailed;
}

// Applies one setting of ChangeServiceConfig2; false after a diagnostic when it is
// refused. A service manager that does not know the setting at all (older Windows, Wine)
// is told of it in a warning and the registration goes on without it.
bool Set(SC_HANDLE service, DWORD level, void* info, const char* what) {
  if (ChangeServiceConfig2W(service, level, info)) return true;
  if (GetLastError() != ERROR_INVALID_LEVEL) return Failed(what);
  Diagnostic(std::string("lumatext: Dienst einrichten: ") + what + ": kennt diese Dienstverwaltung nicht; " +
             "eingerichtet ohne diese Einstellung");
  return true;
}

// The settings beside the command line: description, delayed start, recovery,
// privileges, time at shutdown.
bool Configure(SC_HANDLE service) {
  std::wstring description = kServiceDescription;
  SERVICE_DESCRIPTIONW text{description.data()};
  // Started once the boot has settled: the sign can wait two minutes, other services not.
  SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};

  // Restart after every failure, without a limit: the SCM repeats the last action for
  // every further failure.
  SC_ACTION restart[3];
  for (SC_ACTION& action : restart) action = {SC_ACTION_RESTART, kRestartDelayMs};
  SERVICE_FAILURE_ACTIONSW actions{};
  actions.dwResetPeriod = kFailureResetSeconds;
  actions.cActions = 3;
  actions.lpsaActions = restart;
  // Also when the program ends by itself with an error (no IO-Warrior at boot, lost
  // device), not only when it crashes.
  SERVICE_FAILURE_ACTIONS_FLAG on_error{TRUE};

  // LocalSystem's privileges cut to the one every process keeps: the IO-Warrior (HID),
  // PawnIO's device (open to SYSTEM by its access list), the bus mutex, the timers and
  // the event log need none. A double-NUL-terminated list.
  static const wchar_t kPrivileges[] = L"SeChangeNotifyPrivilege\0";
  SERVICE_REQUIRED_PRIVILEGES_INFOW privileges{const_cast<wchar_t*>(kPrivileges)};

  SERVICE_PRESHUTDOWN_INFO preshutdown{kPreshutdownTimeoutMs};

  return Set(service, SERVICE_CONFIG_DESCRIPTION, &text, "Beschreibung") &&
         Set(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, "verz\u00f6gerter Start") &&
         Set(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions, "Wiederherstellung") &&
         Set(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &on_error, "Wiederherstellung auch bei Fehlerstatus") &&
         Set(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges, "Privilegien") &&
         Set(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown, "Zeit beim Herunterfahren");
}

// Asks the service to stop and waits until it has, as long as it reports progress.
void StopAndWait(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return;
  DWORD checkpoint = status.dwCheckPoint;
  ULONGLONG progress_at = GetTickCount64();
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
    if (status.dwCheckPoint != checkpoint) {
      checkpoint = status.dwCheckPoint;
      progress_at = GetTickCount64();
    } else if (GetTickCount64() - progress_at > status.dwWaitHint + kProgressStepMs) {
      Diagnostic("lumatext: der Dienst endet nicht; er wird trotzdem entfernt");
      return;
    }
    Sleep(200);
  }
}

}  // namespace

int RunService(const std::function<int()>& run) {
  g_service.run = &run;
  static wchar_t name[] = L"lumatext";
  const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherW(table)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      Diagnostic(
          "lumatext: --service startet nur der Dienststeuerungs-Manager; einrichten mit lumatext --install-service, "
          "starten mit \"sc start lumatext\"");
    } else {
      Diagnostic("lumatext: StartServiceCtrlDispatcher: " + ErrorText(error));
    }
    return kExitFailed;
  }
  return g_service.exit_status;
}

int InstallService(const std::wstring& arguments) {
  const std::wstring path = ProgramPath();
  const std::wstring command = L"\"" + path + L"\" --service" + arguments;
  const ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE)};
  if (manager.handle == nullptr) return FailedStatus("OpenSCManager");
  // LocalSystem: PawnIO opens only for SYSTEM and administrators.
  ServiceHandle service{CreateServiceW(manager.handle, kServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)};
  if (service.handle == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
    service.handle = OpenServiceW(manager.handle, kServiceName, SERVICE_ALL_ACCESS);
    if (service.handle == nullptr) return FailedStatus("OpenService");
    if (!ChangeServiceConfigW(service.handle, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                              command.c_str(), nullptr, nullptr, nullptr, L"LocalSystem", L"", kServiceDisplayName)) {
      return FailedStatus("ChangeServiceConfig");
    }
  } else if (service.handle == nullptr) {
    return FailedStatus("CreateService");
  }
  if (!Configure(service.handle) || !AddEventSource(path)) return kExitFailed;
  return 0;
}

int RemoveService() {
  const ServiceHandle manager{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)};
  if (manager.handle == nullptr) return FailedStatus("OpenSCManager");
  const ServiceHandle service{OpenServiceW(manager.handle, kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE)};
  if (service.handle == nullptr && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
    return FailedStatus("OpenService");
  }
  if (service.handle != nullptr) {
    StopAndWait(service.handle);
    if (!DeleteService(service.handle) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
      return FailedStatus("DeleteService");
    }
  }
  return RemoveEventSource() ? 0 : kExitFailed;
}

}  // namespace platform::windows
