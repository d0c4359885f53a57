// The service journal: every operation of either program appends one record to a file of JSON
// lines in the user's state folder. The file is bounded: once a record would take it past the
// bound it becomes the previous generation ("journal.1.jsonl", replacing the older one) and a new
// file starts, so the journal holds at most about twice the bound. A journal that cannot be
// written never fails an operation; it is said once per program run.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/journal/journal_record.h"
#include "core/ui/seams.h"

namespace tavi {

inline constexpr std::string_view kJournalFileName = "journal.jsonl";
inline constexpr std::string_view kJournalPreviousFileName = "journal.1.jsonl";
// The bound of the current file, in bytes.
inline constexpr std::size_t kJournalBoundBytes = std::size_t{1} << 20;
// The bound in force: kJournalBoundBytes, unless the environment variable TAVI_JOURNAL_BOUND
// gives another number of bytes (at least 256), which is how tests see a rotation.
[[nodiscard]] std::size_t JournalBound();

// The windows' words for the journal: the context-menu entry, the list window's title and its
// save button.
inline constexpr std::string_view kHistoryMenuText = "Service History...";
inline constexpr std::string_view kHistoryTitle = "Service History";
inline constexpr std::string_view kSaveCsvText = "Save as CSV...";

// The programs as records name them.
inline constexpr std::string_view kWindowProgramName = "tavi";
inline constexpr std::string_view kCliProgramName = "tavi-cli";

// The words said (once) when the journal cannot be written: "Could not write the service
// journal: <file error>".
inline constexpr std::string_view kJournalWarningLead = "Could not write the service journal: ";

class Journal {
 public:
  // `folder` is the journal's folder (empty: the journal is off and says so at the first
  // record); `warn` is given the warning text once.
  Journal(std::string folder, std::size_t bound, std::function<void(const std::string&)> warn);

  // Appends one record; false when it could not be written (the warning said once). Several
  // threads may append at once.
  bool Append(const JournalRecord& record);

  // Every record, oldest first (the previous generation, then the current file); lines that are
  // not whole records are skipped.
  [[nodiscard]] std::vector<JournalRecord> ReadAll() const;

  [[nodiscard]] const std::string& folder() const { return folder_; }
  [[nodiscard]] std::string current_path() const;
  [[nodiscard]] std::string previous_path() const;

 private:
  std::string folder_;
  std::size_t bound_;
  std::function<void(const std::string&)> warn_;
  std::atomic<bool> warned_{false};
};

// The file at `path` as a record lists it: its size and SHA-256, or neither when it cannot be
// read (a save that failed, a FIFO).
[[nodiscard]] JournalFile DescribeFile(const std::string& path, std::string role);

// What the history shows: records whose host and operation equal these (empty: any; the
// operation compared without regard to case) and whose time lies in [since, until] (journal
// form, empty: open).
struct JournalFilter {
  std::string host;
  std::string operation;
  std::string since;
  std::string until;
};
[[nodiscard]] bool Matches(const JournalRecord& record, const JournalFilter& filter);

// The records as CSV (RFC 4180: CRLF line ends, fields with a comma, quote or line break
// quoted), with a header line. Files are one field: "path (role, size bytes, sha256)" joined
// with "; ".
[[nodiscard]] std::string JournalCsv(const std::vector<JournalRecord>& records);

// Asks for a file and replaces it with JournalCsv(records); a file that cannot be written is
// said through `messages`. True once the file is written; false also when the choice was
// cancelled.
[[nodiscard]] bool SaveJournalCsv(const std::vector<JournalRecord>& records, FileChooser& chooser,
                                  Messages& messages);

// One line of the history as a person reads it:
// "2026-12-10T07:35:12Z  get-params  network 127.0.0.1  success  Done.  (tavi-cli 3.0, ann)".
[[nodiscard]] std::string JournalLineText(const JournalRecord& record);

// The files of a record as one text: "path (role, size bytes, sha256 ...)" joined with "; ".
[[nodiscard]] std::string JournalFilesText(const JournalRecord& record);

}  // namespace tavi
