// lumatext: reads the CPU temperature and fan speed from the ITE 8705 and types them
// into the LED sign through the IO-Warrior.

#include <cstdio>
#include <sstream>
#include <string_view>

#include "app/form1.hpp"
#include "app/setup_check.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/desktop.hpp"
#include "platform/diagnostics.hpp"
#include "platform/headless_window.hpp"
#include "platform/setup_facts.hpp"

namespace {

constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Aufruf: lumatext [--headless | --check | --help | --version]\n"
    "Zeigt CPU-Temperatur und L\u00fcfterdrehzahl aus dem ITE 8705 auf der LED-Laufschrift.\n"
    "  --headless  ohne Fenster: misst sofort und l\u00e4uft bis SIGTERM, SIGINT oder SIGHUP\n"
#ifdef _WIN32
    "  --check     pr\u00fcft die Einrichtung (IO-Warrior, PawnIO, LpcIO.bin, Chip, Portzugriff) und misst einmal\n";
#else
    "  --check     pr\u00fcft die Einrichtung (IO-Warrior, udev, Portzugriff, it87) und misst einmal\n";
#endif

enum class Mode { kWindow, kHeadless, kCheck };

}  // namespace

int main(int argc, char** argv) {
  // The monitor's ports before anything else: every privilege is gone before a library
  // (X, fontconfig, the toolkit) runs.
  const auto hardware = platform::OpenHardware(monitor::kAddressPort, monitor::kPortCount);

  Mode mode = Mode::kWindow;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--version") {
      std::printf("lumatext %s\n", LUMATEXT_VERSION);
      return 0;
    }
    if (arg == "--headless" || arg == "--check") {
      mode = arg == "--headless" ? Mode::kHeadless : Mode::kCheck;
      continue;
    }
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    // Refused: the argument named first, then the usage, both on standard error.
    std::fprintf(stderr, "lumatext: %s: unbekannte Option\n%s", argv[i], kUsage);
    return kExitUsage;
  }

  if (mode == Mode::kCheck) {
    const auto probe = platform::OpenSetupProbe(hardware ? hardware->port_access() : platform::PortAccess{});
    if (!probe) {
      platform::Diagnostic("lumatext: --check gibt es in diesem Build nicht");
      return app::kExitStartFailed;
    }
    std::ostringstream report;
    const int status = app::ReportSetup(probe->collect(), probe->ports(), report);
    platform::WriteOutput(report.str());
    return status;
  }
  if (!hardware) {
    platform::Diagnostic("lumatext: dieser Build hat keinen Hardwarezugriff; lumatext-sim --headless benutzen");
    return app::kExitStartFailed;
  }
  if (mode == Mode::kHeadless) {
    const auto clock = platform::OpenRealClock();
    platform::HeadlessWindow window(*clock);
    iow::OutsideLibraries lib(hardware->iowkit(), hardware->ports(), *clock);
    app::Form1 form(lib, window, window);
    return form.Run();
  }
#ifdef LUMATEXT_CONSOLE
  // Typed into a console without an argument: the window is the windowed program's, which
  // asks for its rights itself; the console gets its prompt back at once.
  return platform::StartWindowedProgram(argc, argv) ? 0 : app::kExitStartFailed;
#else
  const auto desktop = platform::OpenDesktop(app::kForm1Layout);
  if (!desktop) {
    platform::Diagnostic("lumatext: kein Fenster m\u00f6glich; ohne Fenster: lumatext --headless");
    return app::kExitStartFailed;
  }
  iow::OutsideLibraries lib(hardware->iowkit(), hardware->ports(), desktop->clock());
  app::Form1 form(lib, desktop->events(), desktop->window());
  return form.Run();
#endif
}
