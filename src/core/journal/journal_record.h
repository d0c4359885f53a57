// One record of the service journal: what one operation did, to which printer, when, by whom,
// with what outcome, and every file it read or wrote. Settings secrets (access codes, the SNMP
// community) have no field here, so no record can carry one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

struct JournalFile {
  std::string path;
  std::string role;                  // "read", "written" or "safety-copy"
  std::optional<std::int64_t> size;  // absent when the file could not be read afterwards
  std::string sha256;                // 64 lower-case hexadecimal digits; empty with no size
};

struct JournalRecord {
  std::string time;     // UTC, "2026-12-10T07:35:12Z"
  std::string program;  // "tavi", "tavi-cli"
  std::string version;
  std::string user;
  std::string port;  // "network", "usb", "parallel"; empty when none
  std::string host;  // the printer's host on the network; empty when none
  std::int32_t family = 0;
  std::string operation;  // "get-params", "Select Port", ...
  std::string outcome;    // "success", "failed", "cancelled", ...
  std::optional<int> message_id;
  std::string message;
  std::string details;
  std::int64_t duration_ms = 0;
  std::vector<JournalFile> files;
};

// The record as one line of JSON (no line end). Text that is not valid UTF-8 becomes U+FFFD.
[[nodiscard]] std::string EncodeJournalLine(const JournalRecord& record);

// A line read back; nothing for a line that is not a whole record of this form.
[[nodiscard]] std::optional<JournalRecord> DecodeJournalLine(std::string_view line);

// The time as the journal writes it, for seconds since 1970-01-01 00:00:00 UTC.
[[nodiscard]] std::string JournalTime(std::int64_t unix_seconds);
// The current time, likewise.
[[nodiscard]] std::string JournalTimeNow();

// "2026-12-10", "2026-12-10T07:35", "2026-12-10T07:35:12" or the same with "Z" (always UTC)
// brought to the journal's form (a date alone is its midnight); nothing for other text.
[[nodiscard]] std::optional<std::string> NormalizeJournalTime(std::string_view text);

}  // namespace tavi
