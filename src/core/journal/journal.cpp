#include "core/journal/journal.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <system_error>
#include <utility>

#include "core/journal/sha256.h"
#include "os/file_io.h"
#include "os/journal_file.h"

namespace tavi {
namespace {

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  const char last = folder.back();
  return folder + (last == '/' || last == '\\' ? "" : "/") + std::string(name);
}

void ReadLines(const std::string& path, std::vector<JournalRecord>& out) {
  std::vector<std::byte> bytes;
  FileError error;
  if (!ReadWholeFile(path, bytes, error)) return;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    if (std::optional<JournalRecord> record = DecodeJournalLine(text.substr(at, end - at))) {
      out.push_back(std::move(*record));
    }
    at = end + 1;
  }
}

bool SameWords(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::size_t JournalBound() {
  const char* text = std::getenv("TAVI_JOURNAL_BOUND");
  if (text == nullptr) return kJournalBoundBytes;
  std::size_t value = 0;
  const std::string_view view(text);
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (ec != std::errc() || end != view.data() + view.size() || value < 256) {
    return kJournalBoundBytes;
  }
  return value;
}

Journal::Journal(std::string folder, std::size_t bound,
                 std::function<void(const std::string&)> warn)
    : folder_(std::move(folder)), bound_(bound), warn_(std::move(warn)) {}

std::string Journal::current_path() const {
  return Join(folder_, kJournalFileName);
}
std::string Journal::previous_path() const {
  return Join(folder_, kJournalPreviousFileName);
}

bool Journal::Append(const JournalRecord& record) {
  FileError error;
  bool written = false;
  if (folder_.empty()) {
    error.op = FileError::Op::kCreate;
    error.path = std::string(kJournalFileName);
    error.cause = "The system names no state folder for it";
  } else {
    written = AppendJournalLine(current_path(), previous_path(), EncodeJournalLine(record) + "\n",
                                bound_, error);
  }
  if (!written && !warned_.exchange(true)) {
    if (warn_) warn_(std::string(kJournalWarningLead) + FileErrorText(error));
  }
  return written;
}

std::vector<JournalRecord> Journal::ReadAll() const {
  std::vector<JournalRecord> records;
  if (folder_.empty()) return records;
  ReadLines(previous_path(), records);
  ReadLines(current_path(), records);
  return records;
}

JournalFile DescribeFile(const std::string& path, std::string role) {
  JournalFile file;
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(path), ec);
  file.path = ec ? path : full.lexically_normal().string();
  file.role = std::move(role);
  std::vector<std::byte> bytes;
  FileError error;
  if (ReadWholeFile(path, bytes, error)) {
    file.size = static_cast<std::int64_t>(bytes.size());
    file.sha256 = Sha256Hex(bytes);
  }
  return file;
}

bool Matches(const JournalRecord& record, const JournalFilter& filter) {
  if (!filter.host.empty() && record.host != filter.host) return false;
  if (!filter.operation.empty() && !SameWords(record.operation, filter.operation)) return false;
  // Both sides are in the journal's fixed form, so text order is time order.
  if (!filter.since.empty() && record.time < filter.since) return false;
  if (!filter.until.empty() && record.time > filter.until) return false;
  return true;
}

std::string JournalFilesText(const JournalRecord& record) {
  std::string out;
  for (const JournalFile& file : record.files) {
    if (!out.empty()) out += "; ";
    out += file.path + " (" + file.role;
    if (file.size) out += ", " + std::to_string(*file.size) + " bytes, sha256 " + file.sha256;
    out += ")";
  }
  return out;
}

std::string JournalCsv(const std::vector<JournalRecord>& records) {
  std::string out =
      "time,program,version,user,port,host,family,operation,outcome,message_id,message,details,"
      "duration_ms,files\r\n";
  for (const JournalRecord& r : records) {
    const std::string fields[] = {r.time,
                                  r.program,
                                  r.version,
                                  r.user,
                                  r.port,
                                  r.host,
                                  std::to_string(r.family),
                                  r.operation,
                                  r.outcome,
                                  r.message_id ? std::to_string(*r.message_id) : std::string(),
                                  r.message,
                                  r.details,
                                  std::to_string(r.duration_ms),
                                  JournalFilesText(r)};
    bool first = true;
    for (const std::string& field : fields) {
      if (!first) out += ',';
      first = false;
      out += CsvField(field);
    }
    out += "\r\n";
  }
  return out;
}

bool SaveJournalCsv(const std::vector<JournalRecord>& records, FileChooser& chooser,
                    Messages& messages) {
  const std::string path = chooser.AskSaveFile(FileKind::kOther);
  if (path.empty()) return false;
  const std::string csv = JournalCsv(records);
  FileError error;
  if (!WriteFileAtomically(path, std::as_bytes(std::span(csv.data(), csv.size())), error)) {
    chooser.SaveFailed(FileKind::kOther);
    messages.ShowFileError(error);
    return false;
  }
  return true;
}

std::string JournalLineText(const JournalRecord& r) {
  std::string where = r.port;
  if (!r.host.empty()) where += (where.empty() ? "" : " ") + r.host;
  std::string out =
      r.time + "  " + r.operation + "  " + (where.empty() ? "-" : where) + "  " + r.outcome;
  if (!r.message.empty()) out += "  " + r.message;
  out += "  (" + r.program + " " + r.version + ", " + (r.user.empty() ? "?" : r.user) + ")";
  const std::string files = JournalFilesText(r);
  if (!files.empty()) out += "  " + files;
  return out;
}

}  // namespace tavi
