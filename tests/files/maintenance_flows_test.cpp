#include "core/operations/firmware_upgrade.h"
#include "core/operations/get_parameters.h"
#include "core/operations/get_report.h"
#include "core/operations/put_parameters.h"
#include "core/operations/set_head_rank.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/connection/printer_connection.h"
#include "core/files/head_rank.h"
#include "core/files/parameter_codec.h"
#include "core/protocol/check_byte.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/trace/trace_sinks.h"
#include "support/doubles.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;
using test::FakeChannel;

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class FlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavi-flows-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    PortSettings s;
    s.port = kPortParallel;
    connection_ = std::make_unique<PrinterConnection>(
        s, progress_, messages_, clock_,
        [this](std::int32_t, const ChannelContext&) -> std::unique_ptr<Channel> {
          auto c = std::make_unique<FakeChannel>();
          channel_ = c.get();
          *channel_ = script_;
          return c;
        });
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The printer publishes `block` as a parameter block.
  void PublishParameters(std::string_view block) {
    const std::size_t n = (block.size() + 127) / 128;
    script_.replies.push_back("READ_PARAM:0," + std::to_string(n) + ";");
    for (std::size_t k = 0; k < n; ++k) {
      script_.replies.push_back("READ_PARAM:" + std::to_string(k + 1) + "," +
                                Hex(block.substr(k * 128, 128)) + ";");
    }
  }

  fs::path dir_;
  test::RecordingProgress progress_;
  test::RecordingMessages messages_;
  test::FakeClock clock_;
  test::ScriptedFileChooser chooser_;
  FakeChannel script_;
  FakeChannel* channel_ = nullptr;
  std::unique_ptr<PrinterConnection> connection_;
};

TEST_F(FlowTest, BackupThenRestoreSendsTheVeryBlockWithItsCheckByte) {
  std::string block;
  for (int i = 0; i < 3000; ++i) block += static_cast<char>((i * 7) % 251 + (i % 300 < 40 ? 0 : 1));
  PublishParameters(block);
  const fs::path file = dir_ / "backup.prm";
  chooser_.save_answers = {file.string()};
  ASSERT_EQ(GetParametersFlow(*connection_, chooser_), FlowOutcome::kSuccess);
  EXPECT_TRUE(messages_.shown.empty());
  ASSERT_TRUE(fs::exists(file));
  EXPECT_NE(ReadAll(file).substr(0, 64), block.substr(0, 64));  // stored encoded, not plain

  chooser_.open_answers = {file.string()};
  ASSERT_EQ(PutParametersFlow(*connection_, chooser_, false), FlowOutcome::kSuccess);
  const auto& writes = channel_->writes;
  ASSERT_GE(writes.size(), 6u);
  const std::string& image = writes[writes.size() - 4];
  ASSERT_EQ(image.size(), block.size() + 1);
  EXPECT_EQ(image.substr(0, block.size()), block);
  const auto* u8 = reinterpret_cast<const std::uint8_t*>(block.data());
  EXPECT_EQ(static_cast<std::uint8_t>(image.back()), CheckByte({u8, block.size()}));
  EXPECT_EQ(writes[writes.size() - 5], "PUT PARAM");
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsDone});
}

TEST_F(FlowTest, CancelledSaveDialogDiscardsTheBlockAndKeepsTheOldFile) {
  PublishParameters("abc");
  chooser_.save_answers = {""};
  EXPECT_EQ(GetParametersFlow(*connection_, chooser_), FlowOutcome::kCancelled);
  EXPECT_EQ(chooser_.save_asked, 1);
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(FlowTest, FailedReadAsksForNoFile) {
  script_.fail_read_with = kIdsFailedToRead;
  EXPECT_EQ(GetParametersFlow(*connection_, chooser_), FlowOutcome::kFailed);
  EXPECT_EQ(chooser_.save_asked, 0);
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsFailedToRead});
}

TEST_F(FlowTest, UnwritableTargetShowsTheFileErrorAndLeavesNoPartialFile) {
  PublishParameters("abc");
  WriteAll(dir_ / "blocker", "x");
  chooser_.save_answers = {(dir_ / "blocker" / "backup.prm").string()};
  EXPECT_EQ(GetParametersFlow(*connection_, chooser_), FlowOutcome::kFileWriteError);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_NE(messages_.shown[0].file_error.find(
                (std::filesystem::path("blocker") / "backup.prm").string()),
            std::string::npos);
  EXPECT_EQ(ReadAll(dir_ / "blocker"), "x");
}

TEST_F(FlowTest, CorruptParameterFilesAreRefusedBeforeAnythingIsSent) {
  // Empty, a lone byte, a truncated group, and a good file with one byte changed (check byte).
  std::vector<std::uint8_t> image = {10, 20, 30, 0};
  image[3] = CheckByte(std::span(image).first(3));
  std::vector<std::uint8_t> encoded(64);
  const std::int32_t e = ParameterCodec(image, encoded, true);
  ASSERT_GT(e, 0);
  std::string good(reinterpret_cast<const char*>(encoded.data()), static_cast<std::size_t>(e));
  std::string flipped = good;
  flipped[0] = static_cast<char>(flipped[0] ^ 0x01);
  int case_number = 0;
  TraceMemory trace;
  connection_->set_trace(Trace(trace, clock_));
  for (const std::string& content : {std::string(), std::string("\x05", 1), flipped}) {
    const fs::path file = dir_ / ("bad" + std::to_string(case_number++));
    WriteAll(file, content);
    chooser_.open_answers = {file.string()};
    messages_.shown.clear();
    trace.Clear();
    EXPECT_EQ(PutParametersFlow(*connection_, chooser_, false), FlowOutcome::kIllegalInput)
        << case_number;
    EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsIllegalParameterFile});
    EXPECT_EQ(channel_, nullptr) << "nothing may reach the printer";
    // The trace says which file was refused, and with which message.
    const std::string text = trace.Text();
    EXPECT_NE(text.find("file  parameter file " + file.string()), std::string::npos) << text;
    EXPECT_NE(text.find("msg   message 110 \"Illegal Parameter File.\""), std::string::npos)
        << text;
  }
}

TEST_F(FlowTest, MissingFilesShowTheFileErrorAndCancelShowsNothing) {
  chooser_.open_answers = {(dir_ / "missing").string(), ""};
  EXPECT_EQ(FirmwareUpgradeFlow(*connection_, chooser_), FlowOutcome::kFileReadError);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_NE(messages_.shown[0].file_error.find("missing"), std::string::npos);
  EXPECT_EQ(PutParametersFlow(*connection_, chooser_, false), FlowOutcome::kCancelled);
  EXPECT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(channel_, nullptr);
}

// An empty firmware file would put the printer into update mode with nothing to take.
TEST_F(FlowTest, EmptyFirmwareIsRefusedBeforeThePrinterIsReached) {
  WriteAll(dir_ / "empty.bin", "");
  chooser_.open_answers = {(dir_ / "empty.bin").string()};
  EXPECT_EQ(FirmwareUpgradeFlow(*connection_, chooser_), FlowOutcome::kFileReadError);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].file_error,
            "Could not read " + (dir_ / "empty.bin").string() + ": The file is empty.");
  EXPECT_EQ(channel_, nullptr);
}

TEST_F(FlowTest, FirmwareFileIsSentUnchanged) {
  std::string firmware(200000, '\0');
  for (std::size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<char>(i * 31);
  WriteAll(dir_ / "fw.bin", firmware);
  chooser_.open_answers = {(dir_ / "fw.bin").string()};
  ASSERT_EQ(FirmwareUpgradeFlow(*connection_, chooser_), FlowOutcome::kSuccess);
  const auto& w = channel_->writes;
  ASSERT_EQ(w.size(), 5u);
  EXPECT_EQ(w[3] + w[4], firmware);
}

TEST_F(FlowTest, SavedReportIsByteForByteAndReplacesTheOldFile) {
  const fs::path file = dir_ / "report.txt";
  WriteAll(file, "an older and longer report that must go away completely");
  const std::string report = "line 1\r\nline 2\n\xff\x01";
  chooser_.save_answers = {file.string(), file.string()};
  ASSERT_EQ(SaveReportFlow(report, chooser_, messages_), FlowOutcome::kSuccess);
  EXPECT_EQ(ReadAll(file), report);
  ASSERT_EQ(SaveReportFlow("", chooser_, messages_), FlowOutcome::kSuccess);
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(FlowTest, ReferenceKeepsFieldsOnIllegalOrEmptyFiles) {
  HeadRankFields fields;
  fields.f = {"A", "B", "C", "D", "E", "F"};
  const HeadRankFields before = fields;
  WriteAll(dir_ / "illegal", "# comment\n7BZ3E3CVXUWVUQQ_2100Y012VTTR 40UWJB\n");
  WriteAll(dir_ / "empty", "\n# only comments\n   \n");
  WriteAll(dir_ / "good", "  # c\r\n\t7bz3e3cVXUWVUQQ2100Y012VTTR40UWJB\r\n");
  chooser_.open_answers = {(dir_ / "illegal").string(), (dir_ / "empty").string(),
                           (dir_ / "good").string()};
  EXPECT_EQ(ReferenceHeadRankFlow(fields, chooser_, messages_), FlowOutcome::kIllegalInput);
  EXPECT_EQ(fields.f, before.f);
  EXPECT_EQ(ReferenceHeadRankFlow(fields, chooser_, messages_), FlowOutcome::kNothingFound);
  EXPECT_EQ(fields.f, before.f);
  EXPECT_EQ(messages_.Ids(), std::vector<int>{kIdsIllegalHeadRankFile});
  EXPECT_EQ(ReferenceHeadRankFlow(fields, chooser_, messages_), FlowOutcome::kSuccess);
  EXPECT_EQ(fields.f,
            (std::array<std::string, 6>{"7bz3e3c", "VXUWVUQ", "Q", "2100Y", "012VTTR", "40UWJB"}));
}

}  // namespace
}  // namespace tavi
