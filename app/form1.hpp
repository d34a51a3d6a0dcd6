#pragma once
// The window Form1: start-up, the two buttons, closing, and the measurement cycle.

#include <chrono>
#include <string_view>

#include "platform/form_layout.hpp"
#include "platform/iow.hpp"
#include "platform/window_state.hpp"
#include "platform/window_system.hpp"

namespace app {

// Window texts (UTF-8).
inline constexpr std::string_view kTitle =
    " Ansteuerung Lumatext durch ITE 8705 Systemmonitor  von Telvaro";
inline constexpr std::string_view kMessenCaption = "Messen der CPU Temperatur und der L\u00fcfterdrehzahl";
inline constexpr std::string_view kEndeCaption = "Ende";
inline constexpr std::string_view kErrorTitle = "Error";
inline constexpr std::string_view kCannotOpenDevice = "IO-Warrior kann nicht ge\u00f6ffnet werden!";
inline constexpr std::string_view kNoPortAccess = "Kein Zugriff auf die Ports des Systemmonitors (0x295, 0x296)!";
inline constexpr std::string_view kNoTemperatureSensor =
#ifdef _WIN32
    "Keine CPU-Temperatur: an 0x290 ist kein ITE 8705, und PawnIO hat kein Modul, das die Temperatur dieser CPU "
    "liest (lumatext --sensors zeigt, was es gibt)!";
#else
    "Keine CPU-Temperatur: an 0x290 ist kein ITE 8705, und der Kernel bietet keinen Temperatursensor der CPU "
    "(lumatext --sensors zeigt, was er anbietet)!";
#endif

// Form1 and its buttons, in twips.
inline constexpr platform::FormLayout kForm1Layout{
    kTitle, 9300, 2100, {kMessenCaption, {120, 480, 4332, 732}}, {kEndeCaption, {5760, 480, 1332, 732}}};

// Exit status when no IO-Warrior can be opened or the monitor's ports cannot be reached.
inline constexpr int kExitStartFailed = 1;
// Exit status of the unattended modes when the IO-Warrior is gone (unplugged, reset,
// re-enumerated): the supervisor starts the program again, and it finds the device anew.
inline constexpr int kExitDeviceLost = 4;
inline constexpr std::string_view kDeviceLost =
    "IO-Warrior getrennt: lumatext wird beendet und vom Dienst neu gestartet";
// Where the platform waits for it instead (Linux), before the wait and after it.
inline constexpr std::string_view kDeviceLostAwaited =
    "IO-Warrior getrennt: lumatext wartet, bis er wieder angesteckt ist";
inline constexpr std::string_view kDeviceBack = "IO-Warrior wieder angesteckt: die Laufschrift beginnt von vorn";
// Exit status after a fault of the program itself (an unexpected exception).
inline constexpr int kExitInternalError = 70;
inline constexpr std::string_view kInternalError = "Interner Fehler, lumatext wird beendet: ";

// Pause between two readings on the sign.
inline constexpr std::chrono::seconds kPause{60};

// The ending work of every program that holds the IO-Warrior, however it ends: leaves the
// keypad at rest (a held key released, open text entry finished) and closes the
// IO-Warrior when it is open. A device that is gone is only closed: nothing is written
// to it. Problems are reported as diagnostics, never thrown.
void CloseKeypad(WindowState& state, iow::OutsideLibraries& lib, bool device_gone);

class Form1 {
 public:
  // `device_lost` is the message the unattended modes give when the IO-Warrior is gone.
  Form1(iow::OutsideLibraries& lib, platform::EventQueue& events, platform::WindowSystem& window,
        std::string_view device_lost = kDeviceLost);

  // Runs the program: Load, then the window's events until the program ends, however it
  // ends (platform::ProgramEnd; platform::DeviceGone in the unattended modes, which is
  // reported, with kExitDeviceLost; or an unexpected exception, which is reported).
  // Returns the exit status.
  int Run();

 private:
  // The ending work, the same for every way of ending: leaves the keypad at rest (a held
  // key released, open text entry finished) and closes the IO-Warrior when it is open.
  // A device that is gone is only closed: nothing is written to it. Returns `status`.
  int End(int status);

  // Window events.
  void Load();
  void Unload();
  void EndeClick();
  void MessenClick();

  // Handles the events waiting now, in the order they were made; never waits.
  void HandleWaitingEvents();
  void Dispatch(platform::WindowEvent event);

  // The measurement cycle, repeated until the program ends.
  [[noreturn]] void MeasurementCycle();
  // Returns 59.5 to 60.5 s after its call, answering the window meanwhile.
  void PauseOneMinute();

  WindowState state_;
  iow::OutsideLibraries& lib_;
  platform::EventQueue& events_;
  platform::WindowSystem& window_;
  std::string_view device_lost_;
  bool cycle_running_ = false;
  bool device_gone_ = false;
};

}  // namespace app
