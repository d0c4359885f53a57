#include "core/connection/usb_channel.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "connection/device_fakes.h"
#include "core/connection/port_listing.h"
#include "core/connection/printer_connection.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace_sinks.h"

namespace tavi {
namespace {

using Status = TransferResult::Status;

const UsbDeviceInfo kHub{1, 1, 0x1d6b, 0x0002};
const UsbDeviceInfo kPrinter{1, 4, 0x0e2a, 0x0102};
const UsbDeviceInfo kOtherPrinter{3, 2, 0x0e2a, 0x0101};

struct UsbRig {
  UsbRig() {
    auto b = std::make_unique<test::FakeUsbBackend>();
    backend = b.get();
    backend->device.clock = &clock;
    backend->devices = {kOtherPrinter, kHub, kPrinter};
    channel = std::make_unique<UsbChannel>(context, std::move(b));
  }
  PortSettings settings;
  test::RecordingProgress progress;
  test::FakeClock clock;
  TraceMemory trace_lines;
  Trace trace{trace_lines, clock};
  ChannelContext context{settings, progress, clock, trace};
  test::FakeUsbBackend* backend = nullptr;
  std::unique_ptr<UsbChannel> channel;
  Failure failure;
};

bool SameDevice(const UsbDeviceInfo& a, const UsbDeviceInfo& b) {
  return a.bus == b.bus && a.address == b.address && a.vendor_id == b.vendor_id &&
         a.product_id == b.product_id;
}

TEST(UsbChannel, OpensTheVeryDeviceThatMatchedFirst) {
  UsbRig rig;
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  ASSERT_EQ(rig.backend->opened.size(), 1u);
  EXPECT_TRUE(SameDevice(rig.backend->opened[0], kPrinter));
  // Open on an open device changes nothing.
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  EXPECT_EQ(rig.backend->lists, 1);
}

TEST(UsbChannel, OpenFailuresAre107NamingTheDevice) {
  {
    UsbRig rig;
    rig.backend->devices = {kHub};
    EXPECT_FALSE(rig.channel->Open(rig.failure));
    EXPECT_EQ(rig.failure.message_id, kIdsFailedToOpenPort);
    EXPECT_NE(rig.failure.details.find("No USB printer"), std::string::npos);
  }
  {
    UsbRig rig;
    rig.backend->open_error = {0, "Access denied (insufficient permissions)",
                               SystemCode::Errno(EACCES)};
    EXPECT_FALSE(rig.channel->Open(rig.failure));
    EXPECT_EQ(rig.failure.message_id, kIdsFailedToOpenPort);
    EXPECT_NE(rig.failure.details.find("USB\\VID_0E2A&PID_0102 on bus 1 at address 4"),
              std::string::npos);
    EXPECT_NE(rig.failure.details.find("group lp"), std::string::npos);
    EXPECT_FALSE(rig.channel->is_open());
  }
}

TEST(UsbChannel, WritesGoOutInPiecesOfAtMost4096Bytes) {
  UsbRig rig;
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  std::string data(10000, 'a');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(rig.channel->Write(test::Bytes(data), rig.failure));
  EXPECT_EQ(rig.backend->device.write_sizes, (std::vector<std::size_t>{4096, 4096, 1808}));
  EXPECT_EQ(rig.backend->device.written, data);
}

TEST(UsbChannel, TraceHoldsEveryPieceAndEveryDeviceId) {
  UsbRig rig;
  rig.backend->device.on_write = [](int n, std::size_t size) -> TransferResult {
    if (n == 1) return {Status::kTimedOut, 96, {}};
    if (n == 3) return {Status::kFailed, 0, "No such device (it may have been disconnected)"};
    return {Status::kDone, size, {}};
  };
  rig.backend->device.id = test::DeviceId("REPORT:0,3;");
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  ASSERT_TRUE(rig.channel->Write(test::Bytes(std::string(5000, 'w')), rig.failure));
  std::string out;
  ASSERT_TRUE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_FALSE(rig.channel->Write(test::Bytes(std::string(7, 'w')), rig.failure));
  test::ExpectInOrder(rig.trace_lines.Text(),
                      {"usb   opened USB printer USB\\VID_0E2A&PID_0102 on bus 1 at address 4",
                       "usb   bulk write 4096 bytes: 4096 moved",
                       "usb   bulk write 904 bytes: busy for 1000 ms, 96 moved",
                       "usb   bulk write 808 bytes: 808 moved", "usb   device ID, ", "REPORT:0,3;",
                       "usb   bulk write 7 bytes: failed after 0 moved: No such device",
                       "usb   failed: USB printer USB\\VID_0E2A&PID_0102 on bus 1 at address 4: No "
                       "such device"});
}

TEST(UsbChannel, TimeoutWithPartialProgressContinues) {
  UsbRig rig;
  rig.backend->device.on_write = [](int n, std::size_t size) -> TransferResult {
    if (n == 0) return {Status::kTimedOut, 1000, {}};
    return {Status::kDone, size, {}};
  };
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  ASSERT_TRUE(rig.channel->Write(test::Bytes(std::string(5000, 'z')), rig.failure));
  EXPECT_EQ(rig.backend->device.write_sizes, (std::vector<std::size_t>{4096, 4000}));
  EXPECT_EQ(rig.backend->device.written.size(), 5000u);
}

TEST(UsbChannel, FailedWriteClosesAndTheNextOperationFindsTheDeviceAgain) {
  UsbRig rig;
  rig.backend->device.on_write = [](int n, std::size_t size) -> TransferResult {
    if (n == 1) return {Status::kFailed, 0, "No such device (it may have been disconnected)"};
    return {Status::kDone, size, {}};
  };
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  EXPECT_FALSE(rig.channel->Write(test::Bytes(std::string(6000, 'x')), rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToWrite);
  EXPECT_FALSE(rig.channel->is_open());
  EXPECT_EQ(rig.backend->closes, 1);

  // Meanwhile the printer came back at another address.
  rig.backend->devices = {kHub, {1, 7, 0x0e2a, 0x0102}};
  rig.backend->device.id = test::DeviceId("REPORT:0,0;");
  std::string out;
  ASSERT_TRUE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(out, "REPORT:0,0;");
  EXPECT_EQ(rig.backend->lists, 2);
  EXPECT_EQ(rig.backend->opened.back().address, 7);
}

TEST(UsbChannel, CancelEndsAWriteThatNeverCompletesAndClosesTheDevice) {
  UsbRig rig;
  rig.backend->device.on_write = [](int, std::size_t) -> TransferResult {
    return {Status::kTimedOut, 0, {}};
  };
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  rig.progress.Show(true);
  std::int64_t pressed_at = -1;
  test::PressCancelOnceAt(rig.progress, rig.clock, 3000, pressed_at);
  EXPECT_FALSE(rig.channel->Write(test::Bytes(std::string(100, 'q')), rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToWrite);
  ASSERT_GE(pressed_at, 0);
  EXPECT_LE(rig.clock.now_ms - pressed_at, kDeviceAttemptMs);
  EXPECT_FALSE(rig.channel->is_open());
}

TEST(UsbChannel, ReplyRequests) {
  UsbRig rig;
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  std::string out = "before";
  // Succeeds with no ID text: 109, and the device stays open.
  rig.backend->device.id = test::DeviceId("");
  EXPECT_FALSE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToRead);
  EXPECT_TRUE(rig.channel->is_open());
  EXPECT_EQ(out, "before");
  // More than the 1024-byte buffer holds.
  rig.backend->device.id = test::DeviceId(std::string(2000, 'r'));
  ASSERT_TRUE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(out.size(), kUsbReplyBufferSize - 2);
  // A failed request closes the device.
  rig.backend->device.on_read = [](int) -> TransferResult {
    return {Status::kFailed, 0, "Pipe error"};
  };
  EXPECT_FALSE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToRead);
  EXPECT_FALSE(rig.channel->is_open());
}

// Reopen after reset closes, waits and runs discovery again.
TEST(UsbChannel, ReopenAfterResetRediscoversTheDevice) {
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  PortSettings settings;
  settings.port = kPortUsb;
  test::FakeUsbBackend* backend = nullptr;
  PrinterConnection connection(settings, progress, messages, clock,
                               [&](std::int32_t, const ChannelContext& context) {
                                 auto b = std::make_unique<test::FakeUsbBackend>();
                                 b->devices = {kPrinter};
                                 backend = b.get();
                                 return std::make_unique<UsbChannel>(context, std::move(b));
                               });
  ASSERT_TRUE(connection.Open());
  ASSERT_TRUE(connection.Write("rs\n"));
  backend->devices = {kHub, {2, 9, 0x0e2a, 0x0102}};
  ASSERT_TRUE(connection.ReopenAfterReset());
  EXPECT_EQ(clock.sleeps, std::vector<int>{kWaitResetMs});
  EXPECT_EQ(backend->lists, 2);
  EXPECT_EQ(backend->opened.back().bus, 2);
  // Gone for good: the reopen fails with 107.
  backend->devices = {kHub};
  EXPECT_FALSE(connection.ReopenAfterReset());
  EXPECT_EQ(messages.Ids(), std::vector<int>{kIdsFailedToOpenPort});
  connection.Close();
}

TEST(PortListing, ListsPortsAndFamilyPrintersAndMarksTheOneInUse) {
  test::FakeParallelBackend parallel;
  parallel.ports = {"parport0", "parport1"};
  parallel.device.id = test::DeviceId("MFG:Maker;MDL:Wide;");
  test::FakeUsbBackend usb;
  usb.devices = {kOtherPrinter, kHub, kPrinter};
  usb.device.id = test::DeviceId("MFG:Maker;");
  const PortListing listing = ListPorts(&parallel, &usb);
  ASSERT_EQ(listing.parallel.size(), 2u);
  EXPECT_TRUE(listing.parallel[0].used);
  EXPECT_FALSE(listing.parallel[1].used);
  EXPECT_EQ(listing.parallel[0].device_id, "MFG:Maker;MDL:Wide;");
  ASSERT_EQ(listing.usb.size(), 2u);  // the hub is not listed
  EXPECT_EQ(listing.usb[0].name, "USB\\VID_0E2A&PID_0102 on bus 1 at address 4");
  EXPECT_TRUE(listing.usb[0].used);
  EXPECT_FALSE(listing.usb[1].used);
  EXPECT_FALSE(parallel.is_open);
  EXPECT_FALSE(usb.is_open);

  test::FakeParallelBackend none;
  none.ports.clear();
  test::FakeUsbBackend denied;
  denied.devices = {kPrinter};
  denied.open_error = {0, "Access denied (insufficient permissions)", SystemCode::Errno(EACCES)};
  const std::string text = FormatPortListing(ListPorts(&none, &denied));
  EXPECT_NE(text.find("Parallel ports:\n  none found"), std::string::npos);
  EXPECT_NE(text.find("device ID not readable: Access denied"), std::string::npos);
  EXPECT_NE(text.find("group lp"), std::string::npos);
  EXPECT_EQ(text.find("No printer answered"), std::string::npos);  // a printer is there

  test::FakeUsbBackend empty;
  empty.devices.clear();
  EXPECT_NE(FormatPortListing(ListPorts(&none, &empty)).find("No printer answered"),
            std::string::npos);
}

}  // namespace
}  // namespace tavi
