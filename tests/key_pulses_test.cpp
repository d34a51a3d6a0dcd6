#include "display/key_pulses.hpp"

#include <gtest/gtest.h>

#include "tests/rig.hpp"

namespace {

using testing_rig::Ms;
using testing_rig::Rig;
using Bytes = std::vector<std::uint8_t>;

const Bytes kReleased{0x00, 0xFF, 0xFF};

TEST(KeyPulse, ReleaseAllKeysSendsOneReleaseReportThenWaits100Ms) {
  Rig rig;
  display::ReleaseAllKeys(rig.w, rig.lib);
  ASSERT_EQ(rig.iowarrior.writes().size(), 1u);
  EXPECT_EQ(rig.iowarrior.writes()[0].bytes, kReleased);
  EXPECT_EQ(rig.iowarrior.writes()[0].pipe, 0u);
  EXPECT_DOUBLE_EQ(rig.now_ms(), 100.0);
  EXPECT_EQ(rig.w.Port0Value, 0xFF);
  EXPECT_EQ(rig.w.Port1Value, 0xFF);
}

struct PulseRow {
  const char* name;
  void (*pulse)(WindowState&, iow::OutsideLibraries&);
  std::uint8_t pressed;
  double hold_ms;
};

void PrintTo(const PulseRow& row, std::ostream* out) { *out << row.name; }

class EachPulse : public testing::TestWithParam<PulseRow> {};

TEST_P(EachPulse, PressesItsLineForItsHoldThenReleasesAllLinesWithNoWaitAfter) {
  const PulseRow& row = GetParam();
  Rig rig;
  display::ReleaseAllKeys(rig.w, rig.lib);
  const double start = rig.now_ms();
  row.pulse(rig.w, rig.lib);
  const auto& writes = rig.iowarrior.writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[1].bytes, (Bytes{0x00, 0xFF, row.pressed}));
  EXPECT_EQ(writes[2].bytes, kReleased);
  EXPECT_DOUBLE_EQ(Ms(writes[1].time), start);
  EXPECT_DOUBLE_EQ(Ms(writes[2].time) - Ms(writes[1].time), row.hold_ms);
  EXPECT_DOUBLE_EQ(rig.now_ms(), Ms(writes[2].time)) << "the release is the pulse's last act";
  // Between operations the window state holds what was last sent; byte 3 is never written.
  EXPECT_EQ(rig.w.Port1Value, 0xFF);
  EXPECT_EQ(rig.w.Report[3], 0x00);
}

INSTANTIATE_TEST_SUITE_P(
    KeyPulse, EachPulse,
    testing::Values(PulseRow{"StartEntry", display::PressStartEntry, 0xFE, 4000},
                    PulseRow{"NextPosition", display::PressNextPosition, 0xFE, 50},
                    PulseRow{"CharForward", display::PressCharForward, 0xFB, 50},
                    PulseRow{"CharBack", display::PressCharBack, 0xEF, 50},
                    PulseRow{"FinishEntry", display::PressFinishEntry, 0xBF, 50}),
    [](const testing::TestParamInfo<PulseRow>& row) { return std::string(row.param.name); });

TEST(KeyPulse, ConsecutivePressesFollowTheReleaseWithoutGap) {
  Rig rig;
  display::ReleaseAllKeys(rig.w, rig.lib);
  display::PressCharForward(rig.w, rig.lib);
  display::PressCharForward(rig.w, rig.lib);
  const auto& writes = rig.iowarrior.writes();
  ASSERT_EQ(writes.size(), 5u);
  const std::vector<Bytes> expected{kReleased, {0x00, 0xFF, 0xFB}, kReleased, {0x00, 0xFF, 0xFB}, kReleased};
  const std::vector<double> times{0, 100, 150, 150, 200};
  for (std::size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i].bytes, expected[i]) << "write " << i;
    EXPECT_DOUBLE_EQ(Ms(writes[i].time), times[i]) << "write " << i;
  }
}

TEST(KeyPulse, RejectedWritesChangeNeitherSequenceNorTiming) {
  Rig accepting;
  Rig rejecting;
  rejecting.iowarrior.set_reject_writes(true);
  for (Rig* rig : {&accepting, &rejecting}) {
    display::ReleaseAllKeys(rig->w, rig->lib);
    display::PressStartEntry(rig->w, rig->lib);
    display::PressCharBack(rig->w, rig->lib);
  }
  const auto& a = accepting.iowarrior.writes();
  const auto& r = rejecting.iowarrior.writes();
  ASSERT_EQ(a.size(), r.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].bytes, r[i].bytes);
    EXPECT_EQ(a[i].time, r[i].time);
    EXPECT_FALSE(r[i].accepted);
  }
}

}  // namespace
