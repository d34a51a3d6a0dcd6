// The unattended program on Windows: the console's end events for `--headless`, the
// service for `--service`.

#include "platform/service.hpp"
#include "platform/windows/service/console_end.hpp"
#include "platform/windows/service/end_request.hpp"
#include "platform/windows/service/windows_service.hpp"
#include "platform/windows/base/utf16.hpp"

namespace platform {

int RunHeadless(const std::function<int()>& run) {
  windows::EndOnConsoleEvents(windows::EndRequest::Process());
  const int status = run();
  windows::StopConsoleEvents();
  return status;
}

int RunService(const std::function<int()>& run) { return windows::RunService(run); }

int InstallService(std::string_view arguments) { return windows::InstallService(windows::Widen(arguments)); }

int RemoveService() { return windows::RemoveService(); }

}  // namespace platform
