// A report from a printer on the parallel port that first publishes nothing, then answers and
// then stops taking data: the closing zero byte waits with the progress dialog shown, so Cancel
// ends it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "connection/device_fakes.h"
#include "core/connection/parallel_channel.h"
#include "core/connection/printer_connection.h"
#include "core/protocol/operations.h"
#include "core/resources/constants.h"

namespace tavi {
namespace {

using test::DeviceId;
using Status = TransferResult::Status;

TEST(ClosingZeroByte, ADeviceThatStopsTakingDataIsLeftOnCancel) {
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  test::FakeParallelBackend* backend = nullptr;
  PortSettings settings;
  settings.port = kPortParallel;
  PrinterConnection connection(
      settings, progress, messages, clock,
      [&](std::int32_t, const ChannelContext& context) -> std::unique_ptr<Channel> {
        auto b = std::make_unique<test::FakeParallelBackend>();
        backend = b.get();
        backend->device.clock = &clock;
        // An empty device ID (nothing published yet: polling goes on), a one-chunk report,
        // then the printer takes nothing more: every later write attempt runs its whole bound
        // and moves no byte.
        backend->device.on_read = [&](int n) {
          backend->device.id = DeviceId(n == 0 ? "" : n == 1 ? "REPORT:0,1;" : "REPORT:1,4142;");
          return TransferResult{Status::kDone, 0, {}};
        };
        backend->device.on_write = [](int n, std::size_t size) {
          return n < 2 ? TransferResult{Status::kDone, size, {}}
                       : TransferResult{Status::kTimedOut, 0, {}};
        };
        return std::make_unique<ParallelChannel>(context, std::move(b));
      });

  int zero_attempts_seen = 0;
  bool shown_at_cancel = false;
  progress.on_pump = [&] {
    if (backend == nullptr || backend->device.write_sizes.size() < 3) return;
    if (++zero_attempts_seen == 20) {
      shown_at_cancel = progress.visible();
      progress.PressCancel();
    }
  };
  std::string report = "kept";
  EXPECT_FALSE(GetReport(connection, report));
  EXPECT_EQ(report, "kept");
  ASSERT_NE(backend, nullptr);
  EXPECT_EQ(backend->device.reads, 3);
  EXPECT_TRUE(shown_at_cancel);
  // The zero byte was offered again and again until Cancel, and never went out.
  EXPECT_EQ(backend->device.write_sizes.size(), 22u);
  EXPECT_EQ(backend->device.write_sizes.back(), 1u);
  EXPECT_EQ(backend->device.written, std::string(connection.AccessCodeLine()) + "GET REPORT");
  EXPECT_TRUE(messages.shown.empty());  // Cancel is no failure
  EXPECT_EQ(backend->closes, 1);
  EXPECT_FALSE(progress.visible());
}

}  // namespace
}  // namespace tavi
