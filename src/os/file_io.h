// Whole-file reads and writes with every failure described in a FileError.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/ui/seams.h"

namespace tavi {

// The largest file ReadWholeFile takes into memory (1 GiB). Anything larger is refused with the
// cause "File too large" before a byte of it is read.
inline constexpr std::size_t kMaxWholeFileBytes = std::size_t{1} << 30;

// The cause given for a file that is too large to hold.
inline constexpr const char* kFileTooLargeCause = "File too large";
// The cause given for a read stopped by its caller.
inline constexpr const char* kReadCancelledCause = "Cancelled";

// The longest a read waits on a source with nothing to give before it asks its caller again.
inline constexpr int kReadWaitSliceMs = 20;

// Asked by a read between chunks (`waiting` false) and whenever the source kept the read
// waiting for kReadWaitSliceMs (`waiting` true, e.g. a FIFO whose writer is slow or silent).
// Returning true stops the read with the cause kReadCancelledCause and errno ECANCELED.
using ReadCancelCheck = std::function<bool(bool waiting)>;

// Saves `bytes` as the content of `path` so that no failure can destroy or redirect a file:
//  - a symbolic link is followed to the file it names, and that file is replaced in its own
//    folder (a dangling link gets the file it names created); the link stays as it is;
//  - only a regular file is replaced: a device, FIFO, socket or folder is refused;
//  - an existing file keeps its owner, group and permission bits (setuid, setgid and sticky
//    bits dropped); where the owner cannot be kept, or the file has more than one hard link
//    (replacing it would separate them), or the user could not have written it in place (for
//    root: no write bit at all), the save is refused and the file left as it was;
//  - the new content goes to a nameless file in the target's folder (or a named temporary file
//    where the file system has no nameless files), flushed to disk and then put in place in one
//    step; on any failure the target is unchanged and no temporary file remains.
// `error` names the step and its real cause, e.g. a folder in which no new file can be made.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::span<const std::byte> bytes,
                                       FileError& error);

// Reads at most `limit` bytes from the start of `path` into `out` (replacing its content).
// Bytes after the first `limit` are never read. Only a regular file is read, or a FIFO when
// `cancelled` is given (its waits then ask `cancelled`); a device, socket or folder is refused
// before a byte is read, and nothing can keep the read waiting in `open`.
[[nodiscard]] bool ReadFileLimited(const std::string& path, std::size_t limit,
                                   std::vector<std::byte>& out, FileError& error,
                                   const ReadCancelCheck& cancelled = {});

// Reads the whole of `path` into `out`, under the rules of ReadFileLimited. A file larger than
// `max_bytes` (or one that cannot be held in memory) gives a kRead error with the cause
// "File too large", error number 0, and leaves `out` empty; at most `max_bytes` + 1 bytes are
// read to tell.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::vector<std::byte>& out,
                                 FileError& error, std::size_t max_bytes = kMaxWholeFileBytes,
                                 const ReadCancelCheck& cancelled = {});

// Creates `path` (or empties the file there) and opens it for writing bytes; null with errno
// set when it cannot. The path is UTF-8 on every system.
[[nodiscard]] std::FILE* OpenFileForWriting(const std::string& path);

}  // namespace tavi
