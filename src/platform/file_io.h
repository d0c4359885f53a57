// Whole-file reads and writes with every failure described in a FileError.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "platform/seams.h"

namespace tavi {

// The largest file ReadWholeFile takes into memory (1 GiB). Anything larger is refused with the
// cause "File too large" before a byte of it is read.
inline constexpr std::size_t kMaxWholeFileBytes = std::size_t{1} << 30;

// The cause given for a file that is too large to hold.
inline constexpr const char* kFileTooLargeCause = "File too large";

// Replaces `path` with `bytes`: writes a temporary file in the same folder, flushes it to disk
// and renames it over the target. On any failure the temporary file is removed, an existing
// target is left as it was, and `error` says which step failed (kCreate for the temporary file,
// kWrite for writing, flushing or renaming), with the target path, errno and its text.
// A new file gets the usual permissions (0666 less the umask); a replaced file keeps its mode.
bool WriteFileAtomically(const std::string& path, std::span<const std::byte> bytes,
                         FileError& error);

// Reads at most `limit` bytes from the start of `path` into `out` (replacing its content).
// Bytes after the first `limit` are never read.
bool ReadFileLimited(const std::string& path, std::size_t limit, std::vector<std::byte>& out,
                     FileError& error);

// Reads the whole of `path` into `out`. A file larger than `max_bytes` (or one that cannot be
// held in memory) gives a kRead error with the cause "File too large", error number 0, and
// leaves `out` empty.
bool ReadWholeFile(const std::string& path, std::vector<std::byte>& out, FileError& error,
                   std::size_t max_bytes = kMaxWholeFileBytes);

}  // namespace tavi
