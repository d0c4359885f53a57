// The printer model against hand-built byte streams.
#include "frontends/printer_sim/printer_model.h"

#include <gtest/gtest.h>

#include "core/journal/sha256.h"
#include "core/resources/constants.h"
#include "frontends/printer_sim/builtin_content.h"
#include "frontends/printer_sim/device_channel.h"
#include "frontends/printer_sim/reply_schedule.h"
#include "poller.h"
#include "support/doubles.h"

namespace tavi::sim {
namespace {

std::string Line(int family) {
  return std::string(AccessCodeLine(family));
}

std::string WithCheck(std::string bytes) {
  unsigned sum = 1;
  for (char c : bytes) sum += static_cast<unsigned char>(c);
  bytes.push_back(static_cast<char>(sum & 0xff));
  return bytes;
}

std::string Frame(std::string_view text) {
  std::string f;
  f.push_back(static_cast<char>(text.size() >> 8));
  f.push_back(static_cast<char>(text.size() & 0xff));
  f += text;
  return WithCheck(f);
}

class ModelTest : public ::testing::Test {
 protected:
  explicit ModelTest(SimOptions options = {}) : model(options, clock) {}
  bool Read(std::string& out) {
    clock.now_ms += 5;
    return model.ReadReply(out);
  }
  test::PollResult Poll(std::string_view marker) {
    return test::PollAnswer([this](std::string& t) { return Read(t); }, marker);
  }
  tavi::test::FakeClock clock;
  PrinterModel model;
};

TEST_F(ModelTest, CommandsNeedTheFamilysAccessLineInTheSameOpen) {
  {
    auto s = model.OpenSession("t");
    s->Write(kCmdGetReport);  // no access-code line at all
    s->Write(Line(1));        // the other family's line (the model is family 2)
    s->Write(kCmdGetParam);
    std::string bad = Line(2);
    bad[200] ^= 1;
    s->Write(bad);
    s->Write(kCmdGetReport);
  }
  {
    auto s = model.OpenSession("t");
    s->Write(Line(2));  // the line of an earlier open does not count for this one
  }
  {
    auto s = model.OpenSession("t");
    s->Write(kCmdGetParam);
  }
  {
    auto s = model.OpenSession("t");
    s->Write(Line(2).substr(0, 40));  // the open ends inside the access-code line
  }
  clock.now_ms += 1000;
  std::string text;
  ASSERT_TRUE(model.ReadReply(text));
  EXPECT_EQ(text, kIdleReply);
  const auto ignored = model.log().OfKind("command-ignored");
  ASSERT_EQ(ignored.size(), 4u);
  EXPECT_EQ(ignored[0].Field("reason"), "no access-code line");
  EXPECT_EQ(ignored[1].Field("reason"), "access-code line of the other family");
  EXPECT_EQ(ignored[2].Field("reason"), "bad access-code line");
  EXPECT_EQ(ignored[3].Field("reason"), "no access-code line");
  EXPECT_EQ(model.log().Count("command"), 0u);
  // The cut-off line is logged by its length; no piece of the code is written out.
  const auto incomplete = model.log().OfKind("incomplete");
  ASSERT_EQ(incomplete.size(), 1u);
  EXPECT_EQ(incomplete[0].Field("bytes"), "40");
  const std::string code_piece = Line(2).substr(kAccessCodePrefix.size(), 8);
  for (const auto& event : model.log().Events()) {
    EXPECT_EQ(event.Text().find(code_piece), std::string::npos) << event.Text();
  }
}

TEST_F(ModelTest, ReportComesAfterTheDelayAndEndsWithTheClosingZero) {
  auto s = model.OpenSession("t");
  s->Write(Line(2));
  s->Write(kCmdGetReport);
  std::string text;
  clock.now_ms += 299;
  ASSERT_TRUE(model.ReadReply(text));
  EXPECT_EQ(text, kIdleReply);
  clock.now_ms += 1;
  const auto result = Poll(kMarkerReport);
  ASSERT_TRUE(result.complete);
  EXPECT_EQ(result.data, model.ReportText());
  EXPECT_GT(result.data.size(), 2000u);
  s->Write(std::string(1, '\0'));
  EXPECT_EQ(model.ClosingZeros(), 1);
  ASSERT_TRUE(model.ReadReply(text));
  EXPECT_EQ(text, kIdleReply);
}

TEST_F(ModelTest, StreamMayBeSplitOrJoinedAcrossWrites) {
  auto s = model.OpenSession("t");
  const std::string stream = Line(2) + std::string(kCmdGetParam);
  for (std::size_t at = 0; at < stream.size(); at += 7) s->Write(stream.substr(at, 7));
  clock.now_ms += 300;
  auto result = Poll(kMarkerReadParam);
  ASSERT_TRUE(result.complete);
  EXPECT_EQ(result.data, BuiltinParams(2));
  s->Write(std::string(1, '\0') + Line(2) + std::string(kCmdGetReport));
  clock.now_ms += 300;
  result = Poll(kMarkerReport);
  ASSERT_TRUE(result.complete);
  EXPECT_EQ(result.data, model.ReportText());
}

TEST(ModelSchedules, EveryScheduleYieldsTheWholeAnswer) {
  for (Schedule schedule : {Schedule::kInOrder, Schedule::kShuffled, Schedule::kRepeated,
                            Schedule::kChunksFirst, Schedule::kGaps, Schedule::kWrapped}) {
    for (bool crlf : {true, false}) {
      SCOPED_TRACE(std::string(ScheduleName(schedule)) + (crlf ? " crlf" : " lf"));
      tavi::test::FakeClock clock;
      SimOptions options;
      options.schedule = schedule;
      options.report_crlf = crlf;
      PrinterModel model(options, clock);
      auto s = model.OpenSession("t");
      s->Write(Line(2));
      s->Write(kCmdGetReport);
      clock.now_ms += 300;
      const auto result =
          test::PollAnswer([&](std::string& t) { return model.ReadReply(t); }, kMarkerReport);
      ASSERT_TRUE(result.complete);
      EXPECT_EQ(result.data, model.ReportText());
      EXPECT_EQ(result.data.find(crlf ? "\n" : "\r\n") == std::string::npos, !crlf);
      if (schedule == Schedule::kChunksFirst) {
        EXPECT_GT(result.header_reads, 10);
      }
    }
  }
}

TEST(ModelSchedules, HostilePublicationsAndAMissingHeader) {
  tavi::test::FakeClock clock;
  SimOptions options;
  options.no_header = true;
  PrinterModel model(options, clock);
  auto s = model.OpenSession("t");
  s->Write(Line(2) + std::string(kCmdGetReport));
  clock.now_ms += 300;
  for (int i = 0; i < 200; ++i) {
    std::string text;
    ASSERT_TRUE(model.ReadReply(text));
    EXPECT_EQ(text.find("REPORT:0,"), std::string::npos) << text;
  }
  options.no_header = false;
  options.hostile = Hostile::kNegativeCount;
  model.SetOptions(options);
  s->Write(Line(2) + std::string(kCmdGetReport));
  clock.now_ms += 300;
  std::string header;
  ASSERT_TRUE(model.ReadReply(header));
  EXPECT_EQ(header, "REPORT:0,-" + std::to_string(ChunkCount(model.ReportText().size())) + ";");
  options.hostile = Hostile::kLongPayload;
  model.SetOptions(options);
  s->Write(Line(2) + std::string(kCmdGetReport));
  clock.now_ms += 300;
  std::string text;
  ASSERT_TRUE(model.ReadReply(text));
  ASSERT_TRUE(model.ReadReply(text));
  EXPECT_GT(test::FieldPayload(text, kMarkerReport).size(), 511u);
}

TEST_F(ModelTest, ParameterImageReplacesTheBlockOnlyWithItsCheckByte) {
  const std::string block(300, '\x7f');
  {
    auto s = model.OpenSession("t");
    s->Write(Line(2));
    s->Write(kCmdPutParam);
    std::string image = WithCheck(block);
    image.back() = static_cast<char>(image.back() + 1);
    s->Write(image);
  }
  EXPECT_EQ(model.Params(), BuiltinParams(2));
  ASSERT_EQ(model.log().Count("params-rejected"), 1u);
  EXPECT_EQ(model.log().OfKind("params-rejected")[0].Field("reason"), "wrong check byte");
  {
    auto s = model.OpenSession("t");
    s->Write(Line(2));
    s->Write(kCmdPutAllParam);
    s->Write(WithCheck(block));
    s->Write(Line(2));
    s->Write(kCmdPipeMonitor);
    s->Write(Frame("rs\n"));
  }
  EXPECT_EQ(model.Params(), block);
  EXPECT_EQ(model.log().OfKind("console").back().Field("line"), "rs");
}

TEST_F(ModelTest, ConsoleFramesAreCheckedAndHeadRanksKeptPerHead) {
  const std::string text = std::string("HeadInfo_SetHeadRank 0 \"AB12\"\n") + "NvMemMan_Sync\n" +
                           "Task_Delay 80\n" + "rs\n";
  auto s = model.OpenSession("t");
  s->Write(Line(2));
  s->Write(kCmdPipeMonitor);
  std::string bad = Frame("HeadInfo_SetHeadRank 3 \"ZZ\"\n");
  bad.back() = static_cast<char>(bad.back() ^ 0x10);
  s->Write(bad);
  EXPECT_EQ(model.log().OfKind("console-rejected").at(0).Field("reason"), "wrong check byte");
  EXPECT_TRUE(model.HeadRanks().empty());

  for (auto [head, rank] : {std::pair{0, "AB12"}, std::pair{7, "XY-9 QQ"}}) {
    s->Write(Line(2));
    s->Write(kCmdPipeMonitor);
    s->Write(Frame("HeadInfo_SetHeadRank " + std::to_string(head) + " \"" + rank +
                   "\"\nNvMemMan_Sync\nTask_Delay 80\nrs\n"));
  }
  s->Write(Line(2));
  s->Write(kCmdPipeMonitor);
  s->Write(Frame("HeadInfo_SetHeadRank 8 \"NOPE\"\n"));  // heads are 0..7
  s->Write(Line(2));
  s->Write(kCmdPipeMonitor);
  std::string huge = "\xff\xff" + std::string(600, 'x');  // announces 65535 text bytes
  s->Write(huge);
  const std::map<int, std::string> want = {{0, "AB12"}, {7, "XY-9 QQ"}};
  EXPECT_EQ(model.HeadRanks(), want);
  EXPECT_EQ(model.log().Count("head-rank-rejected"), 1u);
  EXPECT_EQ(model.log().OfKind("console-rejected").at(1).Field("reason"), "frame length too large");
  // The report reflects the ranks.
  EXPECT_NE(model.ReportText().find("\"XY-9 QQ\""), std::string::npos);
  EXPECT_EQ(model.log().Count("console"), 9u);
}

TEST_F(ModelTest, FirmwareStreamIsCountedAndHashed) {
  std::string image(250000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<char>((i * 31 + i / 7) & 0xff);
  {
    auto s = model.OpenSession("t");
    s->Write(Line(2));
    s->Write(kCmdPipeMonitor);
    s->Write(Frame(kConsoleBootUpdate));
    s->Write(image.substr(0, 102400));
    s->Write(image.substr(102400, 102400));
    s->Write(image.substr(204800));
    EXPECT_EQ(model.FirmwareSize(), -1);  // counted when the open ends
  }
  EXPECT_EQ(model.FirmwareSize(), 250000);
  EXPECT_EQ(model.FirmwareSha256(),
            Sha256Hex(std::as_bytes(std::span(image.data(), image.size()))));
  const auto got = model.log().OfKind("firmware-received");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].Field("bytes"), "250000");
}

TEST_F(ModelTest, FirmwareImageMayFollowInTheNextOpenAfterTheDeviceWasReopened) {
  DeviceChannel usb(model, 2);
  Failure failure;
  ASSERT_TRUE(usb.Open(failure));
  const std::string head = Line(2) + std::string(kCmdPipeMonitor);
  ASSERT_TRUE(usb.Write(std::as_bytes(std::span(head.data(), head.size())), failure));
  const std::string frame = Frame(kConsoleBootUpdate);
  ASSERT_TRUE(usb.Write(std::as_bytes(std::span(frame.data(), frame.size())), failure));
  usb.Close();
  EXPECT_EQ(model.log().Count("firmware-received"), 0u);
  ASSERT_TRUE(usb.Open(failure));
  const std::string image(5000, 'F');
  ASSERT_TRUE(usb.Write(std::as_bytes(std::span(image.data(), image.size())), failure));
  usb.Close();
  EXPECT_EQ(model.FirmwareSize(), 5000);
  // An empty image: the next open that carries commands again is not taken as firmware.
  {
    auto s = model.OpenSession("t");
    s->Write(Line(2) + std::string(kCmdPipeMonitor) + Frame(kConsoleBootUpdate));
  }
  {
    auto s = model.OpenSession("t");
    s->Write(Line(2) + std::string(kCmdGetParam));
  }
  EXPECT_EQ(model.FirmwareSize(), 0);
  EXPECT_EQ(model.log().Count("command"), 3u);
}

TEST_F(ModelTest, DeviceChannelCutsRepliesLikeTheDeviceIdQuery) {
  SimOptions options;
  options.hostile = Hostile::kLongPayload;  // a reply text of over 600 characters
  model.SetOptions(options);
  DeviceChannel parallel(model, 0);
  DeviceChannel usb(model, 2);
  Failure failure;
  std::string text;
  EXPECT_FALSE(parallel.ReadReply(text, failure));  // not open
  EXPECT_EQ(failure.message_id, 109);
  ASSERT_TRUE(parallel.Open(failure));
  ASSERT_TRUE(usb.Open(failure));
  const std::string cmd = Line(2) + std::string(kCmdGetReport);
  ASSERT_TRUE(parallel.Write(std::as_bytes(std::span(cmd.data(), cmd.size())), failure));
  clock.now_ms += 300;
  ASSERT_TRUE(parallel.ReadReply(text, failure));  // header
  EXPECT_EQ(text.rfind("REPORT:0,", 0), 0u);
  ASSERT_TRUE(parallel.ReadReply(text, failure));  // the long field, cut at 512
  EXPECT_EQ(text.size(), 512u);
  clock.now_ms += 0;
  std::string full;
  for (int i = 0; i < 200 && full.size() <= 512; ++i) ASSERT_TRUE(usb.ReadReply(full, failure));
  EXPECT_GT(full.size(), 512u);
  EXPECT_LE(full.size(), 1024u);
  model.Restart();
  EXPECT_FALSE(usb.ReadReply(text, failure));
  EXPECT_EQ(failure.message_id, 109);
  EXPECT_FALSE(DeviceChannel(model, 0).Open(failure));
  EXPECT_EQ(failure.message_id, 107);
  clock.now_ms += options.away_ms;
  EXPECT_TRUE(usb.ReadReply(text, failure));
}

}  // namespace
}  // namespace tavi::sim
