// The program's own operations against the virtual printer through the device channels.
#include <gtest/gtest.h>

#include <vector>

#include "core/connection/printer_connection.h"
#include "core/journal/sha256.h"
#include "core/protocol/operations.h"
#include "core/settings/port_settings.h"
#include "frontends/printer_sim/builtin_content.h"
#include "frontends/printer_sim/device_channel.h"
#include "support/doubles.h"

namespace tavi::sim {
namespace {

class DeviceFlow : public ::testing::TestWithParam<std::int32_t> {
 protected:
  DeviceFlow()
      : model(SimOptions{}, clock),
        connection(Settings(), progress, messages, clock, DeviceChannelFactory(model)) {}
  static PortSettings Settings() {
    PortSettings s;
    s.port = GetParam();
    s.machine_type = kMachineType2;
    return s;
  }
  tavi::test::FakeClock clock;
  tavi::test::RecordingProgress progress;
  tavi::test::RecordingMessages messages;
  PrinterModel model;
  PrinterConnection connection;
};

TEST_P(DeviceFlow, ReportAndParametersComeBackWhole) {
  std::string report;
  ASSERT_TRUE(GetReport(connection, report));
  EXPECT_EQ(report, model.ReportText());
  EXPECT_EQ(model.ClosingZeros(), 1);
  std::vector<std::uint8_t> dest(kParameterCapacity);
  ASSERT_EQ(GetParameters(connection, dest), static_cast<std::int32_t>(kBuiltinParamsSize));
  EXPECT_EQ(std::string(dest.begin(), dest.begin() + kBuiltinParamsSize), BuiltinParams(2));
  EXPECT_EQ(model.ClosingZeros(), 2);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_P(DeviceFlow, PutHeadRankAndFirmwareReachThePrinter) {
  std::vector<std::uint8_t> image(1000);
  unsigned sum = 1;
  for (std::size_t i = 0; i + 1 < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>(i * 13);
    sum += image[i];
  }
  image.back() = static_cast<std::uint8_t>(sum & 0xff);
  ASSERT_TRUE(PutParameters(connection, image, false));
  EXPECT_EQ(model.Params(), std::string(image.begin(), image.end() - 1));

  ASSERT_TRUE(SetHeadRank(connection, 5, "K1 23 456"));
  EXPECT_EQ(model.HeadRanks().at(5), "K1 23 456");

  std::vector<std::uint8_t> firmware(250000);
  for (std::size_t i = 0; i < firmware.size(); ++i)
    firmware[i] = static_cast<std::uint8_t>(i ^ (i >> 9));
  ASSERT_TRUE(UpgradeFirmware(connection, firmware));
  EXPECT_EQ(model.FirmwareSize(), 250000);
  EXPECT_EQ(model.FirmwareSha256(), Sha256Hex(std::as_bytes(std::span(firmware))));
  EXPECT_EQ(model.log().Count("command-ignored"), 0u);
}

INSTANTIATE_TEST_SUITE_P(ParallelAndUsb, DeviceFlow, ::testing::Values(kPortParallel, kPortUsb));

}  // namespace
}  // namespace tavi::sim
