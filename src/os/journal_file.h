// The journal's place and its one way of writing: a contract, each platform folder defines it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/ui/seams.h"

namespace tavi {

// The user's state folder for the journal, without a trailing separator. POSIX:
// $XDG_STATE_HOME/tavi, or ~/.local/state/tavi when XDG_STATE_HOME is unset or relative.
// Windows: %LOCALAPPDATA%\Tavi. Empty when the system names no such place.
std::string JournalFolder();

// The name of the person running the program; empty when the system cannot say.
std::string CurrentUserName();

// Appends `line` (a whole record with its line end) to the file `path` in one write, creating
// the folder and the file when missing, under an exclusive lock of the file that every writer
// takes, so that no two writers (threads or processes) interleave a record. When the file
// already holds bytes and `line` would take it past `bound` bytes, it is first renamed to
// `rotated` (replacing an older one) under the same lock, and the line starts a new file.
[[nodiscard]] bool AppendJournalLine(const std::string& path, const std::string& rotated,
                                     std::string_view line, std::size_t bound, FileError& error);

}  // namespace tavi
