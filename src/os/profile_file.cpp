#include "os/profile_file.h"

namespace tavi {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

enum class Kind { kSection, kKey, kOther };

struct Classified {
  Kind kind = Kind::kOther;
  std::string_view name;
  std::string_view value;
};

// A line is a section header ("[name]"), an entry ("name=value"), or anything else (blank,
// a ';' comment, or a line we do not understand), which is kept as it is.
Classified Classify(std::string_view text) {
  Classified out;
  const std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return out;
  if (t.front() == '[') {
    const std::size_t close = t.find(']', 1);
    if (close != std::string_view::npos) {
      out.kind = Kind::kSection;
      out.name = Trim(t.substr(1, close - 1));
      return out;
    }
  }
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return out;
  out.kind = Kind::kKey;
  out.name = Trim(t.substr(0, eq));
  out.value = Trim(t.substr(eq + 1));
  return out;
}

// A value may not carry a line break (it would start lines of its own) nor a NUL byte.
std::string_view SingleLine(std::string_view value) {
  const std::size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
  return cut == std::string_view::npos ? value : value.substr(0, cut);
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

}  // namespace

std::string EncodeProfileValue(std::string_view value) {
  value = SingleLine(value);
  const bool changed_by_read =
      !value.empty() &&
      (IsSpace(value.front()) || IsSpace(value.back()) ||
       (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
  if (!changed_by_read) return std::string(value);
  std::string out;
  out.reserve(value.size() + 2);
  out += '"';
  out += value;
  out += '"';
  return out;
}

namespace {

std::string Truncated(std::string_view value) {
  return std::string(value.substr(0, kProfileMaxStringLength));
}

// One line of a text: its start, its length without the line end, and the line end's length
// (0 for a last line without one, 1 for "\n", 2 for "\r\n").
struct LineRef {
  std::size_t begin = 0;
  std::size_t length = 0;
  std::size_t ending = 0;
  std::size_t end() const { return begin + length + ending; }
};

LineRef LineAt(std::string_view text, std::size_t pos) {
  const std::size_t nl = text.find('\n', pos);
  if (nl == std::string_view::npos) return {pos, text.size() - pos, 0};
  LineRef line{pos, nl - pos, 1};
  if (line.length > 0 && text[nl - 1] == '\r') {
    --line.length;
    line.ending = 2;
  }
  return line;
}

std::string_view TextOf(std::string_view text, const LineRef& line) {
  return text.substr(line.begin, line.length);
}

// The body of the first section named `section`: [begin, end) offsets, from the end of its
// header line to the start of the next section header (or the end of the text).
std::optional<std::pair<std::size_t, std::size_t>> FindSection(std::string_view text,
                                                               std::string_view section) {
  for (std::size_t pos = 0; pos < text.size();) {
    const LineRef line = LineAt(text, pos);
    pos = line.end();
    const Classified c = Classify(TextOf(text, line));
    if (c.kind != Kind::kSection || !ProfileNamesEqual(c.name, section)) continue;
    std::size_t end = pos;
    while (end < text.size()) {
      const LineRef next = LineAt(text, end);
      if (Classify(TextOf(text, next)).kind == Kind::kSection) break;
      end = next.end();
    }
    return std::make_pair(pos, end);
  }
  return std::nullopt;
}

// The line end new lines get: the file's first one, "\n" when it has none.
std::string_view NewLineEnding(std::string_view text) {
  const std::size_t nl = text.find('\n');
  if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') return "\r\n";
  return "\n";
}

}  // namespace

std::int32_t ParseProfileInt(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && IsSpace(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
    negative = value[i] == '-';
    ++i;
  }
  std::uint32_t magnitude = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(value[i] - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
}

std::string_view UnquoteProfileValue(std::string_view value) {
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

bool ProfileNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::optional<std::string> ProfileSection::GetString(std::string_view key) const {
  const auto it = values_.find(LowerCopy(key));
  if (it == values_.end()) return std::nullopt;
  return Truncated(UnquoteProfileValue(it->second));
}

std::string ProfileSection::GetString(std::string_view key, std::string_view fallback) const {
  std::optional<std::string> value = GetString(key);
  return value ? std::move(*value) : Truncated(fallback);
}

std::int32_t ProfileSection::GetInt(std::string_view key, std::int32_t fallback) const {
  const std::optional<std::string> value = GetString(key);
  return value && !value->empty() ? ParseProfileInt(*value) : fallback;
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  ProfileFile file;
  if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
    file.has_byte_order_mark_ = true;
    text.remove_prefix(kUtf8ByteOrderMark.size());
  }
  file.text_ = std::string(text);
  return file;
}

std::string ProfileFile::Serialize() const {
  if (!has_byte_order_mark_) return text_;
  std::string out;
  out.reserve(kUtf8ByteOrderMark.size() + text_.size());
  out += kUtf8ByteOrderMark;
  out += text_;
  return out;
}

std::size_t ProfileFile::line_count() const {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text_.size(); pos = LineAt(text_, pos).end()) ++count;
  return count;
}

ProfileSection ProfileFile::ReadSection(std::string_view section) const {
  ProfileSection out;
  const auto range = FindSection(text_, section);
  if (!range) return out;
  for (std::size_t pos = range->first; pos < range->second;) {
    const LineRef line = LineAt(text_, pos);
    pos = line.end();
    const Classified c = Classify(TextOf(text_, line));
    if (c.kind == Kind::kKey) out.values_.emplace(LowerCopy(c.name), c.value);  // first wins
  }
  return out;
}

std::optional<std::string> ProfileFile::GetString(std::string_view section,
                                                  std::string_view key) const {
  return ReadSection(section).GetString(key);
}

std::int32_t ProfileFile::GetInt(std::string_view section, std::string_view key,
                                 std::int32_t fallback) const {
  return ReadSection(section).GetInt(key, fallback);
}

void ProfileFile::SetString(std::string_view section, std::string_view key,
                            std::string_view value) {
  SetStrings(section, {{std::string(key), std::string(value)}});
}

void ProfileFile::SetInt(std::string_view section, std::string_view key, std::int32_t value) {
  SetString(section, key, std::to_string(value));
}

void ProfileFile::SetStrings(std::string_view section,
                             const std::vector<std::pair<std::string, std::string>>& entries) {
  // The keys to write, each once, in the order first named, with the last value named.
  std::vector<std::pair<std::string_view, std::string>> pending;
  std::unordered_map<std::string, std::size_t> index;  // lower-case key -> slot in `pending`
  for (const auto& [key, value] : entries) {
    const auto [it, added] = index.emplace(LowerCopy(key), pending.size());
    if (added) {
      pending.emplace_back(key, EncodeProfileValue(value));
    } else {
      pending[it->second].second = EncodeProfileValue(value);
    }
  }
  if (pending.empty()) return;
  const std::string ending(NewLineEnding(text_));
  std::vector<bool> written(pending.size(), false);
  std::string out;
  out.reserve(text_.size() + entries.size() * 16);

  // Where the added keys go in `out`, and whether the line before them lacks its line end.
  std::size_t insert_at = 0;
  bool needs_ending = false;
  if (const auto range = FindSection(text_, section)) {
    out.append(text_, 0, range->first);
    insert_at = out.size();
    needs_ending = range->first > 0 && text_[range->first - 1] != '\n';
    for (std::size_t pos = range->first; pos < range->second;) {
      const LineRef line = LineAt(text_, pos);
      pos = line.end();
      const std::string_view body = TextOf(text_, line);
      const Classified c = Classify(body);
      const auto it = c.kind == Kind::kKey ? index.find(LowerCopy(c.name)) : index.end();
      if (it != index.end() && !written[it->second]) {
        written[it->second] = true;
        out += c.name;  // the stored spelling of the key stays
        out += '=';
        out += pending[it->second].second;
        out.append(text_, line.begin + line.length, line.ending);
      } else {
        out.append(text_, line.begin, line.length + line.ending);
      }
      if (!Trim(body).empty()) {
        insert_at = out.size();
        needs_ending = line.ending == 0;
      }
    }
    out.append(text_, range->second, std::string::npos);
  } else {
    out = text_;
    if (!out.empty()) {
      // A blank line goes before the new section unless the last line is blank already.
      std::string_view rest = text_;
      if (rest.back() == '\n') rest.remove_suffix(1);
      const std::size_t nl = rest.rfind('\n');
      const bool last_blank =
          Trim(nl == std::string_view::npos ? rest : rest.substr(nl + 1)).empty();
      if (out.back() != '\n') out += ending;
      if (!last_blank) out += ending;
    }
    out += '[';
    out += section;
    out += ']';
    out += ending;
    insert_at = out.size();
  }

  std::string added;
  if (needs_ending) added += ending;
  for (std::size_t k = 0; k < pending.size(); ++k) {
    if (written[k]) continue;
    added += pending[k].first;
    added += '=';
    added += pending[k].second;
    added += ending;
  }
  if (added.size() > (needs_ending ? ending.size() : 0)) out.insert(insert_at, added);
  text_ = std::move(out);
}

}  // namespace tavi
