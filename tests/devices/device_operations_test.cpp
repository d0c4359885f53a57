// Every operation of tavi-cli over an emulated USB printer and an emulated parallel port,
// through the real libusb-1.0 and libieee1284, with the virtual printer's model behind them;
// and what the device sees of it.
#include <gtest/gtest.h>

#include <random>

#include "core/journal/sha256.h"
#include "device_rig.h"

namespace tavi {
namespace {

using test::DeviceRig;
using test::Port;
using test::Quote;

constexpr const char* kRank = "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB";

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

std::int64_t Num(const sim::Event& e, std::string_view key) {
  return std::stoll(e.Field(key));
}

// Report byte for byte, parameters out, changed and back in, head rank, 250,000 bytes of
// firmware whose SHA-256 the printer confirms.
void EveryOperation(DeviceRig& rig) {
  const std::string report = rig.dir() / "report.txt";
  auto run = rig.Cli("report -o " + Quote(report));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(test::ReadAll(report), rig.model().ReportText());
  EXPECT_GT(test::ReadAll(report).size(), 3000u);

  const std::string backup = rig.dir() / "backup.prm";
  run = rig.Cli("get-params " + Quote(backup));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::string block = rig.dir() / "block.bin";
  const test::CliRun decoded =
      test::RunCli(rig.dir(), "params decode " + Quote(backup) + " -o " + Quote(block));
  ASSERT_EQ(decoded.status, 0) << decoded.out << decoded.err;
  EXPECT_EQ(test::ReadAll(block), rig.model().Params());
  std::string changed = test::ReadAll(block);
  changed[0] = static_cast<char>(changed[0] ^ 0x5a);
  changed.back() = static_cast<char>(changed.back() ^ 0xa5);
  test::WriteAll(block, changed);
  const std::string restore = rig.dir() / "changed.prm";
  ASSERT_EQ(test::RunCli(rig.dir(), "params encode " + Quote(block) + " " + Quote(restore)).status,
            0);
  run = rig.Cli("put-params " + Quote(restore));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "Done.\n");
  EXPECT_EQ(rig.model().Params(), changed);

  run = rig.Cli(std::string("set-head-rank 3 ") + Quote(kRank));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(rig.model().HeadRanks().at(2), kRank);  // head 3 is index 2

  const std::string image = RandomBytes(250000, 14);
  const std::string firmware = rig.dir() / "firmware.bin";
  test::WriteAll(firmware, image);
  run = rig.Cli("firmware " + Quote(firmware));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "Done.\n");
  EXPECT_EQ(rig.model().FirmwareSize(), 250000);
  EXPECT_EQ(rig.model().FirmwareSha256(), Sha256Hex(std::as_bytes(std::span(image))));
}

TEST(UsbThroughLibusb, EveryOperationAndWhatTheDeviceSees) {
  DeviceRig rig(Port::kUsb);
  EveryOperation(rig);

  // GET_DEVICE_ID as the device sees it: class request to interface 0, alternate setting 0,
  // configuration index 0, 1024 bytes.
  const auto requests = rig.Events("usb-control");
  ASSERT_GT(requests.size(), 30u);
  for (const sim::Event& e : requests) {
    ASSERT_EQ(e.Field("type"), "0xa1");
    ASSERT_EQ(e.Field("request"), "0");
    ASSERT_EQ(e.Field("value"), "0");
    ASSERT_EQ(e.Field("index"), "0");
    ASSERT_EQ(e.Field("length"), "1024");
  }
  // Bulk writes arrive in pieces of at most 4,096 bytes; the firmware in 62 of them.
  std::int64_t largest = 0;
  std::int64_t full_pieces = 0;
  for (const sim::Event& e : rig.Events("usb-bulk-out")) {
    largest = std::max(largest, Num(e, "bytes"));
    full_pieces += Num(e, "bytes") == 4096;
  }
  EXPECT_EQ(largest, 4096);
  EXPECT_GE(full_pieces, 61);
  // The kernel's driver lets go for every open and gets the interface back on every close,
  // and no bytes go out while it holds the interface.
  bool driver_holds = true;
  int opens = 0;
  for (const sim::Event& e : rig.model().log().Events()) {
    if (e.kind == "usb-driver-detached") {
      ASSERT_TRUE(driver_holds);
      driver_holds = false;
      ++opens;
    } else if (e.kind == "usb-driver-attached") {
      ASSERT_FALSE(driver_holds);
      driver_holds = true;
    } else if (e.kind == "usb-bulk-out" || e.kind == "usb-control") {
      ASSERT_FALSE(driver_holds) << e.Text();
    }
  }
  EXPECT_TRUE(driver_holds);
  EXPECT_GE(opens, 6);
  EXPECT_EQ(rig.Events("usb-claimed").size(), rig.Events("usb-released").size());
}

TEST(ParallelThroughLibieee1284, EveryOperationWithAFreshDeviceIdForEveryRead) {
  DeviceRig rig(Port::kParallel);
  EveryOperation(rig);
  // Every reply read negotiates a new device-ID transfer; a cached ID would never show the
  // report's 31 chunks one after the other.
  const auto reads = rig.Events("parallel-device-id");
  const auto published = rig.Events("published");
  EXPECT_GE(reads.size(), published.size());
  EXPECT_GT(reads.size(), 32u);
}

// A block longer than one bulk transfer goes out in several and is taken whole: restored, then
// read back equal, and never refused for its check byte.
TEST(UsbThroughLibusb, ParameterBlockLongerThanOneTransferRestoredAndReadBack) {
  DeviceRig rig(Port::kUsb);
  const std::string block = RandomBytes(6000, 61);
  const std::string plain = rig.dir() / "block.bin";
  const std::string file = rig.dir() / "block.prm";
  test::WriteAll(plain, block);
  ASSERT_EQ(test::RunCli(rig.dir(), "params encode " + Quote(plain) + " " + Quote(file)).status, 0);
  auto run = rig.Cli("put-params " + Quote(file));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "Done.\n");
  EXPECT_TRUE(rig.Events("params-rejected").empty()) << rig.Events("params-rejected")[0].Text();
  ASSERT_TRUE(rig.model().Params() == block) << rig.model().Params().size() << " bytes taken";
  std::int64_t pieces = 0;
  for (const sim::Event& e : rig.Events("usb-bulk-out")) pieces += Num(e, "bytes") == 4096;
  EXPECT_GE(pieces, 1);  // the image did span a transfer boundary

  const std::string backup = rig.dir() / "backup.prm";
  run = rig.Cli("get-params " + Quote(backup));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::string back = rig.dir() / "back.bin";
  ASSERT_EQ(test::RunCli(rig.dir(), "params decode " + Quote(backup) + " -o " + Quote(back)).status,
            0);
  EXPECT_TRUE(test::ReadAll(back) == block) << test::ReadAll(back).size() << " bytes read back";
}

// A device ID whose length field claims more than follows: the reply text is what arrived.
TEST(DeviceIds, ShorterThanTheirLengthFieldOverBothPorts) {
  for (Port port : {Port::kUsb, Port::kParallel}) {
    sim::DeviceOptions options;
    options.overstated_id_length = true;
    DeviceRig rig(port, options);
    const std::string report = rig.dir() / "report.txt";
    const auto run = rig.Cli("report -o " + Quote(report));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(test::ReadAll(report), rig.model().ReportText());
  }
}

}  // namespace
}  // namespace tavi
