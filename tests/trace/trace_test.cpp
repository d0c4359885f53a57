// The wire trace's renderings and sinks: what a write shows (never an access code), the stamp of
// each line, and the bounds of the file and of the memory.
#include "core/trace/trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "core/resources/constants.h"
#include "core/trace/trace_sinks.h"
#include "support/doubles.h"

namespace tavi {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

TEST(TracePayload, AccessCodesByNameParameterImagesAndFirmwareByLengthCommandsInHex) {
  EXPECT_EQ(DescribePayload(Bytes(AccessCodeLine(1)), Payload::kBytes),
            "510 bytes: OPEN CODE=<access code A>");
  EXPECT_EQ(DescribePayload(Bytes(AccessCodeLine(2)), Payload::kBytes),
            "510 bytes: OPEN CODE=<access code B>");
  const std::string joined = std::string(AccessCodeLine(2)) + "GET REPORT";
  EXPECT_EQ(DescribePayload(Bytes(joined), Payload::kBytes),
            "520 bytes: OPEN CODE=<access code B>, then 10 bytes: 47 45 54 20 52 45 50 4f 52 54 "
            "\"GET REPORT\"");
  EXPECT_EQ(DescribePayload(Bytes(std::string(1, '\0')), Payload::kBytes), "1 bytes: 00");
  const std::string console("\x00\x03rs\n\xF3", 6);
  EXPECT_EQ(DescribePayload(Bytes(console), Payload::kBytes), "6 bytes: 00 03 72 73 0a f3");
  const std::string long_text(40, 'Q');
  EXPECT_EQ(DescribePayload(Bytes(long_text), Payload::kBytes),
            "40 bytes: " + HexBytes(Bytes(long_text), 32) + " \"" + std::string(32, 'Q') + "\"...");
  EXPECT_TRUE(HexBytes(Bytes(long_text), 32).ends_with("51 ..."));

  // A piece of a code anywhere in the shown bytes, and the whole code in the middle of a write.
  const std::string piece = "x" + std::string(AccessCodeA().substr(100, 8)) + "y";
  EXPECT_EQ(DescribePayload(Bytes(piece), Payload::kBytes),
            "10 bytes (not shown: they hold a piece of an access code)");
  const std::string hidden = "ab" + std::string(AccessCodeB());
  EXPECT_EQ(DescribePayload(Bytes(hidden), Payload::kBytes).find(AccessCodeB().substr(0, 8)),
            std::string::npos);

  const std::string image("\x10\x20\x30\x61", 4);
  EXPECT_EQ(DescribePayload(Bytes(image), Payload::kParameterImage),
            "4 bytes of parameter image, check byte 0x61");
  EXPECT_EQ(DescribePayload(Bytes(std::string(102400, 'F')), Payload::kFirmware),
            "102400 bytes of firmware image");

  // Reply texts: codes by name, bytes outside printable ASCII escaped.
  EXPECT_EQ(PrintableText("\"" + std::string(AccessCodeA()) + "\"\x01\\"),
            "\"<access code A>\"\\x01\\x5c");
}

TEST(TraceLines, StampedWithTheMillisecondsSinceTheStartAndWaitsTraced) {
  test::FakeClock clock;
  clock.now_ms = 1000;
  TraceMemory memory;
  const Trace trace(memory, clock);
  EXPECT_TRUE(trace.on());
  trace.Event("lpd", "connect to 192.0.2.7 port 515 (LPD)");
  TracedClock waits(clock, trace);
  waits.Sleep(300);
  waits.Sleep(0);  // no wait, no line
  trace.Outcome("outcome: success");
  EXPECT_EQ(memory.Text(),
            "      0 ms lpd   connect to 192.0.2.7 port 515 (LPD)\n"
            "      0 ms wait  300 ms\n"
            "    300 ms end   outcome: success\n");
  EXPECT_EQ(clock.sleeps, (std::vector<int>{300, 0}));

  // Off: nothing is written anywhere and waits still happen.
  const Trace off;
  EXPECT_FALSE(off.on());
  off.Event("lpd", "dropped");
  TracedClock plain(clock, off);
  plain.Sleep(5);
  EXPECT_EQ(clock.now_ms, 1305);
}

class TempFile {
 public:
  TempFile() {
    std::random_device rd;
    path_ =
        (std::filesystem::temp_directory_path() / ("tavi-trace-" + std::to_string(rd()))).string();
  }
  ~TempFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::string path_;
};

TEST(TraceSinks, FileNeverPassesItsLimitAndKeepsTheOutcome) {
  TempFile temp;
  const std::size_t limit = kTraceKeepReserve + 2000;
  FileError error;
  {
    auto file = TraceFile::Create(temp.path(), limit, error);
    ASSERT_NE(file, nullptr) << FileErrorText(error);
    const std::string line(99, 'L');  // 100 bytes with its line end
    for (int i = 0; i < 500; ++i) file->WriteLine(line, false);
    file->WriteLine("outcome: failed", true);
    EXPECT_LE(file->written(), limit);
  }
  const std::string text = temp.Read();
  EXPECT_LE(text.size(), limit);
  EXPECT_EQ(text.substr(0, 100), std::string(99, 'L') + "\n");
  // 20 lines fit before the reserve; the other 480 are counted, then the outcome comes.
  EXPECT_TRUE(text.ends_with(LeftOutNote(480, 48000, limit) + "\noutcome: failed\n")) << text;

  FileError missing;
  EXPECT_EQ(TraceFile::Create("/no/such/dir/trace.txt", limit, missing), nullptr);
  EXPECT_EQ(missing.code, SystemCode::Errno(ENOENT));
  EXPECT_EQ(FileErrorText(missing),
            "Could not create /no/such/dir/trace.txt: No such file or directory.");
}

TEST(TraceSinks, MemoryKeepsTheStartAndTheEndWithinItsBound) {
  TraceMemory memory(10000);
  for (int i = 0; i < 2000; ++i) memory.WriteLine("line " + std::to_string(i), false);
  const std::string text = memory.Text();
  EXPECT_LE(text.size(), memory.limit() + 200);
  EXPECT_TRUE(text.starts_with("line 0\nline 1\n"));
  EXPECT_TRUE(text.ends_with("line 1998\nline 1999\n"));
  EXPECT_NE(text.find(" lines ("), std::string::npos);
  EXPECT_NE(text.find("left out: the trace is limited to 10000 bytes"), std::string::npos);
  memory.Clear();
  EXPECT_TRUE(memory.empty());
  memory.WriteLine("next operation", false);
  EXPECT_EQ(memory.Text(), "next operation\n");
}

}  // namespace
}  // namespace tavi
