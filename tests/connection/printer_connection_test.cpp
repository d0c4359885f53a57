#include "core/connection/printer_connection.h"

#include <gtest/gtest.h>

#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/trace/trace_sinks.h"
#include "support/doubles.h"

namespace tavi {
namespace {

using test::FakeChannel;

struct Rig {
  explicit Rig(std::int32_t port_kind) {
    PortSettings s;
    s.port = port_kind;
    connection = std::make_unique<PrinterConnection>(
        s, progress, messages, clock,
        [this](std::int32_t kind, const ChannelContext&) -> std::unique_ptr<Channel> {
          ++made;
          made_kind = kind;
          auto c = std::make_unique<FakeChannel>();
          channel = c.get();
          *channel = templ;
          return c;
        });
  }
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  FakeChannel templ;
  FakeChannel* channel = nullptr;
  int made = 0;
  std::int32_t made_kind = -1;
  std::unique_ptr<PrinterConnection> connection;
};

TEST(PrinterConnection, UnknownPortKindFailsAtOpenNamingTheValue) {
  Rig rig(5);
  std::string reply = "unchanged";
  EXPECT_FALSE(rig.connection->Open());
  ASSERT_EQ(rig.messages.shown.size(), 1u);
  EXPECT_EQ(rig.messages.shown[0].id, kIdsFailedToOpenPort);
  EXPECT_NE(rig.messages.shown[0].details.find("port kind in the settings is 5"),
            std::string::npos);
  // Nothing claims to have reached a printer afterwards either.
  EXPECT_FALSE(rig.connection->Write("GET REPORT"));
  EXPECT_FALSE(rig.connection->ReadReply(reply));
  EXPECT_EQ(reply, "unchanged");
  EXPECT_TRUE(rig.connection->Close());
  EXPECT_EQ(rig.made, 0);
}

TEST(PrinterConnection, CancelledWriteAndReadFailSilentlyWithoutIo) {
  Rig rig(kPortParallel);
  ASSERT_TRUE(rig.connection->Open());
  rig.progress.Show(true);
  rig.progress.PressCancel();
  std::string reply;
  EXPECT_FALSE(rig.connection->Write("x"));
  EXPECT_FALSE(rig.connection->ReadReply(reply));
  EXPECT_TRUE(rig.channel->writes.empty());
  EXPECT_EQ(rig.channel->reads, 0);
  EXPECT_TRUE(rig.messages.shown.empty());
  // The next show request clears the flag and the connection works again.
  rig.progress.Show(true);
  EXPECT_TRUE(rig.connection->Write("x"));
}

TEST(PrinterConnection, EachFailureShowsExactlyOneMessageWithItsDetails) {
  for (std::int32_t kind : {kPortParallel, kPortNetwork, kPortUsb}) {
    Rig rig(kind);
    rig.templ.fail_write_with = kIdsFailedToSend;
    rig.templ.fail_read_with = kIdsFailedToReceive;
    ASSERT_TRUE(rig.connection->Open());
    EXPECT_EQ(rig.made_kind, kind);
    std::string reply = "kept";
    EXPECT_FALSE(rig.connection->Write("abc"));
    EXPECT_FALSE(rig.connection->ReadReply(reply));
    EXPECT_EQ(reply, "kept");
    EXPECT_EQ(rig.messages.Ids(), (std::vector<int>{kIdsFailedToSend, kIdsFailedToReceive}));
  }
}

TEST(PrinterConnection, FailedOpenReportsItsMessageAndCloseStillSucceeds) {
  Rig rig(kPortNetwork);
  rig.templ.fail_open_with = kIdsFailedToConnect;
  EXPECT_FALSE(rig.connection->Open());
  EXPECT_TRUE(rig.connection->Close());
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToConnect});
  EXPECT_EQ(rig.channel->closes, 1);
}

TEST(PrinterConnection, KindWithoutChannelFailsOpenWith107) {
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  PortSettings s;
  s.port = kPortUsb;
  PrinterConnection connection(s, progress, messages, clock, nullptr);
  EXPECT_FALSE(connection.Open());
  EXPECT_EQ(messages.Ids(), std::vector<int>{kIdsFailedToOpenPort});
  EXPECT_TRUE(connection.Close());
}

TEST(PrinterConnection, ChannelObjectIsKeptAcrossOpens) {
  Rig rig(kPortUsb);
  ASSERT_TRUE(rig.connection->Open());
  rig.connection->Close();
  ASSERT_TRUE(rig.connection->Open());
  rig.connection->Close();
  EXPECT_EQ(rig.made, 1);
  EXPECT_EQ(rig.channel->opens, 2);
}

TEST(PrinterConnection, ReopenAfterResetFollowsTheChannelsPolicy) {
  Rig waits(kPortNetwork);
  ASSERT_TRUE(waits.connection->Open());
  EXPECT_TRUE(waits.connection->ReopenAfterReset());
  EXPECT_EQ(waits.clock.sleeps, std::vector<int>{3000});
  EXPECT_EQ(waits.channel->calls, (std::vector<std::string>{"open"}));

  Rig reopens(kPortParallel);
  reopens.templ.after_reset = ResetPolicy::kReopen;
  ASSERT_TRUE(reopens.connection->Open());
  EXPECT_TRUE(reopens.connection->ReopenAfterReset());
  EXPECT_EQ(reopens.clock.sleeps, std::vector<int>{3000});
  EXPECT_EQ(reopens.channel->calls, (std::vector<std::string>{"open", "close", "open"}));

  Rig gone(kPortUsb);
  gone.templ.after_reset = ResetPolicy::kReopen;
  ASSERT_TRUE(gone.connection->Open());
  gone.channel->fail_open_with = kIdsFailedToOpenPort;
  EXPECT_FALSE(gone.connection->ReopenAfterReset());
  EXPECT_EQ(gone.messages.Ids(), std::vector<int>{kIdsFailedToOpenPort});
}

// The connection takes every port-specific word and message from the channel of the kind.
TEST(PrinterConnection, WordsAndMessagesOfAPortAreTheChannels) {
  Rig rig(kPortUsb);
  TraceMemory sink;
  rig.connection->set_trace(Trace(sink, rig.clock));
  rig.templ.port_words = "the bench port";
  rig.templ.write_failure_id = kIdsFailedToSend;
  rig.templ.read_failure_id = kIdsFailedToReceive;
  // Nothing open yet: the channel of the kind still names the failure.
  std::string reply = "kept";
  EXPECT_FALSE(rig.connection->Write("x"));
  EXPECT_FALSE(rig.connection->ReadReply(reply));
  EXPECT_EQ(rig.messages.Ids(), (std::vector<int>{kIdsFailedToSend, kIdsFailedToReceive}));
  EXPECT_EQ(rig.messages.shown[0].details, "The printer connection is not open.");
  EXPECT_EQ(reply, "kept");
  ASSERT_TRUE(rig.connection->Open());
  EXPECT_NE(sink.Text().find("open: the bench port, family 2"), std::string::npos) << sink.Text();
  EXPECT_EQ(rig.made, 1);
}

TEST(PrinterConnection, AccessCodeLineFollowsTheFamily) {
  Rig rig(kPortParallel);
  rig.connection->settings().machine_type = kMachineType1;
  EXPECT_EQ(rig.connection->AccessCodeLine(),
            std::string("OPEN CODE=") + std::string(AccessCodeA()));
  for (std::int32_t type : {1, 2, -1, 7}) {
    rig.connection->settings().machine_type = type;
    EXPECT_EQ(rig.connection->AccessCodeLine().substr(10), AccessCodeB()) << type;
  }
  EXPECT_EQ(rig.connection->AccessCodeLine().size(), kAccessCodeLineLength);
  EXPECT_NE(AccessCodeA(), AccessCodeB());
}

}  // namespace
}  // namespace tavi
