// An INI-style profile file held as its text, read and updated with the rules of Windows'
// private-profile functions: section and key names match without regard to ASCII case, the
// first matching section and the first matching key in it win, white space around names and
// values is ignored, one pair of matching quotes around a value is dropped, a UTF-8 byte-order
// mark at the start is skipped and kept, and every line that is not rewritten is written back
// exactly as it was read. Memory is the text and what a caller asks for, never a copy per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavi {

// The longest string a read returns; longer values are cut to this many characters.
inline constexpr std::size_t kProfileMaxStringLength = 4095;

// The UTF-8 byte-order mark that editors put at the start of a file.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Integer reading of a stored value: optional leading white space, an optional '+' or '-', then
// decimal digits up to the first non-digit ("12abc" gives 12, "  -12x" gives -12, "+1" gives 1).
// A value with no leading digit gives 0. Digits past the 32-bit range wrap around modulo 2^32,
// as in 32-bit arithmetic, without undefined behaviour. (An empty value gives the key's default;
// see ProfileSection::GetInt.)
std::int32_t ParseProfileInt(std::string_view value);

// A stored value as a read returns it: one pair of matching quotes (" or ') around it dropped.
std::string_view UnquoteProfileValue(std::string_view value);

// A value as it is stored so that a read gives it back: cut at its first line break or NUL
// byte (it cannot add lines of its own), and put in quotes when a read would otherwise change
// it (white space at an end, or a pair of matching quotes around it).
std::string EncodeProfileValue(std::string_view value);

// ASCII-only case-insensitive equality of two names.
bool ProfileNamesEqual(std::string_view a, std::string_view b);

// The keys of one section with their first values, for many look-ups in one pass.
class ProfileSection {
 public:
  // The value of `key` (unquoted, cut to kProfileMaxStringLength), or nothing when the key is
  // missing.
  std::optional<std::string> GetString(std::string_view key) const;
  std::string GetString(std::string_view key, std::string_view fallback) const;
  // The value of `key` as an integer; `fallback` when the key is missing or its value is empty
  // (also "" in quotes).
  std::int32_t GetInt(std::string_view key, std::int32_t fallback) const;

 private:
  friend class ProfileFile;
  std::unordered_map<std::string, std::string_view> values_;  // lower-case key -> raw value
};

class ProfileFile {
 public:
  // Takes any bytes; lines end at '\n' (a '\r' before it belongs to the line end). Never fails.
  static ProfileFile Parse(std::string_view text);

  // The file's text: unchanged lines byte for byte, with their own line ends, and the
  // byte-order mark when the file had one.
  std::string Serialize() const;

  // A view of the first section named `section`; empty when there is none. Valid until the
  // file is next changed.
  ProfileSection ReadSection(std::string_view section) const;

  std::optional<std::string> GetString(std::string_view section, std::string_view key) const;
  std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t fallback) const;

  // Writes `value` under `key`: an existing key keeps its line and its stored spelling and gets
  // the new value; a missing key is added after the last entry of the section; a missing
  // section is added at the end of the file. Nothing is ever removed. A value is cut at its
  // first line break or NUL byte, so that it cannot add lines of its own; a value that a read
  // would change (white space at an end, or quotes around it) is written in quotes, so that it
  // reads back as it was given.
  void SetString(std::string_view section, std::string_view key, std::string_view value);
  void SetInt(std::string_view section, std::string_view key, std::int32_t value);

  // Writes many keys of one section in a single pass over the file (same rules as SetString;
  // when a key is named twice, the later value wins).
  void SetStrings(std::string_view section,
                  const std::vector<std::pair<std::string, std::string>>& entries);

  std::size_t line_count() const;

 private:
  bool has_byte_order_mark_ = false;
  std::string text_;  // without the byte-order mark
};

}  // namespace tavi
