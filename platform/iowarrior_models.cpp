#include "platform/iowarrior_models.hpp"

#include <algorithm>

#include "platform/hex_text.hpp"

namespace platform {
namespace {

// The keypad's lines lie on port 1: a pin report needs port 0 and port 1.
constexpr std::uint32_t kKeypadPortBytes = kKeypadReportLength - 1;

// Port bytes as the Linux driver's report size gives them for the pins interface; the
// Windows HID output report is one byte longer (the report ID). The PowerVampire
// variants' length is not known here: they are taken with the length they report.
constexpr IowarriorModel kModels[] = {
    {0x1501, "IO-Warrior 24", "24", 2, false},     {0x1500, "IO-Warrior 40", "40", 4, false},
    {0x1503, "IO-Warrior 56", "56", 7, true},      {0x1504, "IO-Warrior 28", "28", 4, true},
    {0x1505, "IO-Warrior 28L", "28L", 4, true},    {0x1506, "IO-Warrior 100", "100", 12, true},
    {0x1511, "IO-Warrior 24 PV1", "", 0, false},   {0x1512, "IO-Warrior 24 PV2", "", 0, false},
};

std::string PortBytes(std::uint32_t count) {
  return std::to_string(count) + (count == 1 ? " Port-Byte" : " Port-Bytes");
}

}  // namespace

std::span<const IowarriorModel> IowarriorModels() { return kModels; }

const IowarriorModel* FindIowarriorModel(std::uint32_t product) {
  const auto* found = std::find_if(std::begin(kModels), std::end(kModels),
                                   [&](const IowarriorModel& model) { return model.product == product; });
  return found == std::end(kModels) ? nullptr : found;
}

const IowarriorModel* FindIowarriorModelByOption(std::string_view option) {
  const auto* found = std::find_if(std::begin(kModels), std::end(kModels), [&](const IowarriorModel& model) {
    return !model.option.empty() && model.option == option;
  });
  return found == std::end(kModels) ? nullptr : found;
}

std::string IowarriorModelName(std::uint32_t product) {
  const IowarriorModel* model = FindIowarriorModel(product);
  if (model == nullptr) return "unbekanntes Modell " + Hex(product, 4);
  return std::string(model->name) + " (" + Hex(product, 4) + ")";
}

PinReportFit FitPinReport(std::uint32_t product, std::uint32_t reported_port_bytes) {
  const IowarriorModel* model = FindIowarriorModel(product);
  const std::string name = IowarriorModelName(product);
  if (model != nullptr && model->port_bytes != 0) {
    if (reported_port_bytes == 0 || reported_port_bytes == model->port_bytes) return {true, model->port_bytes, {}};
    return {false, reported_port_bytes,
            name + " mit einem Pin-Report von " + PortBytes(reported_port_bytes) + " gemeldet, das Modell hat " +
                PortBytes(model->port_bytes) + ": ein Report dieser L\u00e4nge setzt seine Pins nicht (ein Fehler "
                "des Treibers?), lumatext schreibt ihm daher nicht"};
  }
  if (reported_port_bytes == 0) {
    return {false, 0, name + ": die L\u00e4nge seines Pin-Reports ist nicht zu erfahren"};
  }
  if (reported_port_bytes < kKeypadPortBytes) {
    return {false, reported_port_bytes,
            name + " hat nur " + PortBytes(reported_port_bytes) +
                "; die Tasten der Laufschrift liegen an Port 1, lumatext braucht einen IO-Warrior mit mindestens "
                "zwei Ports"};
  }
  return {true, reported_port_bytes,
          name + " mit " + PortBytes(reported_port_bytes) +
              ": lumatext nimmt es wie die bekannten Modelle, die Tasten an Port 1 (dem zweiten Port-Byte), "
              "jedes weitere Port-Byte 0xFF"};
}

std::vector<std::uint8_t> WidenPinReport(std::span<const std::uint8_t> report, std::uint32_t port_bytes) {
  if (report.size() < kKeypadReportLength || report.size() > port_bytes + 1u || report[0] != 0x00) return {};
  std::vector<std::uint8_t> widened(report.begin(), report.end());
  widened.resize(port_bytes + 1u, 0xFF);
  return widened;
}

}  // namespace platform
