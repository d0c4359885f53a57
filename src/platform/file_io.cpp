#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tavi {
namespace {

// Owns one descriptor and closes it once.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closes now and reports the result (close can report a deferred write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Removes a temporary file unless told to keep it.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    if (!released_) ::unlink(path_.c_str());
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void Release() { released_ = true; }

 private:
  std::string path_;
  bool released_ = false;
};

void Fill(FileError& error, FileError::Op op, const std::string& path, int errnum) {
  error.op = op;
  error.path = path;
  error.error_number = errnum;
  error.cause = errnum != 0 ? std::strerror(errnum) : "Unknown error";
}

void FillTooLarge(FileError& error, const std::string& path) {
  error.op = FileError::Op::kRead;
  error.path = path;
  error.error_number = 0;
  error.cause = kFileTooLargeCause;
}

bool WriteAll(int fd, std::span<const std::byte> bytes, int& errnum) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      errnum = errno;
      return false;
    }
    if (n == 0) {
      errnum = EIO;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates a fresh temporary file next to `path`; the kernel applies the umask to 0666.
UniqueFd CreateTempNextTo(const std::string& path, std::string& temp_path, int& errnum) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return UniqueFd(fd);
    if (errno != EEXIST) break;
  }
  errnum = errno;
  return UniqueFd();
}

enum class ReadOutcome { kOk, kError, kTooLarge };

// Appends at most `limit` bytes of `fd` to `out`; with `fail_past_limit` set, stops with
// kTooLarge once more than that many bytes are seen.
ReadOutcome ReadUpTo(int fd, std::size_t limit, bool fail_past_limit, std::vector<std::byte>& out,
                     int& errnum) {
  std::array<std::byte, 65536> chunk;
  try {
    while (out.size() < limit || fail_past_limit) {
      std::size_t want = chunk.size();
      if (!fail_past_limit && limit - out.size() < want) want = limit - out.size();
      const ssize_t n = ::read(fd, chunk.data(), want);
      if (n < 0) {
        if (errno == EINTR) continue;
        errnum = errno;
        return ReadOutcome::kError;
      }
      if (n == 0) break;
      const auto got = static_cast<std::size_t>(n);
      if (fail_past_limit && got > limit - out.size()) return ReadOutcome::kTooLarge;
      out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
  } catch (const std::bad_alloc&) {
    return ReadOutcome::kTooLarge;
  } catch (const std::length_error&) {
    return ReadOutcome::kTooLarge;
  }
  return ReadOutcome::kOk;
}

UniqueFd OpenForReading(const std::string& path, struct stat& info, FileError& error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    Fill(error, FileError::Op::kOpen, path, errno);
    return fd;
  }
  if (::fstat(fd.get(), &info) != 0) {
    Fill(error, FileError::Op::kRead, path, errno);
    fd.Reset();
  }
  return fd;
}

// A size hint for reserving: the regular file's size, never more than `cap`.
std::size_t SizeHint(const struct stat& info, std::size_t cap) {
  if (!S_ISREG(info.st_mode) || info.st_size <= 0) return 0;
  const auto size = static_cast<unsigned long long>(info.st_size);
  return size < cap ? static_cast<std::size_t>(size) : cap;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const std::byte> bytes,
                         FileError& error) {
  int errnum = 0;
  std::string temp_path;
  UniqueFd fd = CreateTempNextTo(path, temp_path, errnum);
  if (!fd.valid()) {
    Fill(error, FileError::Op::kCreate, path, errnum);
    return false;
  }
  TempFileGuard guard(temp_path);

  // A replaced file keeps its permission bits.
  struct stat old_info {};
  if (::stat(path.c_str(), &old_info) == 0 && S_ISREG(old_info.st_mode)) {
    (void)::fchmod(fd.get(), old_info.st_mode & 07777);
  }

  if (!WriteAll(fd.get(), bytes, errnum)) {
    Fill(error, FileError::Op::kWrite, path, errnum);
    return false;
  }
  if (::fsync(fd.get()) != 0) {
    Fill(error, FileError::Op::kWrite, path, errno);
    return false;
  }
  if (!fd.Close()) {
    Fill(error, FileError::Op::kWrite, path, errno);
    return false;
  }
  if (::rename(temp_path.c_str(), path.c_str()) != 0) {
    Fill(error, FileError::Op::kWrite, path, errno);
    return false;
  }
  guard.Release();

  // Make the rename itself durable; a folder that cannot be flushed does not undo the write.
  UniqueFd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) (void)::fsync(folder.get());
  return true;
}

// The end of a read: true when it went through; otherwise `error` says why and `out` is emptied.
static bool Finish(ReadOutcome outcome, int errnum, const std::string& path,
                   std::vector<std::byte>& out, FileError& error) {
  switch (outcome) {
    case ReadOutcome::kOk:
      return true;
    case ReadOutcome::kError:
      Fill(error, FileError::Op::kRead, path, errnum);
      break;
    case ReadOutcome::kTooLarge:
      FillTooLarge(error, path);
      break;
  }
  out.clear();
  out.shrink_to_fit();
  return false;
}

bool ReadFileLimited(const std::string& path, std::size_t limit, std::vector<std::byte>& out,
                     FileError& error) {
  out.clear();
  struct stat info {};
  UniqueFd fd = OpenForReading(path, info, error);
  if (!fd.valid()) return false;
  try {
    out.reserve(SizeHint(info, limit < kMaxWholeFileBytes ? limit : kMaxWholeFileBytes));
  } catch (const std::exception&) {
    // Reserving is only a hint; reading grows the buffer as needed.
  }
  int errnum = 0;
  const ReadOutcome outcome = ReadUpTo(fd.get(), limit, false, out, errnum);
  return Finish(outcome, errnum, path, out, error);
}

bool ReadWholeFile(const std::string& path, std::vector<std::byte>& out, FileError& error,
                   std::size_t max_bytes) {
  out.clear();
  struct stat info {};
  UniqueFd fd = OpenForReading(path, info, error);
  if (!fd.valid()) return false;
  if (S_ISREG(info.st_mode) && info.st_size > 0 &&
      static_cast<unsigned long long>(info.st_size) > max_bytes) {
    FillTooLarge(error, path);
    return false;
  }
  int errnum = 0;
  ReadOutcome outcome = ReadOutcome::kOk;
  try {
    out.reserve(SizeHint(info, max_bytes));
  } catch (const std::exception&) {
    outcome = ReadOutcome::kTooLarge;
  }
  if (outcome == ReadOutcome::kOk) outcome = ReadUpTo(fd.get(), max_bytes, true, out, errnum);
  return Finish(outcome, errnum, path, out, error);
}

}  // namespace tavi
