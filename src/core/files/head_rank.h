// The head rank code: six rank fields, the string sent to the printer, and the head rank file
// (a text whose first line that is neither empty nor a "#" comment holds the code, 35
// characters with spaces at positions 15 and 28, or 33 characters without spaces).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavi {

inline constexpr std::size_t kHeadRankFieldCount = 6;
// What each field shows when the Set Head Rank dialog opens.
inline constexpr std::array<std::string_view, kHeadRankFieldCount> kHeadRankDefaults = {
    "7BZ3E3C", "VXUWVUQ", "Q", "2100Y", "012VTTR", "40UWJB"};
// The most characters each field takes.
inline constexpr std::array<std::size_t, kHeadRankFieldCount> kHeadRankMaxLengths = {7, 7, 1,
                                                                                     5, 7, 6};
// Only this many bytes of a head rank file are read.
inline constexpr std::size_t kHeadRankFileReadLimit = 65536;
inline constexpr std::size_t kHeadRankSpacedLength = 35;
inline constexpr std::size_t kHeadRankCompactLength = 33;
// Heads are numbered "1".."8" in the dialog; the printer takes the zero-based index.
inline constexpr int kHeadCount = 8;

struct HeadRankFields {
  std::array<std::string, kHeadRankFieldCount> f{
      std::string(kHeadRankDefaults[0]), std::string(kHeadRankDefaults[1]),
      std::string(kHeadRankDefaults[2]), std::string(kHeadRankDefaults[3]),
      std::string(kHeadRankDefaults[4]), std::string(kHeadRankDefaults[5])};
};

// A digit, an ASCII letter of either case, or one of $ % * + - . :
bool IsRankCharacter(char c);

// True when `line` is a legal head rank line of the given form: spaced (35 characters, spaces at
// 15 and 28) or compact (33 characters, no space); every other position a rank character.
bool IsValidHeadRankLine(std::string_view line, bool spaced);

// The head rank line of a file's text: the text is cut after kHeadRankFileReadLimit bytes and
// at its first zero byte, split at line feeds, each line trimmed of space, tab, CR, LF, VT and
// FF at both ends; empty lines and lines starting with "#" are skipped; the first other line is
// returned (trimmed). nullopt when there is none.
std::optional<std::string_view> FindHeadRankLine(std::string_view file_text);

enum class HeadRankLoad {
  kNoLine,   // the text holds no head rank line: nothing changes, nothing is shown
  kIllegal,  // the head rank line is illegal: fields unchanged, "Illegal Head Rank File."
  kApplied,  // the six fields were taken from the line
};

// Checks one trimmed line in the form chosen by whether it contains a space and, when it is
// legal, cuts the six fields out of it. An illegal line leaves `fields` unchanged.
HeadRankLoad ApplyHeadRankLine(std::string_view line, HeadRankFields& fields);

// FindHeadRankLine, then ApplyHeadRankLine on the line found. Only the first judged line
// counts: the lines after it are never tried.
HeadRankLoad LoadHeadRankText(std::string_view file_text, HeadRankFields& fields);

// F1 + F2 + F3 + " " + F4 + F5 + " " + F6, each field exactly as it is (no filler, no escaping).
std::string BuildHeadRankString(const HeadRankFields& fields);

// The head rank string of fields typed by hand, when it would pass as a spaced head rank line
// (within the fields' limits: every field full and of rank characters only). nullopt otherwise;
// such a rank is refused with "Illegal Head Rank File." and nothing reaches the printer.
[[nodiscard]] std::optional<std::string> TypedHeadRankString(const HeadRankFields& fields);

}  // namespace tavi
