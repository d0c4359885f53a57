#include "platform/profile_file.h"

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

std::string Truncated(std::string_view value) {
  return std::string(value.substr(0, kProfileMaxStringLength));
}

}  // namespace

std::int32_t ParseProfileInt(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && IsSpace(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && value[i] == '-') {
    negative = true;
    ++i;
  }
  std::uint32_t magnitude = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(value[i] - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
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
  return Truncated(it->second);
}

std::string ProfileSection::GetString(std::string_view key, std::string_view fallback) const {
  std::optional<std::string> value = GetString(key);
  return value ? std::move(*value) : Truncated(fallback);
}

std::int32_t ProfileSection::GetInt(std::string_view key, std::int32_t fallback) const {
  const std::optional<std::string> value = GetString(key);
  return value ? ParseProfileInt(*value) : fallback;
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  ProfileFile file;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    Line line;
    if (nl == std::string_view::npos) {
      line.text = std::string(text);
      text = {};
    } else {
      std::string_view body = text.substr(0, nl);
      line.ending = "\n";
      if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
        line.ending = "\r\n";
      }
      line.text = std::string(body);
      text.remove_prefix(nl + 1);
    }
    file.lines_.push_back(std::move(line));
  }
  return file;
}

std::string ProfileFile::Serialize() const {
  std::size_t total = 0;
  for (const Line& line : lines_) total += line.text.size() + line.ending.size();
  std::string out;
  out.reserve(total);
  for (const Line& line : lines_) {
    out += line.text;
    out += line.ending;
  }
  return out;
}

std::optional<std::pair<std::size_t, std::size_t>> ProfileFile::FindSection(
    std::string_view section) const {
  std::size_t i = 0;
  for (; i < lines_.size(); ++i) {
    const Classified c = Classify(lines_[i].text);
    if (c.kind == Kind::kSection && ProfileNamesEqual(c.name, section)) break;
  }
  if (i == lines_.size()) return std::nullopt;
  const std::size_t begin = i + 1;
  std::size_t end = begin;
  while (end < lines_.size() && Classify(lines_[end].text).kind != Kind::kSection) ++end;
  return std::make_pair(begin, end);
}

std::string_view ProfileFile::NewLineEnding() const {
  for (const Line& line : lines_) {
    if (!line.ending.empty()) return line.ending;
  }
  return "\n";
}

ProfileSection ProfileFile::ReadSection(std::string_view section) const {
  ProfileSection out;
  const auto range = FindSection(section);
  if (!range) return out;
  for (std::size_t i = range->first; i < range->second; ++i) {
    const Classified c = Classify(lines_[i].text);
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
  std::vector<std::pair<std::string_view, std::string_view>> pending;
  std::unordered_map<std::string, std::size_t> index;  // lower-case key -> slot in `pending`
  for (const auto& [key, value] : entries) {
    const auto [it, added] = index.emplace(LowerCopy(key), pending.size());
    if (added) {
      pending.emplace_back(key, SingleLine(value));
    } else {
      pending[it->second].second = SingleLine(value);
    }
  }
  if (pending.empty()) return;
  const std::string ending(NewLineEnding());

  std::vector<bool> written(pending.size(), false);
  std::size_t insert_at = lines_.size();
  if (const auto range = FindSection(section)) {
    insert_at = range->first;
    for (std::size_t i = range->first; i < range->second; ++i) {
      if (!Trim(lines_[i].text).empty()) insert_at = i + 1;
      const Classified c = Classify(lines_[i].text);
      if (c.kind != Kind::kKey) continue;
      const auto it = index.find(LowerCopy(c.name));
      if (it == index.end() || written[it->second]) continue;
      written[it->second] = true;
      std::string text(c.name);  // the stored spelling of the key stays
      text += '=';
      text += pending[it->second].second;
      lines_[i].text = std::move(text);
    }
  } else {
    if (!lines_.empty()) {
      if (lines_.back().ending.empty()) lines_.back().ending = ending;
      if (!Trim(lines_.back().text).empty()) lines_.push_back(Line{"", ending});
    }
    lines_.push_back(Line{"[" + std::string(section) + "]", ending});
    insert_at = lines_.size();
  }

  std::vector<Line> added;
  for (std::size_t k = 0; k < pending.size(); ++k) {
    if (written[k]) continue;
    std::string text(pending[k].first);
    text += '=';
    text += pending[k].second;
    added.push_back(Line{std::move(text), ending});
  }
  if (added.empty()) return;
  if (insert_at > 0 && lines_[insert_at - 1].ending.empty()) lines_[insert_at - 1].ending = ending;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at),
                std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
}

}  // namespace tavi
