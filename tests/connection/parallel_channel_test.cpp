#include "core/connection/parallel_channel.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "connection/device_fakes.h"
#include "core/connection/printer_connection.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace_sinks.h"

namespace tavi {
namespace {

using Status = TransferResult::Status;

struct ParallelRig {
  ParallelRig() {
    auto b = std::make_unique<test::FakeParallelBackend>();
    backend = b.get();
    backend->device.clock = &clock;
    channel = std::make_unique<ParallelChannel>(context, std::move(b));
  }
  PortSettings settings;
  test::RecordingProgress progress;
  test::FakeClock clock;
  TraceMemory trace_lines;
  Trace trace{trace_lines, clock};
  ChannelContext context{settings, progress, clock, trace};
  test::FakeParallelBackend* backend = nullptr;
  std::unique_ptr<ParallelChannel> channel;
  Failure failure;
};

TEST(ParallelChannel, OpensThePcsFirstPortWhateverTheListingOrderAndClosesIt) {
  ParallelRig rig;
  rig.backend->ports = {"parport1", "parport0"};
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  EXPECT_EQ(rig.backend->opened, (std::vector<std::string>{"parport0"}));
  rig.channel->Close();
  rig.channel->Close();
  EXPECT_EQ(rig.backend->closes, 1);
}

TEST(ParallelChannel, OpenFailuresAre107WithTheReason) {
  {
    ParallelRig rig;
    rig.backend->ports.clear();
    EXPECT_FALSE(rig.channel->Open(rig.failure));
    EXPECT_EQ(rig.failure.message_id, kIdsFailedToOpenPort);
    EXPECT_NE(rig.failure.details.find("No parallel port"), std::string::npos);
  }
  {
    ParallelRig rig;
    rig.backend->open_error = {0, "the port could not be initialised (Permission denied)",
                               SystemCode::Errno(EACCES)};
    EXPECT_FALSE(rig.channel->Open(rig.failure));
    EXPECT_EQ(rig.failure.message_id, kIdsFailedToOpenPort);
    EXPECT_NE(rig.failure.details.find("parport0"), std::string::npos);
    EXPECT_NE(rig.failure.details.find("group lp"), std::string::npos);
  }
  {
    ParallelRig rig;
    rig.backend->open_error = {0, "the port could not be claimed"};
    EXPECT_FALSE(rig.channel->Open(rig.failure));
    EXPECT_EQ(rig.failure.details.find("group lp"), std::string::npos);
  }
  {
    ParallelRig rig;
    rig.backend->list_error = "out of memory";
    EXPECT_FALSE(rig.channel->Open(rig.failure));
    EXPECT_EQ(rig.failure.message_id, kIdsFailedToOpenPort);
  }
}

TEST(ParallelChannel, PartialWritesContinueWithTheRemainingBytes) {
  ParallelRig rig;
  // The port takes at most 300 bytes per attempt, and is busy for one attempt in between.
  rig.backend->device.on_write = [](int n, std::size_t size) -> TransferResult {
    if (n == 2) return {Status::kTimedOut, 0, {}};
    return {Status::kDone, std::min<std::size_t>(size, 300), {}};
  };
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  std::string data(1000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  ASSERT_TRUE(rig.channel->Write(test::Bytes(data), rig.failure));
  EXPECT_EQ(rig.backend->device.written, data);
  EXPECT_EQ(rig.backend->device.write_sizes, (std::vector<std::size_t>{1000, 700, 400, 400, 100}));
  EXPECT_GE(rig.progress.pumps, 4);
}

TEST(ParallelChannel, FailedWriteIs108AndLeavesThePortOpen) {
  ParallelRig rig;
  rig.backend->device.on_write = [](int, std::size_t) -> TransferResult {
    return {Status::kFailed, 0, "system error (No such device)"};
  };
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  EXPECT_FALSE(rig.channel->Write(test::Bytes("GET REPORT"), rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToWrite);
  EXPECT_NE(rig.failure.details.find("No such device"), std::string::npos);
  EXPECT_TRUE(rig.backend->is_open);
}

TEST(ParallelChannel, CancelEndsAWriteThatNeverCompletesWithinOneAttempt) {
  ParallelRig rig;
  rig.backend->device.on_write = [](int, std::size_t) -> TransferResult {
    return {Status::kTimedOut, 0, {}};
  };
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  rig.progress.Show(true);
  std::int64_t pressed_at = -1;
  test::PressCancelOnceAt(rig.progress, rig.clock, 5000, pressed_at);
  EXPECT_FALSE(rig.channel->Write(test::Bytes("OPEN CODE="), rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToWrite);
  EXPECT_NE(rig.failure.details.find("cancelled"), std::string::npos);
  ASSERT_GE(pressed_at, 0);
  EXPECT_LE(rig.clock.now_ms - pressed_at, kDeviceAttemptMs);
}

TEST(ParallelChannel, ReplyIsAFreshDeviceIdReadEachTime) {
  ParallelRig rig;
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  std::string out;
  rig.backend->device.id = test::DeviceId("REPORT:1,2;");
  ASSERT_TRUE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(out, "REPORT:1,2;");
  rig.backend->device.id = test::DeviceId("REPORT:2,2;");
  ASSERT_TRUE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(out, "REPORT:2,2;");
  EXPECT_EQ(rig.backend->device.reads, 2);
  // More than the 512-byte buffer holds: the text stops at the buffer.
  rig.backend->device.id = test::DeviceId(std::string(700, 'x'));
  ASSERT_TRUE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(out.size(), kParallelReplyBufferSize - 2);
}

TEST(ParallelChannel, ReadFailuresAre109AndAnEmptyDeviceIdIsAnEmptyReply) {
  ParallelRig rig;
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  std::string out = "before";
  for (const std::vector<std::byte>& empty : {std::vector<std::byte>{}, test::DeviceId("")}) {
    rig.backend->device.id = empty;
    EXPECT_TRUE(rig.channel->ReadReply(out, rig.failure));
    EXPECT_EQ(out, "");
  }
  out = "before";
  rig.backend->device.on_read = [](int) -> TransferResult {
    return {Status::kFailed, 0, "the printer gave no device ID"};
  };
  EXPECT_FALSE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToRead);
  EXPECT_EQ(out, "before");
}

TEST(ParallelChannel, BusyReadIsRepeatedUntilItAnswersOrIsCancelled) {
  ParallelRig rig;
  ASSERT_TRUE(rig.channel->Open(rig.failure));
  rig.backend->device.id = test::DeviceId("READ_PARAM:1,9;");
  rig.backend->device.on_read = [](int n) -> TransferResult {
    return n < 3 ? TransferResult{Status::kTimedOut, 0, {}} : TransferResult{Status::kDone, 0, {}};
  };
  std::string out;
  ASSERT_TRUE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(out, "READ_PARAM:1,9;");
  EXPECT_EQ(rig.clock.now_ms, 3 * kDeviceAttemptMs);

  rig.backend->device.on_read = [](int) -> TransferResult { return {Status::kTimedOut, 0, {}}; };
  rig.progress.Show(true);
  rig.progress.on_pump = [&] { rig.progress.PressCancel(); };
  EXPECT_FALSE(rig.channel->ReadReply(out, rig.failure));
  EXPECT_EQ(rig.failure.message_id, kIdsFailedToRead);
}

// Through the printer connection: a missing port is reported once as 107 with its details.
TEST(ParallelChannel, PrinterConnectionShowsOpenFailureOnce) {
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  PortSettings settings;
  settings.port = kPortParallel;
  PrinterConnection connection(
      settings, progress, messages, clock, [](std::int32_t, const ChannelContext& context) {
        auto backend = std::make_unique<test::FakeParallelBackend>();
        backend->ports.clear();
        return std::make_unique<ParallelChannel>(context, std::move(backend));
      });
  EXPECT_FALSE(connection.Open());
  ASSERT_EQ(messages.Ids(), std::vector<int>{kIdsFailedToOpenPort});
  EXPECT_NE(messages.shown[0].details.find("No parallel port"), std::string::npos);
  EXPECT_TRUE(connection.Close());
}

}  // namespace
}  // namespace tavi
