#pragma once
// The window state: one record per program run, created with the window Form1.
// The system's procedures pass data to one another through these fields.

#include <array>
#include <cstdint>
#include <string>

#include "iow.hpp"

struct WindowState {
  // IO-Warrior handle from IowKitOpenDevice; 0 when none could be opened.
  iow::IowKitHandle DeviceHandle = 0;
  // IO-Warrior output report: bytes 0 to 2 are sent, byte 3 is never written.
  std::array<std::uint8_t, 4> Report{};
  // Port-0 byte of the report being built or last sent.
  std::uint8_t Port0Value = 0;
  // Port-1 byte (the key lines) of the report being built or last sent.
  std::uint8_t Port1Value = 0;
  // Text to be typed into the display (ASCII).
  std::string DisplayText;
  // Character code of the character being entered.
  std::int16_t CharCode = 0;
  // The one-character string being entered.
  std::string CurrentChar;
  // Ring position the display is assumed to show.
  std::int16_t CurrentIndex = 0;
  // Last sensor value, then the computed fan speed in rpm. 32 bits wide: a tachometer
  // count of 1 gives 168,750 rpm.
  std::int32_t Reading = 0;
  // Forward steps from CurrentIndex to TargetIndex.
  std::int16_t Steps = 0;
  // Ring position of the character being entered.
  std::int16_t TargetIndex = 0;

  // What ending the program needs to know of the keypad, kept by the key pulses.
  // A key line is low in the report last written: a pulse is being held.
  bool KeyHeld = false;
  // Text entry on the sign is open: started and not yet finished.
  bool EntryOpen = false;
};

#if defined(_WIN32) && !defined(_WIN64)
// On 32-bit Windows the IO-Warrior library's handle, and so DeviceHandle, is 32 bits wide.
static_assert(sizeof(WindowState::DeviceHandle) == 4);
#endif
