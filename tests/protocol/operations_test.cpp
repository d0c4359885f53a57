#include "core/protocol/operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "core/connection/printer_connection.h"
#include "core/protocol/console_frame.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "support/doubles.h"

namespace tavi {
namespace {

using test::FakeChannel;

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A printer connection over a scripted channel, on a virtual clock.
struct Rig {
  Rig() {
    PortSettings s;
    s.port = kPortParallel;
    connection = std::make_unique<PrinterConnection>(
        s, progress, messages, clock,
        [this](std::int32_t, const ChannelContext&) -> std::unique_ptr<Channel> {
          auto c = std::make_unique<FakeChannel>();
          channel = c.get();
          *channel = script;
          return c;
        });
  }
  // The writes of the last channel, with the access-code line shown as "<ACCESS>".
  std::vector<std::string> Writes() const {
    std::vector<std::string> out;
    for (const auto& w : channel->writes) {
      out.push_back(w == connection->AccessCodeLine() ? "<ACCESS>" : w);
    }
    return out;
  }
  test::RecordingProgress progress;
  test::RecordingMessages messages;
  test::FakeClock clock;
  FakeChannel script;
  FakeChannel* channel = nullptr;
  std::unique_ptr<PrinterConnection> connection;
};

// Replies of a report of `chunks` published in the given order after the header.
std::deque<std::string> ReportReplies(const std::vector<std::string>& chunks,
                                      const std::vector<int>& order, std::string_view marker) {
  std::deque<std::string> replies;
  replies.push_back(std::string(marker) + "0," + std::to_string(chunks.size()) + ";");
  for (int k : order)
    replies.push_back(std::string(marker) + std::to_string(k) + "," + Hex(chunks[k - 1]) + ";");
  return replies;
}

TEST(GetReport, AssemblesChunksInIndexOrderAndEndsWithTheClosingZeroByte) {
  Rig rig;
  const std::string c1(128, 'a'), c2(128, 'b'), c3 = "tail\r\n";
  rig.script.replies = ReportReplies({c1, c2, c3}, {3, 1, 3, 2}, kMarkerReport);
  rig.script.replies.push_front("");  // nothing published yet
  rig.script.replies.push_front("STATUS=IDLE;");
  std::string report = "old";
  ASSERT_TRUE(GetReport(*rig.connection, report));
  EXPECT_EQ(report, c1 + c2 + c3);
  EXPECT_EQ(rig.Writes(),
            (std::vector<std::string>{"<ACCESS>", "GET REPORT", std::string(1, '\0')}));
  EXPECT_EQ(rig.channel->calls.back(), "close");
  EXPECT_TRUE(rig.messages.shown.empty());
  // 300 ms after the command; 5 ms after each empty or non-empty payload in the header wait,
  // then 5 ms after each non-empty chunk payload.
  EXPECT_EQ(rig.clock.sleeps, (std::vector<int>{300, 5, 5, 5, 5, 5, 5, 5}));
  EXPECT_EQ(rig.progress.state.upper(), 3);
  EXPECT_EQ(rig.progress.positions, (std::vector<int>{0, 1, 2, 3}));
  // The dialog is hidden after the closing zero byte.
  EXPECT_EQ(rig.progress.events.back(), "hide");
}

TEST(GetReport, ChunkBeforeTheHeaderIsDroppedAndZeroCountHeaderIgnored) {
  Rig rig;
  rig.script.replies = {"REPORT:1,41;", "REPORT:0,0;", "REPORT:0,1;", "REPORT:1,4243;"};
  std::string report;
  ASSERT_TRUE(GetReport(*rig.connection, report));
  EXPECT_EQ(report, "BC");
  EXPECT_EQ(rig.channel->reads, 4);
}

TEST(GetReport, OpenFailureShowsOneMessageWritesNothingAndStillCloses) {
  Rig rig;
  rig.script.fail_open_with = kIdsFailedToOpenPort;
  std::string report = "unchanged";
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_EQ(report, "unchanged");
  EXPECT_TRUE(rig.channel->writes.empty());
  EXPECT_EQ(rig.channel->closes, 1);
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToOpenPort});
}

TEST(GetReport, ReadFailureStillSendsTheClosingZeroByte) {
  Rig rig;
  rig.script.fail_read_with = kIdsFailedToRead;
  std::string report;
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_EQ(rig.Writes(),
            (std::vector<std::string>{"<ACCESS>", "GET REPORT", std::string(1, '\0')}));
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToRead});
}

TEST(GetReport, FailedCommandWriteShowsOneMessageAndNoZeroByte) {
  Rig rig;
  rig.script.fail_write_with = kIdsFailedToWrite;
  rig.script.fail_write_number = 1;
  std::string report;
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToWrite});
  EXPECT_EQ(rig.channel->writes.size(), 2u);
  EXPECT_EQ(rig.channel->closes, 1);
}

TEST(GetReport, CancelDuringTheHeaderWaitEndsSilentlyWithoutTheZeroByte) {
  Rig rig;
  rig.script.default_reply = "";  // the header never comes
  int polls = 0;
  rig.progress.on_pump = [&] {
    if (++polls == 50) rig.progress.PressCancel();
  };
  std::string report;
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(rig.Writes(), (std::vector<std::string>{"<ACCESS>", "GET REPORT"}));
  EXPECT_EQ(rig.channel->closes, 1);
  // The cancel is seen at the very next poll.
  EXPECT_EQ(rig.channel->reads, 48);
}

// What the window says while the header never comes, in virtual time: the printer, the step
// and the elapsed time; after 30 s without news a hint of what usually causes it, while the wait
// goes on until Cancel, which ends it without a message.
TEST(GetReport, WindowNamesPrinterStepAndTimeAndHintsAfterThirtyQuietSeconds) {
  Rig rig;
  rig.script.port_words = "parallel port";
  rig.script.default_reply = "";  // the header never comes
  rig.progress.state.set_clock(&rig.clock);
  std::string status_at_12s;
  std::string hint;
  std::int64_t hint_at = -1;
  int polls_after_hint = 0;
  rig.progress.on_pump = [&] {
    const ProgressState& state = rig.progress.state;
    if (status_at_12s.empty() && rig.clock.now_ms >= 12000) status_at_12s = state.StatusText();
    const std::string quiet = state.QuietText();
    if (quiet.empty()) return;
    if (hint_at < 0) {
      hint_at = rig.clock.now_ms;
      hint = quiet;
    } else if (++polls_after_hint == 20) {
      rig.progress.PressCancel();
    }
  };
  std::string report;
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_EQ(status_at_12s, "parallel port: waiting for the report header, 12 s");
  // The last news was the header wait's start, 300 ms after the show.
  EXPECT_GE(hint_at, 300 + kQuietHintMs);
  EXPECT_LT(hint_at, 300 + kQuietHintMs + 10);
  EXPECT_EQ(hint,
            "The printer has not answered for 30 s. This usually means it is switched off, is "
            "not of the family selected, or is not at this address.");
  EXPECT_EQ(polls_after_hint, 20);  // the hint did not end the wait; Cancel did
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(rig.channel->closes, 1);
  // Every step the window named, in order.
  std::vector<std::string> words;
  for (const ProgressStep& step : rig.progress.steps) words.push_back(StepWords(step));
  EXPECT_EQ(words,
            (std::vector<std::string>{"connecting", "sending 0 of 510 bytes",
                                      "sending 0 of 10 bytes", "waiting for the report header"}));
  EXPECT_EQ(rig.progress.printers, std::vector<std::string>{"parallel port"});
}

TEST(GetReport, WindowCountsTheChunks) {
  Rig rig;
  rig.script.replies = ReportReplies({"a", "b"}, {2, 1}, kMarkerReport);
  std::string report;
  ASSERT_TRUE(GetReport(*rig.connection, report));
  std::vector<std::string> words;
  for (const ProgressStep& step : rig.progress.steps) words.push_back(StepWords(step));
  EXPECT_EQ(words, (std::vector<std::string>{
                       "connecting", "sending 0 of 510 bytes", "sending 0 of 10 bytes",
                       "waiting for the report header", "chunk 0 of 2", "chunk 1 of 2",
                       "chunk 2 of 2", "sending 0 of 1 bytes"}));
}

TEST(GetReport, CancelDuringCollectionKeepsTheCallersText) {
  Rig rig;
  rig.script.replies = {"REPORT:0,2;", "REPORT:1,41;"};
  rig.script.default_reply = "REPORT:1,41;";
  int pumps = 0;
  rig.progress.on_pump = [&] {
    if (++pumps == 10) rig.progress.PressCancel();
  };
  std::string report = "kept";
  EXPECT_FALSE(GetReport(*rig.connection, report));
  EXPECT_EQ(report, "kept");
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(rig.channel->writes.size(), 2u);
}

TEST(GetParameters, ReturnsTheBlockLengthAndCapsAtTheCapacity) {
  Rig rig;
  const std::string c1(128, '\x11'), c2(50, '\x22');
  rig.script.replies = ReportReplies({c1, c2}, {2, 1}, kMarkerReadParam);
  std::vector<std::uint8_t> dest(kParameterCapacity, 0xEE);
  ASSERT_EQ(GetParameters(*rig.connection, dest), 178);
  EXPECT_EQ(dest[0], 0x11);
  EXPECT_EQ(dest[177], 0x22);
  EXPECT_EQ(dest[178], 0xEE);
  EXPECT_EQ(rig.Writes(),
            (std::vector<std::string>{"<ACCESS>", "GET PARAM", std::string(1, '\0')}));

  Rig small;
  small.script.replies = ReportReplies({c1, c2}, {1, 2}, kMarkerReadParam);
  std::vector<std::uint8_t> tiny(100);
  EXPECT_EQ(GetParameters(*small.connection, tiny), 100);
}

TEST(GetParameters, EmptyPayloadsInTheHeaderWaitAreNotWaitedFor) {
  Rig rig;
  rig.script.replies = {"", "", "READ_PARAM:0,1;", "READ_PARAM:1,00;"};
  std::vector<std::uint8_t> dest(16);
  EXPECT_EQ(GetParameters(*rig.connection, dest), 1);
  EXPECT_EQ(rig.clock.sleeps, (std::vector<int>{300, 5, 5}));
}

TEST(PutParameters, WritesImageThenRsLineWithStationsAndWaits) {
  for (bool all : {false, true}) {
    Rig rig;
    const std::vector<std::uint8_t> image = {1, 2, 3, 7};
    ASSERT_TRUE(PutParameters(*rig.connection, image, all));
    const std::string frame("\x00\x03rs\n\xF3", 6);
    EXPECT_EQ(rig.Writes(),
              (std::vector<std::string>{"<ACCESS>", all ? "PUT ALL PARAM" : "PUT PARAM",
                                        std::string("\x01\x02\x03\x07", 4), "<ACCESS>",
                                        "PIPE MONITOR", frame}));
    EXPECT_EQ(rig.clock.sleeps, (std::vector<int>{300, 3000, 300}));
    EXPECT_EQ(rig.progress.positions, (std::vector<int>{0, 50, 100}));
    EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsDone});
    EXPECT_EQ(rig.channel->closes, 1);
  }
}

TEST(PutParameters, FailedImageWriteShowsOneMessageAndNoConsoleFrame) {
  Rig rig;
  rig.script.fail_write_with = kIdsFailedToSend;
  rig.script.fail_write_number = 2;
  const std::vector<std::uint8_t> image = {9, 10};
  EXPECT_FALSE(PutParameters(*rig.connection, image, false));
  EXPECT_EQ(rig.channel->writes.size(), 3u);
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsFailedToSend});
}

TEST(SetHeadRank, SendsTheDefaultFrameWithStationsAndWaits) {
  Rig rig;
  ASSERT_TRUE(SetHeadRank(*rig.connection, 0, "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB"));
  ASSERT_EQ(rig.channel->writes.size(), 3u);
  const std::string& frame = rig.channel->writes[2];
  ASSERT_EQ(frame.size(), 95u);
  EXPECT_EQ(Hex(frame.substr(0, 2)), "005C");
  EXPECT_EQ(Hex(frame.substr(94)), "4C");
  EXPECT_EQ(frame.substr(2, 30), "HeadInfo_SetHeadRank 0 \"7BZ3E3");
  EXPECT_EQ(rig.clock.sleeps, (std::vector<int>{300, 3000, 3000, 300}));
  EXPECT_EQ(rig.progress.positions, (std::vector<int>{0, 50, 75, 100}));
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsDone});
}

TEST(UpgradeFirmware, SplitsTheImageWithPositionsAndReopensAfterReset) {
  Rig rig;
  std::vector<std::uint8_t> image(250000);
  std::iota(image.begin(), image.end(), 0);
  ASSERT_TRUE(UpgradeFirmware(*rig.connection, image));
  ASSERT_EQ(rig.channel->writes.size(), 6u);
  EXPECT_EQ(rig.channel->writes[2].substr(2, 18), "BOOT_UpdateMain 0\n");
  EXPECT_EQ(rig.channel->writes[3].size(), 102400u);
  EXPECT_EQ(rig.channel->writes[4].size(), 102400u);
  EXPECT_EQ(rig.channel->writes[5].size(), 45200u);
  EXPECT_EQ(static_cast<unsigned char>(rig.channel->writes[5].back()),
            static_cast<unsigned char>(249999 & 0xFF));
  EXPECT_EQ(rig.progress.positions, (std::vector<int>{0, 10, 10, 46, 83, 100}));
  EXPECT_EQ(rig.clock.sleeps, (std::vector<int>{300, 3000, 300}));
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsDone});
}

TEST(UpgradeFirmware, EmptyImageStillSendsTheStartCommandAndEndsWithDone) {
  Rig rig;
  ASSERT_TRUE(UpgradeFirmware(*rig.connection, {}));
  EXPECT_EQ(rig.channel->writes.size(), 3u);
  EXPECT_EQ(rig.progress.positions, (std::vector<int>{0, 10, 100}));
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsDone});
}

// A cancelled upload is no failure, but the printer may hold part of an image: the person is
// told so once, after the connection was closed.
TEST(UpgradeFirmware, CancelDuringTheUploadSaysThePrinterMayHoldPartOfAnImage) {
  Rig rig;
  std::vector<std::uint8_t> image(300000);
  rig.progress.on_pump = [&] {
    if (rig.channel != nullptr && rig.channel->writes.size() == 4) rig.progress.PressCancel();
  };
  int closes_before_message = -1;
  rig.messages.on_show = [&] { closes_before_message = rig.channel->closes; };
  EXPECT_FALSE(UpgradeFirmware(*rig.connection, image));
  EXPECT_EQ(rig.channel->writes.size(), 4u);
  EXPECT_EQ(rig.messages.Ids(), std::vector<int>{kIdsUpgradeCancelled});
  EXPECT_EQ(closes_before_message, 1);
  EXPECT_EQ(rig.channel->closes, 1);
  std::vector<std::string> words;
  for (const ProgressStep& step : rig.progress.steps) words.push_back(StepWords(step));
  EXPECT_NE(std::find(words.begin(), words.end(), "sending 102400 of 300000 bytes"), words.end());

  // A port that never opened took nothing: its failure is the only message.
  Rig closed;
  closed.script.fail_open_with = kIdsFailedToOpenPort;
  EXPECT_FALSE(UpgradeFirmware(*closed.connection, image));
  EXPECT_EQ(closed.messages.Ids(), std::vector<int>{kIdsFailedToOpenPort});
}

}  // namespace
}  // namespace tavi
