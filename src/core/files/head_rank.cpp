#include "core/files/head_rank.h"

#include <algorithm>

namespace tavi {
namespace {

struct FieldSpan {
  std::size_t pos;
  std::size_t len;
};

// Where each field sits in a line of each form.
constexpr std::array<FieldSpan, kHeadRankFieldCount> kSpacedFields = {
    {{0, 7}, {7, 7}, {14, 1}, {16, 5}, {21, 7}, {29, 6}}};
constexpr std::array<FieldSpan, kHeadRankFieldCount> kCompactFields = {
    {{0, 7}, {7, 7}, {14, 1}, {15, 5}, {20, 7}, {27, 6}}};
constexpr bool LayoutsMatchMaxLengths() {
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    if (kSpacedFields[i].len != kHeadRankMaxLengths[i]) return false;
    if (kCompactFields[i].len != kHeadRankMaxLengths[i]) return false;
  }
  return true;
}
static_assert(LayoutsMatchMaxLengths());
constexpr std::size_t kFirstSpace = 15;
constexpr std::size_t kSecondSpace = 28;

bool IsTrimmed(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

bool IsRankCharacter(char c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  constexpr std::string_view kMarks = "$%*+-.:";
  return kMarks.find(c) != std::string_view::npos;
}

bool IsValidHeadRankLine(std::string_view line, bool spaced) {
  const std::size_t length = spaced ? kHeadRankSpacedLength : kHeadRankCompactLength;
  if (line.size() != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const bool space_here = spaced && (i == kFirstSpace || i == kSecondSpace);
    if (space_here ? line[i] != ' ' : !IsRankCharacter(line[i])) return false;
  }
  return true;
}

std::optional<std::string_view> FindHeadRankLine(std::string_view file_text) {
  std::string_view text = file_text.substr(0, std::min(file_text.size(), kHeadRankFileReadLimit));
  const std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::string_view raw = text.substr(0, lf);
    text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    return line;
  }
  return std::nullopt;
}

HeadRankLoad ApplyHeadRankLine(std::string_view line, HeadRankFields& fields) {
  const bool spaced = line.find(' ') != std::string_view::npos;
  if (!IsValidHeadRankLine(line, spaced)) return HeadRankLoad::kIllegal;
  const auto& layout = spaced ? kSpacedFields : kCompactFields;
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    fields.f[i] = std::string(line.substr(layout[i].pos, layout[i].len));
  }
  return HeadRankLoad::kApplied;
}

HeadRankLoad LoadHeadRankText(std::string_view file_text, HeadRankFields& fields) {
  const std::optional<std::string_view> line = FindHeadRankLine(file_text);
  if (!line) return HeadRankLoad::kNoLine;
  return ApplyHeadRankLine(*line, fields);
}

std::string BuildHeadRankString(const HeadRankFields& fields) {
  return fields.f[0] + fields.f[1] + fields.f[2] + " " + fields.f[3] + fields.f[4] + " " +
         fields.f[5];
}

std::optional<std::string> TypedHeadRankString(const HeadRankFields& fields) {
  std::string head_rank = BuildHeadRankString(fields);
  if (!IsValidHeadRankLine(head_rank, /*spaced=*/true)) return std::nullopt;
  return head_rank;
}

}  // namespace tavi
