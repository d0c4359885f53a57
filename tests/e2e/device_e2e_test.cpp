// Every operation over the printer connection's device path, against the virtual printer's
// device channel, in virtual time.
#include <gtest/gtest.h>

#include <numeric>

#include "core/files/head_rank.h"
#include "core/protocol/operations.h"
#include "core/resources/strings.h"
#include "e2e/e2e_support.h"

namespace tavi {
namespace {

using test::DeviceRig;

class DeviceE2e : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(DeviceE2e, ReportComesOutWholeInEverySchedule) {
  for (auto schedule :
       {sim::Schedule::kInOrder, sim::Schedule::kShuffled, sim::Schedule::kRepeated,
        sim::Schedule::kChunksFirst, sim::Schedule::kGaps, sim::Schedule::kWrapped}) {
    sim::SimOptions options;
    options.schedule = schedule;
    DeviceRig rig(GetParam(), options);
    std::string report;
    ASSERT_TRUE(GetReport(*rig.connection, report)) << sim::ScheduleName(schedule);
    EXPECT_EQ(report, rig.printer->model().ReportText()) << sim::ScheduleName(schedule);
    EXPECT_GT(report.size(), 1000u);
    EXPECT_EQ(rig.printer->model().ClosingZeros(), 1);
    EXPECT_TRUE(rig.messages.shown.empty());
    // The bar ran 1..N over the distinct chunks.
    EXPECT_EQ(rig.progress.positions.back(), rig.progress.state.upper());
  }
}

TEST_P(DeviceE2e, ParametersRoundTripAndHeadRankAndFirmware) {
  DeviceRig rig(GetParam());
  const std::string block = rig.printer->model().Params();
  std::vector<std::uint8_t> buffer(kParameterCapacity);
  const std::int32_t n = GetParameters(*rig.connection, buffer);
  ASSERT_EQ(n, static_cast<std::int32_t>(block.size()));
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + n), block);

  // Put a changed block back: the printer takes it when its check byte is right.
  std::vector<std::uint8_t> image(buffer.begin(), buffer.begin() + n);
  image[0] ^= 0x5A;
  std::uint8_t sum = 1;
  for (auto b : image) sum = static_cast<std::uint8_t>(sum + b);
  image.push_back(sum);
  ASSERT_TRUE(PutParameters(*rig.connection, image, false));
  EXPECT_EQ(rig.printer->model().Params(), std::string(image.begin(), image.end() - 1));

  ASSERT_TRUE(SetHeadRank(*rig.connection, 7, BuildHeadRankString(HeadRankFields{})));
  EXPECT_EQ(rig.printer->model().HeadRanks().at(7), "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB");

  std::vector<std::uint8_t> firmware(250000);
  std::iota(firmware.begin(), firmware.end(), 3);
  ASSERT_TRUE(UpgradeFirmware(*rig.connection, firmware));
  EXPECT_EQ(rig.printer->model().FirmwareSize(), 250000);
  EXPECT_EQ(rig.messages.Ids(), (std::vector<int>{kIdsDone, kIdsDone, kIdsDone}));
}

TEST_P(DeviceE2e, HeaderThatNeverComesEndsWithCancelAndNoClosingZeroByte) {
  sim::SimOptions options;
  options.no_header = true;
  DeviceRig rig(GetParam(), options);
  int pumps = 0;
  rig.progress.on_pump = [&] {
    if (++pumps == 200) rig.progress.PressCancel();
  };
  std::string report = "kept";
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_EQ(report, "kept");
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(rig.printer->model().ClosingZeros(), 0);
}

TEST_P(DeviceE2e, HostilePayloadsNeverCrashOrOverrunAndBadHeadersWaitForCancel) {
  for (auto hostile :
       {sim::Hostile::kLongPayload, sim::Hostile::kBigChunk, sim::Hostile::kNegativeCount,
        sim::Hostile::kHugeCount, sim::Hostile::kOutOfRange}) {
    sim::SimOptions options;
    options.hostile = hostile;
    DeviceRig rig(GetParam(), options);
    int pumps = 0;
    rig.progress.on_pump = [&] {
      if (++pumps == 3000) rig.progress.PressCancel();
    };
    std::string report;
    const bool ok = GetReport(*rig.connection, report);
    const bool bad_header =
        hostile == sim::Hostile::kNegativeCount || hostile == sim::Hostile::kHugeCount;
    // A chunk of more than 128 data bytes (a payload past 511 characters is one) is refused. The
    // parallel port's device ID holds 510 characters: the long payload never arrives whole there.
    const bool oversized = hostile == sim::Hostile::kBigChunk ||
                           (hostile == sim::Hostile::kLongPayload && GetParam() != kPortParallel);
    EXPECT_EQ(ok, !bad_header && !oversized) << sim::HostileName(hostile);
    if (oversized) {
      EXPECT_EQ(report, "");
      EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToRead});
    }
    if (hostile == sim::Hostile::kOutOfRange) {
      EXPECT_EQ(report, rig.printer->model().ReportText());
    } else {
      EXPECT_LE(report.size(), rig.printer->model().ReportText().size());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ParallelAndUsb, DeviceE2e, ::testing::Values(kPortParallel, kPortUsb),
                         [](const auto& info) {
                           return info.param == kPortParallel ? "Parallel" : "Usb";
                         });

}  // namespace
}  // namespace tavi
