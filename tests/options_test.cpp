#include "sim/options.hpp"

#include <gtest/gtest.h>

namespace {

sim::Options Parse(std::vector<std::string_view> args) { return sim::ParseOptions(args); }

TEST(Options, DefaultsAreRealTimeWithReadings45And60) {
  const sim::Options o = Parse({});
  EXPECT_FALSE(o.headless);
  EXPECT_EQ(o.speed, 1);
  EXPECT_EQ(o.temperatures, std::vector<std::uint8_t>{45});
  EXPECT_EQ(o.fan_counts, std::vector<std::uint16_t>{60});
  EXPECT_EQ(o.max_time, 86400);
  EXPECT_FALSE(o.time_of_day);
  EXPECT_FALSE(o.log_path);
}

TEST(Options, ParsesEveryOption) {
  const sim::Options o =
      Parse({"--headless", "--at", "0:Messen", "--at=12.5:Close", "--at", "3:Ende", "--temperature", "0,255,7",
             "--fan-count", "0", "--speed", "0", "--time-of-day", "23:59:59.5", "--no-device", "--reject-writes",
             "--no-port-access", "--max-time", "10", "--log", "-"});
  EXPECT_TRUE(o.headless);
  ASSERT_EQ(o.actions.size(), 3u);
  EXPECT_EQ(o.actions[1].event, platform::WindowEvent::Unload);
  EXPECT_EQ(o.actions[1].at, std::chrono::milliseconds{12500});
  EXPECT_EQ(o.actions[2].event, platform::WindowEvent::EndeClick);
  EXPECT_EQ(o.temperatures, (std::vector<std::uint8_t>{0, 255, 7}));
  EXPECT_EQ(o.fan_counts, std::vector<std::uint16_t>{0});
  EXPECT_EQ(o.speed, 0);
  EXPECT_DOUBLE_EQ(*o.time_of_day, 86399.5);
  EXPECT_TRUE(o.no_device && o.reject_writes && o.no_port_access);
  EXPECT_EQ(o.max_time, 10);
  EXPECT_EQ(*o.log_path, "-");
}

TEST(Options, SetsUpALaterChipsFanRegisters) {
  sim::Options o = Parse({"--chip", "8712:08", "--fan-mode", "16", "--fan-count", "225,65535"});
  EXPECT_EQ(o.chip_id, 0x8712);
  EXPECT_EQ(o.chip_revision, 0x08);
  EXPECT_EQ(o.fan_16bit, 0x07);
  EXPECT_EQ(o.fan_counts, (std::vector<std::uint16_t>{225, 65535}));
  o = Parse({"--chip", "8716", "--fan-mode", "8:128"});
  EXPECT_EQ(o.chip_id, 0x8716);
  EXPECT_EQ(o.fan_16bit, 0);
  EXPECT_EQ(o.fan_divisors, 7);
}

TEST(Options, RejectsBadArgumentsNamingTheOption) {
  struct Row {
    std::vector<std::string_view> args;
    const char* named;
  };
  const Row rows[] = {
      {{"--temperature", "abc"}, "--temperature"},
      {{"--temperature", "256"}, "--temperature"},
      {{"--fan-count", "-1"}, "--fan-count"},
      {{"--fan-count", ""}, "--fan-count"},
      {{"--fan-count", "1,,2"}, "--fan-count"},
      {{"--temperature", "45,"}, "--temperature"},
      {{"--time-of-day", "24:00:00"}, "--time-of-day"},
      {{"--time-of-day", "12:60:00"}, "--time-of-day"},
      {{"--time-of-day", "1:00:00"}, "--time-of-day"},
      {{"--time-of-day", "12:00:00."}, "--time-of-day"},
      {{"--time-of-day", "12:00:00.1234"}, "--time-of-day"},
      {{"--time-of-day", "12:00:0x"}, "--time-of-day"},
      {{"--at", "5:Start"}, "--at"},
      {{"--at", "5"}, "--at"},
      {{"--at", "-1:Ende"}, "--at"},
      {{"--at", "nan:Ende"}, "--at"},
      {{"--speed", "-2"}, "--speed"},
      {{"--speed", "fast"}, "--speed"},
      {{"--speed", "1e300"}, "--speed"},
      {{"--max-time", "0"}, "--max-time"},
      {{"--max-time", "1e12"}, "--max-time"},
      {{"--log", ""}, "--log"},
      {{"--frobnicate"}, "--frobnicate"},
      {{"--speed"}, "--speed"},
      {{"--headless=yes"}, "--headless"},
      {{"--chip", "1234"}, "--chip"},
      {{"--chip", "8712:10"}, "--chip"},
      {{"--fan-mode", "8:3"}, "--fan-mode"},
      {{"--fan-mode", "12"}, "--fan-mode"},
      // A count above 255 has no place in an 8-bit register.
      {{"--fan-count", "256"}, "--fan-count"},
      {{"--chip", "8712:08", "--fan-mode", "8:2", "--fan-count", "256"}, "--fan-count"},
  };
  for (const Row& row : rows) {
    try {
      Parse(row.args);
      ADD_FAILURE() << "accepted: " << row.args[0] << ' ' << (row.args.size() > 1 ? row.args[1] : "");
    } catch (const sim::UsageError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind(row.named, 0), 0u) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

}  // namespace
