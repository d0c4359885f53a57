// The settings file as each system keeps it: one section read key by key, and keys of one
// section written back, by that system's own profile rules (case-insensitive names, the first
// matching section and key win, one pair of quotes around a value dropped, an empty value gives
// the key's default). POSIX: our own reader and writer of the file's text with an atomic save;
// Windows: the system's private-profile functions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ui/seams.h"

namespace tavi {

// The longest settings file a load reads (1 MiB) where the reader is our own. A larger one is
// not read: the defaults are used, and a save leaves the file as it is.
inline constexpr std::size_t kMaxSettingsFileBytes = std::size_t{1} << 20;

// One section of a settings file, read once and asked key by key.
class SettingsSection {
 public:
  SettingsSection();
  ~SettingsSection();
  SettingsSection(SettingsSection&&) noexcept;
  SettingsSection& operator=(SettingsSection&&) noexcept;

  // Reads section `section` of `path`. A missing file, or one without the section, reads as
  // an empty section. False, with `error`, when the file is there but cannot be used (then
  // every key gives its default, and a save must not replace the file).
  [[nodiscard]] bool Read(const std::string& path, std::string_view section, FileError& error);

  // The value of `key`, unquoted and cut to 4095 characters; `fallback` when it is missing.
  std::string GetString(std::string_view key, std::string_view fallback) const;
  // The value of `key` as an integer; `fallback` when it is missing or empty.
  std::int32_t GetInt(std::string_view key, std::int32_t fallback) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Writes `entries` (key, value) under `section` of `path`, in their order, keeping every other
// section, key and comment of the file. An existing key keeps its place and its spelling; a
// value reads back exactly as given, less anything from its first line break or NUL on.
// Creates the folder when it is missing. False, with `error`, when the file could not be read
// or written, or (where the reader is our own) when it would come out larger than
// kMaxSettingsFileBytes, which a load would not read: the file is then left as it is.
[[nodiscard]] bool WriteSettingsSection(
    const std::string& path, std::string_view section,
    const std::vector<std::pair<std::string, std::string>>& entries, FileError& error);

}  // namespace tavi
