#pragma once
// A directory with one IO-Warrior 24 node, interface 0, that records what is written
// to it and how often it is closed.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/device_files.hpp"

namespace platform::lnx {

class OneNode final : public DeviceFiles {
 public:
  std::vector<std::vector<std::uint8_t>> written;
  int closes = 0;

  std::vector<std::string> list(const std::string&) override { return {"iowarrior0"}; }
  int open(const std::string&) override { return 7; }
  int get_info(int, IowarriorInfo& info) override {
    info = {0x1501, 0, 2, ""};  // product IOW24, interface 0, 2-byte pin report, no serial
    return 0;
  }
  ssize_t write(int, const std::uint8_t* data, std::size_t size) override {
    written.emplace_back(data, data + size);
    return static_cast<ssize_t>(size);
  }
  void close(int) override { ++closes; }
};

}  // namespace platform::lnx
