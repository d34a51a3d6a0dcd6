#pragma once
// A simulated ITE 8705 environment controller behind its address and data ports.
// The temperature and fan-count registers answer from lists of values, one per read,
// the last one repeating.

#include <cstdint>
#include <vector>

#include "platform/iow.hpp"

namespace sim {

class EventLog;

class SimIte8705 final : public iow::PortIo {
 public:
  SimIte8705(std::vector<std::uint8_t> temperatures, std::vector<std::uint8_t> fan_counts,
             EventLog* log = nullptr);

  bool acquire(std::uint16_t first, std::uint16_t count) override;
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;

  // Port access is refused, as without the right to use the ports.
  void set_accessible(bool accessible) { accessible_ = accessible; }

  int temperature_reads() const { return temperature_reads_; }
  int fan_count_reads() const { return fan_count_reads_; }

 private:
  std::uint8_t next(const std::vector<std::uint8_t>& values, int& reads);

  std::vector<std::uint8_t> temperatures_;
  std::vector<std::uint8_t> fan_counts_;
  EventLog* log_;
  bool accessible_ = true;
  bool acquired_ = false;
  std::uint8_t selected_register_ = 0;
  int temperature_reads_ = 0;
  int fan_count_reads_ = 0;
};

}  // namespace sim
