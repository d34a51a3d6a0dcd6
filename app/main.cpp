// lumatext: reads the CPU temperature and fan speed from the ITE 8705 and types them
// into the LED sign through the IO-Warrior.

#include <cstdio>
#include <string_view>

#include "app/form1.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/desktop.hpp"
#include "platform/diagnostics.hpp"
#include "platform/headless_window.hpp"

namespace {

constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Aufruf: lumatext [--headless | --help | --version]\n"
    "Zeigt CPU-Temperatur und L\u00fcfterdrehzahl aus dem ITE 8705 auf der LED-Laufschrift.\n"
    "  --headless  ohne Fenster: misst sofort und l\u00e4uft bis SIGTERM, SIGINT oder SIGHUP\n";

enum class Mode { kWindow, kHeadless };

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
    if (arg == "--headless") {
      mode = Mode::kHeadless;
      continue;
    }
    std::fputs(kUsage, stdout);
    return arg == "--help" ? 0 : kExitUsage;
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
  platform::DesktopSettings settings;
  settings.form = app::kForm1Layout;
  const auto desktop = platform::OpenDesktop(settings);
  if (!desktop) {
    platform::Diagnostic("lumatext: kein Fenster m\u00f6glich; ohne Fenster: lumatext --headless");
    return app::kExitStartFailed;
  }
  iow::OutsideLibraries lib(hardware->iowkit(), hardware->ports(), desktop->clock());
  app::Form1 form(lib, desktop->events(), desktop->window());
  return form.Run();
}
