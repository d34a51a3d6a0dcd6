#include "sim/options.hpp"

#include <bit>
#include <charconv>
#include <cmath>

#include "platform/iowarrior_models.hpp"
#include "app/keypad_tasks.hpp"
#include "sim/sim_clock.hpp"

namespace sim {
namespace {

// Seconds beyond this would not fit the clocks' nanosecond counts comfortably.
constexpr double kMaxSeconds = 1e9;
constexpr double kMaxSpeed = 1e6;

[[noreturn]] void Fail(std::string_view option, std::string_view value, std::string_view why) {
  throw UsageError(std::string(option) + ": \u201e" + std::string(value) + "\u201c " + std::string(why));
}

std::optional<double> ParseDouble(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

double ParseSeconds(std::string_view option, std::string_view text) {
  const auto value = ParseDouble(text);
  if (!value || *value < 0 || *value > kMaxSeconds) Fail(option, text, "ist keine Sekundenzahl von 0 bis 1e9");
  return *value;
}

std::vector<std::uint8_t> ParseBytes(std::string_view option, std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
    const auto value = ParseInt(item);
    if (!value || *value < 0 || *value > 255) Fail(option, text, "ist keine Liste von Bytewerten (0 bis 255)");
    bytes.push_back(static_cast<std::uint8_t>(*value));
    if (comma == std::string_view::npos) return bytes;
    start = comma + 1;
  }
}

std::vector<std::uint16_t> ParseCounts(std::string_view option, std::string_view text) {
  std::vector<std::uint16_t> counts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
    const auto value = ParseInt(item);
    if (!value || *value < 0 || *value > 0xFFFF) Fail(option, text, "ist keine Liste von Z\u00e4hlwerten (0 bis 65535)");
    counts.push_back(static_cast<std::uint16_t>(*value));
    if (comma == std::string_view::npos) return counts;
    start = comma + 1;
  }
}

std::optional<unsigned> ParseHex(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// ID[:REVISION] in hex, e.g. 8712:08: an ITE chip ID 0x87xx, a revision 0 to 0xF.
void ParseChip(std::string_view option, std::string_view text, Options& options) {
  const std::size_t colon = text.find(':');
  const auto id = ParseHex(text.substr(0, colon));
  const auto revision = colon == std::string_view::npos ? std::optional<unsigned>(0) : ParseHex(text.substr(colon + 1));
  if (!id || *id >> 8 != 0x87 || !revision || *revision > 0xF) {
    Fail(option, text, "ist keine ITE-Chip-ID mit Revision wie 8712:08");
  }
  options.chip_id = static_cast<std::uint16_t>(*id);
  options.chip_revision = static_cast<std::uint8_t>(*revision);
}

// 16, or 8:DIVISOR with a power of two from 1 to 128.
void ParseFanMode(std::string_view option, std::string_view text, Options& options) {
  if (text == "16") {
    options.fan_16bit = 0x07;
    return;
  }
  const auto divisor = text.starts_with("8:") ? ParseInt(text.substr(2)) : std::nullopt;
  if (!divisor || *divisor < 1 || *divisor > 128 || (*divisor & (*divisor - 1)) != 0) {
    Fail(option, text, "ist weder 16 noch 8:TEILER mit einer Zweierpotenz von 1 bis 128");
  }
  options.fan_16bit = 0;
  options.fan_divisors = static_cast<std::uint8_t>(std::countr_zero(static_cast<unsigned>(*divisor)));
}

ScheduledAction ParseAction(std::string_view option, std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) Fail(option, text, "hat nicht die Form SEKUNDEN:AKTION");
  const double seconds = ParseSeconds(option, text.substr(0, colon));
  const std::string_view name = text.substr(colon + 1);
  platform::WindowEvent event{};
  if (name == "Messen") {
    event = platform::WindowEvent::MessenClick;
  } else if (name == "Ende") {
    event = platform::WindowEvent::EndeClick;
  } else if (name == "Close") {
    event = platform::WindowEvent::Unload;
  } else {
    Fail(option, text, "nennt keine Aktion Messen, Ende oder Close");
  }
  return {Seconds(seconds), event};
}

// HH:MM:SS with an optional fraction of one to three digits.
double ParseTimeOfDay(std::string_view option, std::string_view text) {
  const auto field = [&](std::size_t at, int limit) {
    const auto value = text.size() >= at + 2 ? ParseInt(text.substr(at, 2)) : std::nullopt;
    if (!value || *value < 0 || *value > limit || text[at] < '0' || text[at] > '9') {
      Fail(option, text, "ist keine Uhrzeit HH:MM:SS[.fff]");
    }
    return *value;
  };
  const bool shape = text.size() >= 8 && text[2] == ':' && text[5] == ':' &&
                     (text.size() == 8 || (text[8] == '.' && text.size() >= 10 && text.size() <= 12));
  if (!shape) Fail(option, text, "ist keine Uhrzeit HH:MM:SS[.fff]");
  double seconds = field(0, 23) * 3600.0 + field(3, 59) * 60.0 + field(6, 59);
  if (text.size() > 8) {
    const std::string_view digits = text.substr(9);
    const auto fraction = ParseInt(digits);
    if (!fraction || *fraction < 0 || digits.front() < '0') Fail(option, text, "ist keine Uhrzeit HH:MM:SS[.fff]");
    seconds += *fraction / std::pow(10.0, static_cast<double>(digits.size()));
  }
  return seconds;
}

}  // namespace

Options ParseOptions(std::span<const std::string_view> args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view option = args[i];
    std::optional<std::string_view> inline_value;
    if (const std::size_t equals = option.find('='); option.starts_with("--") && equals != std::string_view::npos) {
      inline_value = option.substr(equals + 1);
      option = option.substr(0, equals);
    }
    const auto value = [&]() -> std::string_view {
      if (inline_value) return *inline_value;
      if (i + 1 >= args.size()) throw UsageError(std::string(option) + ": Wert fehlt");
      return args[++i];
    };
    const auto flag = [&] {
      if (inline_value) Fail(option, *inline_value, "\u2013 diese Option nimmt keinen Wert");
      return true;
    };
    if (option == "--help" || option == "-h") {
      options.help = flag();
    } else if (option == "--headless") {
      options.headless = flag();
    } else if (option == "--service") {
      options.headless = flag();
      options.service = Options::Service::kRun;
    } else if (option == "--install-service") {
      flag();
      options.service = Options::Service::kInstall;
    } else if (option == "--remove-service") {
      flag();
      options.service = Options::Service::kRemove;
    } else if (option == "--unattended") {
      options.unattended = options.headless = flag();
    } else if (option == "--iowarrior") {
      const std::string_view text = value();
      const platform::IowarriorModel* model = platform::FindIowarriorModelByOption(text);
      if (model == nullptr) Fail(option, text, "ist kein IO-Warrior-Modell 24, 28, 28L, 40, 56 oder 100");
      options.iowarrior = model->product;
    } else if (option == "--no-device") {
      options.no_device = flag();
    } else if (option == "--reject-writes") {
      options.reject_writes = flag();
    } else if (option == "--unplug-at") {
      options.unplug_at = ParseSeconds(option, value());
    } else if (option == "--unplug-every") {
      const std::string_view text = value();
      options.unplug_every = ParseSeconds(option, text);
      if (*options.unplug_every <= 0) Fail(option, text, "muss gr\u00f6\u00dfer als 0 sein");
    } else if (option == "--restart-after") {
      options.restart_after = ParseSeconds(option, value());
    } else if (option == "--no-port-access") {
      options.no_port_access = flag();
    } else if (option == "--hwmon") {
      options.hwmon = std::string(value());
    } else if (option == "--temperature-sensor") {
      options.temperature_sensor = std::string(value());
    } else if (option == "--fan-sensor") {
      options.fan_sensor = std::string(value());
    } else if (option == "--at") {
      options.actions.push_back(ParseAction(option, value()));
    } else if (option == "--temperature") {
      options.temperatures = ParseBytes(option, value());
    } else if (option == "--fan-count") {
      options.fan_counts = ParseCounts(option, value());
    } else if (option == "--chip") {
      ParseChip(option, value(), options);
    } else if (option == "--fan-mode") {
      ParseFanMode(option, value(), options);
    } else if (option == "--speed") {
      const std::string_view text = value();
      const auto speed = ParseDouble(text);
      if (!speed || *speed < 0 || *speed > kMaxSpeed) Fail(option, text, "ist kein Faktor von 0 bis 1e6");
      options.speed = *speed;
    } else if (option == "--time-of-day") {
      options.time_of_day = ParseTimeOfDay(option, value());
    } else if (option == "--max-time") {
      const std::string_view text = value();
      options.max_time = ParseSeconds(option, text);
      if (options.max_time <= 0) Fail(option, text, "muss gr\u00f6\u00dfer als 0 sein");
    } else if (option == "--type") {
      const std::string_view text = value();
      // Checked before anything is simulated: a text the sign cannot show types nothing.
      if (const auto refusal = app::RefuseTypedText(text)) throw UsageError("--type: " + *refusal);
      options.type_text = std::string(text);
    } else if (option == "--test-keys") {
      options.test_keys = flag();
    } else if (option == "--log") {
      const std::string_view path = value();
      if (path.empty()) Fail(option, path, "ist kein Dateiname");
      options.log_path = std::string(path);
    } else {
      throw UsageError(std::string(option) + ": unbekannte Option");
    }
  }
  if (options.unattended && !options.actions.empty()) {
    throw UsageError("--at: nicht mit --unattended (ohne Fenster gibt es keine Klicks)");
  }
  if (options.restart_after && !options.unattended) throw UsageError("--restart-after: nur mit --unattended");
  const bool sixteen_bit = options.chip_id != 0x8705 && options.fan_16bit != 0;
  for (const std::uint16_t count : options.fan_counts) {
    if (count > 0xFF && !sixteen_bit) throw UsageError("--fan-count: Werte \u00fcber 255 nur mit --fan-mode 16 und --chip");
  }
  if (options.type_text || options.test_keys) {
    const std::string_view task = options.type_text ? "--type" : "--test-keys";
    if (options.type_text && options.test_keys) throw UsageError("--test-keys: nicht mit --type");
    if (options.unattended) throw UsageError(std::string(task) + ": nicht mit --unattended");
    if (!options.actions.empty()) throw UsageError(std::string(task) + ": nicht mit --at");
    if (options.service != Options::Service::kNone) throw UsageError(std::string(task) + ": nicht als Dienst");
  }
  return options;
}

std::string Usage() {
  return "Aufruf: lumatext-sim [OPTIONEN]\n"
         "Das Programm auf simulierter Hardware: ITE 8705, IO-Warrior und LED-Laufschrift.\n"
         "\n"
         "  --headless                ohne Fenster; Benutzeraktionen kommen von --at\n"
         "  --unattended              wie lumatext --headless: misst sofort, ohne --at; ist der\n"
         "                            IO-Warrior getrennt, endet es mit Status 4\n"
         "  --at SEKUNDEN:AKTION      Aktion Messen, Ende oder Close (Fenster schlie\u00dfen) zur\n"
         "                            simulierten Zeit SEKUNDEN nach dem Start (mehrfach m\u00f6glich)\n"
         "  --temperature LISTE       Werte von Register 0x29 je Lesen, z. B. 45,46,47 (Vorgabe 45)\n"
         "  --fan-count LISTE         Werte von Register 0x0D je Lesen (Vorgabe 60); der letzte Wert bleibt;\n"
         "                            mit --fan-mode 16 Z\u00e4hlwerte bis 65535 (High-Byte in Register 0x18)\n"
         "  --chip ID[:REV]           ein sp\u00e4terer ITE-Chip statt des IT8705F, z. B. 8712:08 (hex)\n"
         "  --fan-mode 16|8:TEILER    L\u00fcfterz\u00e4hler des sp\u00e4teren Chips: 16 Bit (Register 0x0C)\n"
         "                            oder 8 Bit mit dem Teiler in Register 0x0B (Vorgabe 8:1)\n"
         "  --speed FAKTOR            1 Echtzeit (Vorgabe), N N-mal schneller, 0 virtuelle Zeit\n"
         "  --time-of-day HH:MM:SS[.fff]  Uhrzeit beim Start (Vorgabe: die echte)\n"
         "  --iowarrior MODELL        das Modell des IO-Warriors: 24 (Vorgabe), 28, 28L, 40, 56 oder 100\n"
         "  --no-device               kein IO-Warrior angeschlossen\n"
         "  --reject-writes           jeder Schreibzugriff auf den IO-Warrior schl\u00e4gt fehl\n"
         "  --unplug-at SEKUNDEN      der IO-Warrior wird zur simulierten Zeit SEKUNDEN abgezogen\n"
         "  --unplug-every SEKUNDEN   der IO-Warrior wird alle SEKUNDEN abgezogen\n"
         "  --restart-after SEKUNDEN  mit --unattended: nach Status 4 wird der IO-Warrior wieder\n"
         "                            angesteckt und das Programm SEKUNDEN sp\u00e4ter neu gestartet\n"
         "  --no-port-access          kein Zugriff auf die Ports des Systemmonitors\n"
         "  --hwmon ORDNER            ein Rechner ohne ITE 8705 an 0x290, dessen Kernel die Sensoren in ORDNER\n"
         "                            anbietet (aufgebaut wie /sys/class/hwmon)\n"
         "  --temperature-sensor TREIBER:NAME, --fan-sensor TREIBER:NAME\n"
         "                            die Sensoren aus ORDNER, wie bei lumatext\n"
         "  --max-time SEKUNDEN       Abbruch mit Status 3 nach so viel simulierter Zeit (Vorgabe 86400)\n"
         "  --type TEXT               tippt TEXT einmal und endet (1 bis 100 Zeichen aus A-Z, a-z, 0-9,\n"
         "                            Leerzeichen und !\"#$%&'()*+,-./:;<=>?@); die Dauer auf stderr\n"
         "  --test-keys               dr\u00fcckt jede der vier Tasten einzeln, jeweils nach einer Zeile\n"
         "                            auf stdin (Enter); die Ansagen auf stderr\n"
         "  --log DATEI               jedes Ereignis als \"T EREIGNIS ARGUMENTE\" (- f\u00fcr die Standardausgabe)\n"
         "  --install-service         richtet lumatext-sim mit den \u00fcbrigen Optionen als Windows-Dienst\n"
         "                            lumatext ein (wie lumatext --install-service)\n"
         "  --remove-service          h\u00e4lt den Windows-Dienst lumatext an und entfernt ihn\n"
         "  --help                    diese Hilfe\n"
         "\n"
         "Exit-Status: 0 Ende oder Fenster geschlossen, 1 kein IO-Warrior oder kein Portzugriff,\n"
         "2 falscher Aufruf, "
         "3 --max-time \u00fcberschritten, 4 IO-Warrior getrennt (--unattended).\n";
}

}  // namespace sim
