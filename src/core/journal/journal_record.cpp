#include "core/journal/journal_record.h"

#include <charconv>
#include <chrono>
#include <cstdio>

#include "core/journal/json_text.h"

namespace tavi {
namespace {

using json_text::Quote;

void Field(std::string& out, std::string_view name, std::string_view text) {
  out += out.size() > 1 ? "," : "";
  out += Quote(name) + ":" + Quote(text);
}

void Field(std::string& out, std::string_view name, std::optional<std::int64_t> number) {
  out += out.size() > 1 ? "," : "";
  out += Quote(name) + ":" + (number ? std::to_string(*number) : std::string("null"));
}

bool Text(const json_text::Object& object, std::string_view name, std::string& out) {
  const auto it = object.find(name);
  if (it == object.end()) return false;
  if (it->second.kind == json_text::Value::Kind::kNull) return true;
  if (it->second.kind != json_text::Value::Kind::kString) return false;
  out = it->second.text;
  return true;
}

bool Number(const json_text::Object& object, std::string_view name,
            std::optional<std::int64_t>& out) {
  const auto it = object.find(name);
  if (it == object.end()) return false;
  if (it->second.kind == json_text::Value::Kind::kNull) return true;
  if (it->second.kind != json_text::Value::Kind::kInteger) return false;
  out = it->second.integer;
  return true;
}

// Reads `count` decimal digits at `at`; false when they are not all digits.
bool Digits(std::string_view text, std::size_t at, std::size_t count, int& out) {
  if (text.size() < at + count) return false;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  const auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + count, out);
  return ec == std::errc() && end == text.data() + at + count;
}

}  // namespace

std::string EncodeJournalLine(const JournalRecord& r) {
  std::string out = "{";
  Field(out, "time", r.time);
  Field(out, "program", r.program);
  Field(out, "version", r.version);
  Field(out, "user", r.user);
  Field(out, "port", r.port);
  Field(out, "host", r.host);
  Field(out, "family", std::optional<std::int64_t>(r.family));
  Field(out, "operation", r.operation);
  Field(out, "outcome", r.outcome);
  Field(out, "message_id",
        r.message_id ? std::optional<std::int64_t>(*r.message_id) : std::nullopt);
  Field(out, "message", r.message);
  Field(out, "details", r.details);
  Field(out, "duration_ms", std::optional<std::int64_t>(r.duration_ms));
  out += ",\"files\":[";
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    const JournalFile& file = r.files[i];
    std::string item = "{";
    Field(item, "path", file.path);
    Field(item, "role", file.role);
    Field(item, "size", file.size);
    Field(item, "sha256", file.sha256);
    out += (i > 0 ? "," : "") + item + "}";
  }
  out += "]}";
  return out;
}

std::optional<JournalRecord> DecodeJournalLine(std::string_view line) {
  const std::optional<json_text::Object> object = json_text::ParseObject(line);
  if (!object) return std::nullopt;
  JournalRecord r;
  std::optional<std::int64_t> family;
  std::optional<std::int64_t> message_id;
  std::optional<std::int64_t> duration;
  if (!Text(*object, "time", r.time) || !Text(*object, "program", r.program) ||
      !Text(*object, "version", r.version) || !Text(*object, "user", r.user) ||
      !Text(*object, "port", r.port) || !Text(*object, "host", r.host) ||
      !Number(*object, "family", family) || !Text(*object, "operation", r.operation) ||
      !Text(*object, "outcome", r.outcome) || !Number(*object, "message_id", message_id) ||
      !Text(*object, "message", r.message) || !Text(*object, "details", r.details) ||
      !Number(*object, "duration_ms", duration)) {
    return std::nullopt;
  }
  r.family = static_cast<std::int32_t>(family.value_or(0));
  if (message_id) r.message_id = static_cast<int>(*message_id);
  r.duration_ms = duration.value_or(0);
  const auto files = object->find("files");
  if (files == object->end() || files->second.kind != json_text::Value::Kind::kArray) {
    return std::nullopt;
  }
  for (const json_text::Object& item : files->second.items) {
    JournalFile file;
    if (!Text(item, "path", file.path) || !Text(item, "role", file.role) ||
        !Number(item, "size", file.size) || !Text(item, "sha256", file.sha256)) {
      return std::nullopt;
    }
    r.files.push_back(std::move(file));
  }
  return r;
}

std::string JournalTime(std::int64_t unix_seconds) {
  using namespace std::chrono;
  const sys_seconds at{seconds(unix_seconds)};
  const sys_days day = floor<days>(at);
  const year_month_day date(day);
  const hh_mm_ss<seconds> time(at - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::string JournalTimeNow() {
  using namespace std::chrono;
  return JournalTime(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

std::optional<std::string> NormalizeJournalTime(std::string_view text) {
  if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.remove_suffix(1);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!Digits(text, 0, 4, y) || text.size() < 10 || text[4] != '-' || !Digits(text, 5, 2, mo) ||
      text[7] != '-' || !Digits(text, 8, 2, d)) {
    return std::nullopt;
  }
  if (text.size() > 10) {
    if ((text[10] != 'T' && text[10] != ' ') || !Digits(text, 11, 2, h) || text.size() < 16 ||
        text[13] != ':' || !Digits(text, 14, 2, mi)) {
      return std::nullopt;
    }
    if (text.size() > 16 && (text.size() != 19 || text[16] != ':' || !Digits(text, 17, 2, s))) {
      return std::nullopt;
    }
  }
  using namespace std::chrono;
  const year_month_day date{year(y), month(static_cast<unsigned>(mo)),
                            day(static_cast<unsigned>(d))};
  if (!date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  const sys_seconds at = sys_days(date) + hours(h) + minutes(mi) + seconds(s);
  return JournalTime(at.time_since_epoch().count());
}

}  // namespace tavi
