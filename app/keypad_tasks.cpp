#include "app/keypad_tasks.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iterator>
#include <utility>

#include "app/form1.hpp"
#include "display/key_pulses.hpp"
#include "display/text_entry.hpp"
#include "platform/diagnostics.hpp"

namespace app {
namespace {

// One character of a text given as UTF-8: its bytes, and its code point where the bytes
// are valid UTF-8.
struct Character {
  std::string_view bytes;
  std::optional<char32_t> code;
};

// The character at the start of `text` (not empty). A byte that starts no valid UTF-8
// sequence is a character of its own.
Character NextCharacter(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {text.substr(0, 1), lead};
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4                                 ? 4
                                                                                            : 0;
  if (length == 0 || text.size() < length) return {text.substr(0, 1), std::nullopt};
  char32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {text.substr(0, 1), std::nullopt};
    code = (code << 6) | (byte(i) & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {text.substr(0, 1), std::nullopt};
  return {text.substr(0, length), code};
}

std::string Hex(char32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(value));
  return buffer;
}

// How a refused character is named: printable ones as themselves, with their code point
// beyond ASCII; control characters and broken bytes by their number.
std::string NameOf(const Character& c) {
  if (!c.code) {
    const unsigned char byte = static_cast<unsigned char>(c.bytes[0]);
    std::string name = "Byte 0x" + Hex(byte, 2);
    // A Windows console hands the arguments over in its ANSI code page, Windows-1252,
    // whose characters from 0xA0 on are Latin-1's: an "ä" arrives as the byte 0xE4.
    if (byte < 0xA0) return name + " (kein UTF-8)";
    const char latin1[] = {static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F)), '\0'};
    return name + " (\u201e" + latin1 + "\u201c in Windows-1252)";
  }
  const char32_t code = *c.code;
  if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) return "Steuerzeichen 0x" + Hex(code, 2);
  std::string name = "\u201e" + std::string(c.bytes) + "\u201c";
  if (code >= 0x80) name += " (U+" + Hex(code, 4) + ")";
  return name;
}

// The IO-Warrior and ports of a dry run: writes succeed and go nowhere.
class NoDevice final : public iow::IowKit, public iow::PortIo {
 public:
  iow::IowKitHandle open_device() override { return 1; }
  std::uint32_t write(iow::IowKitHandle, std::uint32_t, const std::uint8_t*, std::uint32_t length) override {
    return length;
  }
  void close_device(iow::IowKitHandle) override {}
  bool acquire(std::uint16_t, std::uint16_t) override { return true; }
  void out(std::uint16_t, std::uint8_t) override {}
  std::uint8_t in(std::uint16_t) override { return 0; }
};

// A clock whose sleeps only add up the time slept.
class CountingClock final : public iow::Clock {
 public:
  iow::TimePoint now() override { return now_; }
  void sleep_until(iow::TimePoint deadline) override { now_ = std::max(now_, deadline); }
  double time_of_day() override { return 0; }

 private:
  iow::TimePoint now_{};
};

struct KeyStep {
  void (*press)(WindowState&, iow::OutsideLibraries&);
  std::string_view key;
  std::string_view afterwards;
};

// Each key line alone, in the order that takes the sign through one text entry.
constexpr KeyStep kKeySteps[] = {
    {display::PressNextPosition,
     "Leitung 0 (P1.0), Taste \u201eTexteingabe beginnen / n\u00e4chste Stelle\u201c, kurz gedr\u00fcckt (50 ms).",
     "Au\u00dferhalb der Texteingabe bleibt die Anzeige der Laufschrift dabei unver\u00e4ndert."},
    {display::PressStartEntry,
     "Leitung 0 (P1.0), dieselbe Taste, lang gedr\u00fcckt (4 s).",
     "Danach ist die Texteingabe offen: an der ersten Stelle steht \u201eA\u201c."},
    {display::PressCharForward,
     "Leitung 2 (P1.2), Taste \u201eZeichen vor\u201c (50 ms).",
     "Danach steht an der ersten Stelle \u201eB\u201c."},
    {display::PressCharBack,
     "Leitung 4 (P1.4), Taste \u201eZeichen zur\u00fcck\u201c (50 ms).",
     "Danach steht an der ersten Stelle wieder \u201eA\u201c."},
    {display::PressFinishEntry,
     "Leitung 6 (P1.6), Taste \u201eTexteingabe beenden\u201c (50 ms).",
     "Danach ist die Texteingabe geschlossen; da kein Zeichen \u00fcbernommen wurde, ist der Text leer."},
};

}  // namespace

std::optional<std::string> RefuseTypedText(std::string_view text) {
  if (text.empty()) return "der Text ist leer";
  std::size_t count = 0;
  for (std::string_view rest = text; !rest.empty(); ++count) {
    const Character c = NextCharacter(rest);
    rest.remove_prefix(c.bytes.size());
    if (c.code && *c.code < 0x80 && display::RingIndexOf(static_cast<std::int32_t>(*c.code)) >= 0) continue;
    return "Zeichen " + NameOf(c) + " an Stelle " + std::to_string(count + 1) +
           " gibt es auf der Laufschrift nicht; m\u00f6glich sind A-Z, a-z, 0-9, das Leerzeichen und "
           "!\"#$%&'()*+,-./:;<=>?@";
  }
  if (count > kMaxTypedText) {
    return "der Text hat " + std::to_string(count) + " Zeichen, h\u00f6chstens " + std::to_string(kMaxTypedText) +
           " sind m\u00f6glich";
  }
  return std::nullopt;
}

std::chrono::milliseconds TypingTime(std::string_view text) {
  NoDevice device;
  CountingClock clock;
  iow::OutsideLibraries lib(device, device, clock);
  WindowState state;
  state.DeviceHandle = lib.IowKitOpenDevice();
  display::ReleaseAllKeys(state, lib);
  state.DisplayText = std::string(text);
  display::EnterText(state, lib);
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - iow::TimePoint{});
}

std::string TypingAnnouncement(std::string_view text) {
  const auto time = TypingTime(text);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%lld,%02lld", static_cast<long long>(time.count() / 1000),
                static_cast<long long>(time.count() % 1000 / 10));
  return "Tippe \u201e" + std::string(text) + "\u201c (" + std::to_string(text.size()) + " Zeichen) ein, Dauer etwa " +
         seconds + " s\n";
}

int KeypadSession::Run(const Task& task) {
  std::string unexpected;
  bool device_gone = false;
  try {
    state_.DeviceHandle = lib_.IowKitOpenDevice();
    if (state_.DeviceHandle == 0) {
      window_.message_box(kCannotOpenDevice, kErrorTitle);
      return kExitStartFailed;
    }
    display::ReleaseAllKeys(state_, lib_);
    window_.show_form();
    task(state_, lib_);
    CloseKeypad(state_, lib_, false);
    return 0;
  } catch (const platform::ProgramEnd& end) {
    CloseKeypad(state_, lib_, false);
    return end.status;
  } catch (const platform::DeviceGone&) {
    device_gone = true;
  } catch (const std::exception& error) {
    unexpected = error.what();
  } catch (...) {
    unexpected = "unbekannte Ausnahme";
  }
  if (device_gone) {
    try {
      window_.message_box(kDeviceLostByHand, kErrorTitle);
    } catch (...) {
      // An end signal meanwhile: the device is closed all the same.
    }
    CloseKeypad(state_, lib_, true);
    return kExitDeviceLost;
  }
  CloseKeypad(state_, lib_, false);
  const std::string text = std::string(kInternalError) + unexpected;
  platform::Diagnostic("lumatext: " + text);
  try {
    window_.message_box(text, kErrorTitle);
  } catch (...) {
  }
  return kExitInternalError;
}

KeypadSession::Task TypeTextTask(std::string text) {
  return [text = std::move(text)](WindowState& w, iow::OutsideLibraries& lib) {
    w.DisplayText = text;
    display::EnterText(w, lib);
  };
}

KeypadSession::Task TestKeysTask(platform::LineInput& input, Say say) {
  return [&input, say = std::move(say)](WindowState& w, iow::OutsideLibraries& lib) {
    say("Tastentest: jede der vier Tasten wird einzeln gedr\u00fcckt, vor jedem Druck mit Enter best\u00e4tigt "
        "(Strg+C bricht ab).\n");
    const std::size_t steps = std::size(kKeySteps);
    for (std::size_t i = 0; i < steps; ++i) {
      const KeyStep& step = kKeySteps[i];
      // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) on "\n" + std::string.
      std::string prompt = "\n";
      prompt += std::to_string(i + 1);
      prompt += " von ";
      prompt += std::to_string(steps);
      prompt += ": ";
      prompt += step.key;
      prompt += "\n  ";
      prompt += step.afterwards;
      prompt += "\n  Weiter mit Enter: ";
      say(prompt);
      if (!input.read_line()) {
        // The test ends here: a text entry the long press opened is finished first.
        display::LeaveKeypadAtRest(w, lib);
        say("\nEingabe beendet: Tastentest abgebrochen, alle Tasten losgelassen.\n");
        return;
      }
      step.press(w, lib);
      // The sign's gap between two presses; the simulator's sign is drawn meanwhile.
      lib.DELAY(display::kGap);
      say("gedr\u00fcckt und losgelassen.\n");
    }
    say("\nTastentest beendet: alle Tasten losgelassen.\n");
  };
}

}  // namespace app
