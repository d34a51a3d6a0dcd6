#pragma once
// A simulated ITE 8705 environment controller behind its address and data ports, or
// that of a later ITE chip. The temperature and fan-count registers answer from lists
// of values, one per read, the last one repeating. A later chip also has the fan divisor
// register 0x0B, the 16-bit counter enable 0x0C and the count's high byte 0x18, which
// gives the high byte of the count register 0x0D gave last.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/hwmon_files.hpp"
#include "platform/iow.hpp"

namespace sim {

class EventLog;

class SimIte8705 final : public iow::PortIo {
 public:
  // Fan counts above 255 are for a chip in 16-bit mode: register 0x0D gives the low byte.
  SimIte8705(std::vector<std::uint8_t> temperatures, std::vector<std::uint16_t> fan_counts,
             EventLog* log = nullptr);

  bool acquire(std::uint16_t first, std::uint16_t count) override;
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;

  // The chip the platform found, as chip() tells it (the IT8705F unless set).
  iow::MonitorChip chip() const override { return chip_; }

  // With set_hwmon: no ITE 8705 at 0x290, and the kernel's monitors are the folder's.
  std::string foreign_ports() const override;
  std::vector<platform::HwmonDevice> kernel_monitors() const override;
  void read_kernel_monitors(const std::optional<platform::HwmonSource>& temperature,
                            const std::optional<platform::HwmonSource>& fan, const std::string& why) override;
  iow::MonitorDriver* driver() override { return kernel_.get(); }

  // A PC without the chip, whose kernel offers the monitors in `folder` (laid out as
  // /sys/class/hwmon): the readings come from them as the program picks them.
  void set_hwmon(std::filesystem::path folder) { hwmon_ = std::move(folder); }

  // Port access is refused, as without the right to use the ports.
  void set_accessible(bool accessible) { accessible_ = accessible; }
  // The chip identity chip() gives.
  void set_chip(iow::MonitorChip chip) { chip_ = chip; }
  // Registers 0x0B (fan divisors) and 0x0C (16-bit counter enable); both 0 unless set.
  void set_fan_registers(std::uint8_t divisors, std::uint8_t sixteen_bit) {
    fan_divisors_ = divisors;
    fan_16bit_ = sixteen_bit;
  }

  int temperature_reads() const { return temperature_reads_; }
  int fan_count_reads() const { return fan_count_reads_; }

 private:
  template <typename T>
  T next(const std::vector<T>& values, int& reads);

  std::vector<std::uint8_t> temperatures_;
  std::vector<std::uint16_t> fan_counts_;
  iow::MonitorChip chip_{0x8705, 0};
  std::uint8_t fan_divisors_ = 0;
  std::uint8_t fan_16bit_ = 0;
  std::uint16_t last_count_ = 0;
  EventLog* log_;
  std::optional<std::filesystem::path> hwmon_;
  std::unique_ptr<platform::KernelMonitorFiles> kernel_;
  bool accessible_ = true;
  bool acquired_ = false;
  std::uint8_t selected_register_ = 0;
  int temperature_reads_ = 0;
  int fan_count_reads_ = 0;
};

}  // namespace sim
