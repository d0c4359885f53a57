// Reading input files: opened without blocking, only regular files (and FIFOs for a caller that
// can stop the wait), read with a bound.
#include "os/file_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <new>
#include <stdexcept>

#include "os/posix/posix_file.h"

namespace tavi {
namespace {

constexpr std::size_t kChunkBytes = 65536;

enum class ReadOutcome { kOk, kError, kTooLarge, kCancelled };

// The end of a read: true when it went through; otherwise `error` says why and `out` is emptied.
bool Finish(ReadOutcome outcome, int errnum, const std::string& path, std::vector<std::byte>& out,
            FileError& error) {
  switch (outcome) {
    case ReadOutcome::kOk:
      return true;
    case ReadOutcome::kError:
      FillFileError(error, FileError::Op::kRead, path, errnum);
      break;
    case ReadOutcome::kTooLarge:
      FillFileError(error, FileError::Op::kRead, path, 0, kFileTooLargeCause);
      break;
    case ReadOutcome::kCancelled:
      FillFileError(error, FileError::Op::kRead, path, ECANCELED, kReadCancelledCause);
      break;
  }
  out.clear();
  out.shrink_to_fit();
  return false;
}

// Appends bytes of `fd` to `out` until its end: at most `limit` of them, or, with
// `fail_past_limit`, at most `limit` + 1 to tell a source that is too long (kTooLarge). A source
// that `waits` (a FIFO) is polled in slices, and `cancelled` is asked after each empty one.
ReadOutcome ReadUpTo(int fd, bool waits, std::size_t limit, bool fail_past_limit,
                     std::vector<std::byte>& out, const ReadCancelCheck& cancelled, int& errnum) {
  std::array<std::byte, kChunkBytes> chunk;
  const std::size_t bound = fail_past_limit ? limit + 1 : limit;
  try {
    while (out.size() < bound) {
      if (cancelled && cancelled(false)) return ReadOutcome::kCancelled;
      if (waits) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, kReadWaitSliceMs);
        if (ready < 0) {
          if (errno == EINTR) continue;
          errnum = errno;
          return ReadOutcome::kError;
        }
        // A FIFO opened while its writer was already there reports no hang-up when that
        // writer leaves; once bytes have come, an empty read tells its end. Before that, an
        // empty read only means that no writer has come yet.
        if (ready == 0 && out.empty()) {
          if (cancelled(true)) return ReadOutcome::kCancelled;
          continue;
        }
      }
      std::size_t want = chunk.size();
      if (bound - out.size() < want) want = bound - out.size();
      const ssize_t n = ::read(fd, chunk.data(), want);
      if (n < 0) {
        if (errno == EAGAIN && waits && cancelled(true)) return ReadOutcome::kCancelled;
        if (errno == EINTR || errno == EAGAIN) continue;
        errnum = errno;
        return ReadOutcome::kError;
      }
      if (n == 0) break;
      out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
  } catch (const std::bad_alloc&) {
    return ReadOutcome::kTooLarge;
  } catch (const std::length_error&) {
    return ReadOutcome::kTooLarge;
  }
  if (fail_past_limit && out.size() > limit) return ReadOutcome::kTooLarge;
  return ReadOutcome::kOk;
}

// Opens `path` without waiting (a FIFO's open never blocks) and without becoming its
// controlling terminal, and keeps it only when it may be read: a regular file, or a FIFO when
// the caller can stop the wait.
UniqueFd OpenForReading(const std::string& path, bool may_wait, struct stat& info,
                        FileError& error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) {
    FillFileError(error, FileError::Op::kOpen, path, errno);
    return fd;
  }
  if (::fstat(fd.get(), &info) != 0) {
    FillFileError(error, FileError::Op::kRead, path, errno);
    fd.Reset();
    return fd;
  }
  if (S_ISREG(info.st_mode) || (S_ISFIFO(info.st_mode) && may_wait)) return fd;
  if (S_ISDIR(info.st_mode)) {
    FillFileError(error, FileError::Op::kRead, path, EISDIR);
  } else {
    FillFileError(error, FileError::Op::kOpen, path, 0, NotRegularCause(info.st_mode));
  }
  fd.Reset();
  return fd;
}

// A size hint for reserving: the regular file's size, never more than `cap`.
std::size_t SizeHint(const struct stat& info, std::size_t cap) {
  if (!S_ISREG(info.st_mode) || info.st_size <= 0) return 0;
  const auto size = static_cast<unsigned long long>(info.st_size);
  return size < cap ? static_cast<std::size_t>(size) : cap;
}

bool Read(const std::string& path, std::size_t limit, bool whole, std::vector<std::byte>& out,
          FileError& error, const ReadCancelCheck& cancelled) {
  out.clear();
  struct stat info {};
  UniqueFd fd = OpenForReading(path, static_cast<bool>(cancelled), info, error);
  if (!fd.valid()) return false;
  if (whole && S_ISREG(info.st_mode) && info.st_size > 0 &&
      static_cast<unsigned long long>(info.st_size) > limit) {
    FillFileError(error, FileError::Op::kRead, path, 0, kFileTooLargeCause);
    return false;
  }
  ReadOutcome outcome = ReadOutcome::kOk;
  try {
    out.reserve(SizeHint(info, limit < kMaxWholeFileBytes ? limit : kMaxWholeFileBytes));
  } catch (const std::exception&) {
    outcome = whole ? ReadOutcome::kTooLarge : ReadOutcome::kOk;  // else only a hint
  }
  int errnum = 0;
  if (outcome == ReadOutcome::kOk) {
    outcome = ReadUpTo(fd.get(), S_ISFIFO(info.st_mode), limit, whole, out, cancelled, errnum);
  }
  return Finish(outcome, errnum, path, out, error);
}

}  // namespace

bool ReadFileLimited(const std::string& path, std::size_t limit, std::vector<std::byte>& out,
                     FileError& error, const ReadCancelCheck& cancelled) {
  return Read(path, limit, /*whole=*/false, out, error, cancelled);
}

bool ReadWholeFile(const std::string& path, std::vector<std::byte>& out, FileError& error,
                   std::size_t max_bytes, const ReadCancelCheck& cancelled) {
  return Read(path, max_bytes, /*whole=*/true, out, error, cancelled);
}

std::FILE* OpenFileForWriting(const std::string& path) {
  return std::fopen(path.c_str(), "wb");
}

}  // namespace tavi
