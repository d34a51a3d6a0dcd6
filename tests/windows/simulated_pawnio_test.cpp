#include "tests/windows/simulated_pawnio.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_ite8705.hpp"
#include "tests/windows/simulated_super_io.hpp"

namespace platform::windows {
namespace {

// The driver of the port I/O tests answers as PawnIO with LpcIO does; the statuses the
// client's tests rely on, each once.
class SimulatedPawnIoTest : public ::testing::Test {
 protected:
  // DeviceIoControl with the execute code: `name` in its 32 bytes, then `arguments`,
  // then `extra` bytes; `results` cells of output.
  DWORD execute(const std::string& name, std::vector<std::uint64_t> arguments, std::size_t results = 0,
                std::size_t extra = 0) {
    std::vector<std::uint8_t> in(32 + 8 * arguments.size() + extra, 0);
    std::memcpy(in.data(), name.data(), std::min<std::size_t>(name.size(), 32));
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      for (std::size_t byte = 0; byte < 8; ++byte) {
        in[32 + 8 * i + byte] = static_cast<std::uint8_t>(arguments[i] >> (8 * byte));
      }
    }
    output.assign(8 * results, 0xEE);
    returned = 0;
    return device.control(kPawnIo.execute, in, output, returned);
  }
  DWORD load(const std::vector<std::uint8_t>& file) {
    DWORD none = 0;
    return device.control(kPawnIo.load_module, file, {}, none);
  }
  std::uint64_t result() const {
    std::uint64_t value = 0;
    for (std::size_t byte = 0; byte < 8; ++byte) value |= std::uint64_t{output[byte]} << (8 * byte);
    return value;
  }

  std::vector<std::string> log;
  sim::SimIte8705 monitor{{45}, {60}};
  SimulatedSuperIo board{SimulatedSuperIo::Chip{}, std::nullopt, monitor, log};
  SimulatedPawnIo device{board, log};
  std::vector<std::uint8_t> output;
  DWORD returned = 0;
};

TEST_F(SimulatedPawnIoTest, AnswersAsPawnIoWithLpcIoDoes) {
  EXPECT_EQ(execute("ioctl_select_slot", {0}), ERROR_INVALID_PARAMETER) << "no module loaded";
  ASSERT_EQ(load(ReadBytes(LpcIoModule())), ERROR_SUCCESS);
  EXPECT_EQ(load(ReadBytes(LpcIoModule())), ERROR_ALREADY_INITIALIZED);

  EXPECT_EQ(execute("select_slot", {0}), ERROR_INVALID_PARAMETER) << "no ioctl_ prefix";
  EXPECT_EQ(execute(std::string(32, 'x').replace(0, 6, "ioctl_"), {}), ERROR_INVALID_PARAMETER) << "unterminated";
  EXPECT_EQ(execute("ioctl_nothing", {}), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(execute("ioctl_pio_inb", {0x2E}, 1), ERROR_NOT_READY) << "no slot selected";
  EXPECT_EQ(execute("ioctl_select_slot", {2}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(execute("ioctl_pio_inb", {0x2E}, 1), ERROR_NOT_READY) << "slot 2 forgot slot 0";
  EXPECT_EQ(execute("ioctl_select_slot", {0, 7}), ERROR_INVALID_PARAMETER) << "wrong non-zero count";

  EXPECT_EQ(execute("ioctl_select_slot", {0}, 0, 5), ERROR_SUCCESS) << "a partial cell is ignored";
  EXPECT_EQ(execute("ioctl_pio_inb", {0x290}, 1), ERROR_ACCESS_DENIED) << "no windows yet";
  EXPECT_EQ(execute("ioctl_find_bars", {}), ERROR_NOT_FOUND) << "not in configuration mode: ID 0xFF";
  for (const std::uint64_t key : {0x87, 0x01, 0x55, 0x55}) {
    EXPECT_EQ(execute("ioctl_pio_outb", {0x2E, key}), ERROR_SUCCESS);
  }
  EXPECT_EQ(execute("ioctl_find_bars", {1, 2, 3}), ERROR_SUCCESS) << "zero counts are not checked";
  EXPECT_EQ(execute("ioctl_pio_inb", {0x296}, 1), ERROR_SUCCESS);
  EXPECT_EQ(returned, 8u);
  EXPECT_EQ(execute("ioctl_pio_inb", {0xCFC}, 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(execute("ioctl_pio_inb", {0x25C}, 1), ERROR_SUCCESS) << "always allowed";
  // One output cell for a function that gives none: the echo of the name's first 8 bytes.
  EXPECT_EQ(execute("ioctl_superio_outb", {0x07, 0x04}, 1), ERROR_SUCCESS);
  EXPECT_EQ(std::string(output.begin(), output.end()), "ioctl_su");
}

TEST_F(SimulatedPawnIoTest, RefusesWhatTheDriverRefusesOnLoad) {
  std::vector<std::uint8_t> module = ReadBytes(LpcIoModule());
  module[4 + 512 + 4] ^= 0x01;  // the AMX magic
  EXPECT_EQ(load(module), ERROR_MR_MID_NOT_FOUND) << "STATUS_INVALID_SIGNATURE";
  device.check_signatures = false;
  EXPECT_EQ(load(module), ERROR_GEN_FAILURE) << "an image the interpreter refuses";
  device.check_signatures = true;
  device.arch = 2;
  EXPECT_EQ(load(ReadBytes(LpcIoModule())), ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace platform::windows
