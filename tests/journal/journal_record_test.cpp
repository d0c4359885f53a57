// A record survives the journal's line form whatever its text holds, and the time bounds of the
// history are read in every form they are given in.
#include <gtest/gtest.h>

#include <string>

#include "core/journal/journal.h"
#include "core/journal/journal_record.h"

namespace tavi {
namespace {

TEST(JournalRecord, HostileTextStaysOneLineAndReadsBackTheSame) {
  JournalRecord record;
  record.time = JournalTime(1796888112);
  record.program = "tavi-cli";
  record.version = "3.0";
  record.user = "O'Brien \"ops\"";
  record.port = "network";
  record.host = "127.0.105.9";
  record.family = 2;
  record.operation = "put-params";
  record.outcome = "failed";
  record.message_id = 105;
  record.message = "Failed to send.";
  record.details = std::string("line one\nline two\r\t\\ \x01\x7f end \xC3\xA9", 30);
  record.duration_ms = 1234567;
  record.files = {{"/srv/a,b \"c\".prm", "read", 42, std::string(64, 'a')},
                  {"/srv/missing.prm", "written", std::nullopt, ""}};

  const std::string line = EncodeJournalLine(record);
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_EQ(line.find('\r'), std::string::npos) << line;
  const std::optional<JournalRecord> back = DecodeJournalLine(line);
  ASSERT_TRUE(back.has_value()) << line;
  EXPECT_EQ(back->time, "2026-12-10T07:35:12Z");
  EXPECT_EQ(back->user, record.user);
  EXPECT_EQ(back->details, record.details);
  EXPECT_EQ(back->message_id, 105);
  EXPECT_EQ(back->duration_ms, 1234567);
  ASSERT_EQ(back->files.size(), 2u);
  EXPECT_EQ(back->files[0].path, record.files[0].path);
  EXPECT_EQ(back->files[0].size, 42);
  EXPECT_FALSE(back->files[1].size.has_value());
  EXPECT_EQ(EncodeJournalLine(*back), line);

  // Bytes that are no UTF-8 become U+FFFD, so every line is valid text.
  record.user = std::string("bad \xFF\xC3 end");
  const std::optional<JournalRecord> mended = DecodeJournalLine(EncodeJournalLine(record));
  ASSERT_TRUE(mended.has_value());
  EXPECT_EQ(mended->user, "bad \xEF\xBF\xBD\xEF\xBF\xBD end");

  // A torn or foreign line is no record.
  EXPECT_FALSE(DecodeJournalLine(line.substr(0, line.size() / 2)).has_value());
  EXPECT_FALSE(DecodeJournalLine(line + "x").has_value());
  EXPECT_FALSE(DecodeJournalLine("{\"time\":\"x\"}").has_value());
  EXPECT_FALSE(DecodeJournalLine("").has_value());
}

TEST(JournalRecord, TimeBoundsAndFiltersReadEveryGivenForm) {
  EXPECT_EQ(NormalizeJournalTime("2026-12-10"), "2026-12-10T00:00:00Z");
  EXPECT_EQ(NormalizeJournalTime("2026-12-10T07:35"), "2026-12-10T07:35:00Z");
  EXPECT_EQ(NormalizeJournalTime("2026-12-10T07:35:12Z"), "2026-12-10T07:35:12Z");
  EXPECT_EQ(NormalizeJournalTime("2024-02-29 23:59:59"), "2024-02-29T23:59:59Z");
  EXPECT_FALSE(NormalizeJournalTime("2026-02-29").has_value());
  EXPECT_FALSE(NormalizeJournalTime("2026-12-10T24:00").has_value());
  EXPECT_FALSE(NormalizeJournalTime("yesterday").has_value());
  EXPECT_FALSE(NormalizeJournalTime("2026-12-10T07:35:1").has_value());

  JournalRecord record;
  record.time = "2026-12-10T07:35:12Z";
  record.host = "127.0.105.9";
  record.operation = "get-params";
  EXPECT_TRUE(Matches(
      record, {"127.0.105.9", "GET-PARAMS", "2026-12-10T07:35:12Z", "2026-12-10T07:35:12Z"}));
  EXPECT_FALSE(Matches(record, {"127.0.105.90", "", "", ""}));
  EXPECT_FALSE(Matches(record, {"", "put-params", "", ""}));
  EXPECT_FALSE(Matches(record, {"", "", "2026-12-10T07:35:13Z", ""}));
  EXPECT_FALSE(Matches(record, {"", "", "", "2026-12-10T07:35:11Z"}));

  // CSV: a field with a comma, quote or line break is quoted, its quotes doubled.
  record.details = "a \"b\", c\nd";
  const std::string csv = JournalCsv({record});
  EXPECT_NE(csv.find(",\"a \"\"b\"\", c\nd\","), std::string::npos) << csv;
  EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
}

}  // namespace
}  // namespace tavi
