#include <gtest/gtest.h>

#include <vector>

#include "sim/usbip/iow_device.hpp"
#include "sim/usbip/usbip_wire.hpp"

namespace {

using usbip::Header;

// A CMD_SUBMIT as vhci_hcd sends it: big-endian fields, the setup packet little-endian.
std::vector<std::uint8_t> Submit(std::uint32_t seqnum, std::uint32_t direction, std::uint32_t ep,
                                 std::int32_t length, std::array<std::uint8_t, 8> setup) {
  std::vector<std::uint8_t> bytes(usbip::kHeaderSize, 0);
  const auto put = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  };
  put(0, 1);
  put(4, seqnum);
  put(8, 0x00010002);
  put(12, direction);
  put(16, ep);
  put(24, static_cast<std::uint32_t>(length));
  std::copy(setup.begin(), setup.end(), bytes.begin() + 40);
  return bytes;
}

Header Parsed(const std::vector<std::uint8_t>& bytes) {
  Header header;
  EXPECT_TRUE(usbip::Parse(std::span<const std::uint8_t, usbip::kHeaderSize>(bytes.data(), usbip::kHeaderSize), header));
  return header;
}

std::uint32_t Field(const std::vector<std::uint8_t>& message, std::size_t at) {
  return static_cast<std::uint32_t>(message[at]) << 24 | static_cast<std::uint32_t>(message[at + 1]) << 16 |
         static_cast<std::uint32_t>(message[at + 2]) << 8 | message[at + 3];
}

const platform::IowarriorModel& Model(std::uint32_t product) { return *platform::FindIowarriorModel(product); }

// The driver's write() of the two port bytes: SET_REPORT, output report 0, interface 0.
TEST(UsbipIow24, SetReportOnInterface0SetsThePinsAndAnswersTheSameSeqnum) {
  usbip::IowDevice device("00001A2B", Model(0x1501));
  std::vector<std::uint8_t> pins;
  device.on_pins([&](std::uint8_t id, std::span<const std::uint8_t> ports) {
    pins = {id};
    pins.insert(pins.end(), ports.begin(), ports.end());
  });
  const std::uint8_t data[] = {0xFF, 0xFE};
  const auto replies = device.handle(Parsed(Submit(7, usbip::kDirOut, 0, 2, {0x21, 0x09, 0x00, 0x02, 0x00, 0x00, 0x02, 0x00})), data);
  EXPECT_EQ(pins, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFE}));
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_EQ(replies[0].size(), usbip::kHeaderSize);
  EXPECT_EQ(Field(replies[0], 0), 3u);   // RET_SUBMIT
  EXPECT_EQ(Field(replies[0], 4), 7u);   // the command's seqnum
  EXPECT_EQ(Field(replies[0], 20), 0u);  // status
  EXPECT_EQ(Field(replies[0], 24), 2u);  // both bytes taken
}

// Closing the node cancels the interrupt-IN URB of interface 0; a close that never gets
// its RET_UNLINK hangs in the kernel.
TEST(UsbipIow24, UnlinkOfThePendingInterruptUrbIsAnsweredAndCountsAsClose) {
  usbip::IowDevice device("00001A2B", Model(0x1501));
  int opens = 0, closes = 0;
  device.on_open([&] { ++opens; });
  device.on_close([&] { ++closes; });
  EXPECT_TRUE(device.handle(Parsed(Submit(11, usbip::kDirIn, 1, 2, {})), {}).empty());
  EXPECT_EQ(opens, 1);

  std::vector<std::uint8_t> unlink(usbip::kHeaderSize, 0);
  unlink[3] = 2;   // CMD_UNLINK
  unlink[7] = 12;  // its own seqnum
  unlink[23] = 11; // the URB to cancel
  const auto replies = device.handle(Parsed(unlink), {});
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(Field(replies[0], 0), 4u);  // RET_UNLINK
  EXPECT_EQ(Field(replies[0], 4), 12u);
  EXPECT_EQ(static_cast<std::int32_t>(Field(replies[0], 20)), usbip::kStatusUnlinked);
  EXPECT_EQ(closes, 1);
  // Cancelled once: a second unlink finds nothing to cancel.
  EXPECT_EQ(Field(device.handle(Parsed(unlink), {})[0], 20), 0u);
  EXPECT_EQ(closes, 1);
}

// GET_DESCRIPTOR(configuration) is first asked for 9 bytes, then for wTotalLength.
TEST(UsbipIow24, ConfigurationDescriptorIsCutToTheRequestAndGivesItsTotalLength) {
  usbip::IowDevice device("00001A2B", Model(0x1501));
  const auto first = device.handle(Parsed(Submit(1, usbip::kDirIn, 0, 9, {0x80, 0x06, 0x00, 0x02, 0x00, 0x00, 0x09, 0x00})), {});
  ASSERT_EQ(first[0].size(), usbip::kHeaderSize + 9);
  EXPECT_EQ(Field(first[0], 24), 9u);
  const auto total = static_cast<unsigned>(first[0][usbip::kHeaderSize + 2] | first[0][usbip::kHeaderSize + 3] << 8);
  EXPECT_EQ(total, 9u + 2 * (9 + 9 + 7));
  const auto full = device.handle(Parsed(Submit(2, usbip::kDirIn, 0, 255, {0x80, 0x06, 0x00, 0x02, 0x00, 0x00, 0xFF, 0x00})), {});
  EXPECT_EQ(full[0].size(), usbip::kHeaderSize + total);
}

// The full-speed models take their pins through an interrupt-OUT endpoint on interface 0,
// which the driver looks for; the low-speed ones have none and stall such a transfer.
TEST(UsbipIow56, PinsArriveThroughTheInterruptOutEndpointOfInterface0) {
  usbip::IowDevice device("00001A2B", Model(0x1503));
  std::vector<std::uint8_t> pins;
  device.on_pins([&](std::uint8_t, std::span<const std::uint8_t> ports) { pins.assign(ports.begin(), ports.end()); });
  const auto config = device.handle(Parsed(Submit(1, usbip::kDirIn, 0, 255, {0x80, 0x06, 0x00, 0x02, 0x00, 0x00, 0xFF, 0x00})), {});
  const std::vector<std::uint8_t> descriptor(config[0].begin() + usbip::kHeaderSize, config[0].end());
  // Interface 0's endpoints follow its interface and HID descriptors: IN 0x81 and OUT 0x01, interrupt.
  ASSERT_GE(descriptor.size(), 9u + 9 + 9 + 7 + 7);
  EXPECT_EQ(descriptor[9 + 4], 2u);  // bNumEndpoints
  EXPECT_EQ(descriptor[27 + 2], 0x81u);
  EXPECT_EQ(descriptor[34 + 2], 0x01u);
  EXPECT_EQ(descriptor[34 + 3], 3u);

  const std::uint8_t data[] = {0xFF, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const auto replies = device.handle(Parsed(Submit(5, usbip::kDirOut, 1, 7, {})), data);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(Field(replies[0], 20), 0u);  // status
  EXPECT_EQ(Field(replies[0], 24), 7u);  // all seven taken
  EXPECT_EQ(pins, std::vector<std::uint8_t>(std::begin(data), std::end(data)));
  EXPECT_EQ(device.ports()[1], 0xBFu);

  usbip::IowDevice iow24("00001A2B", Model(0x1501));
  const auto stalled = iow24.handle(Parsed(Submit(6, usbip::kDirOut, 1, 2, {})), std::span(data, 2));
  EXPECT_EQ(static_cast<std::int32_t>(Field(stalled[0], 20)), usbip::kStatusStall);
}

}  // namespace
