// A build without a window system or hardware access: only the headless simulator runs.

#include <iostream>

#include "platform/desktop.hpp"
#include "platform/line_input.hpp"
#include "platform/system_clock.hpp"

namespace platform {

std::unique_ptr<Desktop> OpenDesktop(const FormLayout&) { return nullptr; }

std::unique_ptr<Hardware> OpenHardware(std::uint16_t, std::uint16_t) { return nullptr; }

// The windowed program is the only one here.
bool StartWindowedProgram(int, char**) { return false; }

std::unique_ptr<iow::Clock> OpenRealClock() { return std::make_unique<SystemClock>(); }

std::unique_ptr<iow::IowKit> EndOnSignals(iow::IowKit&) { return nullptr; }

std::unique_ptr<LineInput> OpenStandardInput() { return std::make_unique<StreamLineInput>(std::cin); }

}  // namespace platform
