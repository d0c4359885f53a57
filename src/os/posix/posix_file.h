// Helpers of the POSIX file code (inside os/posix only): an owned descriptor, error filling,
// and the words for what kind of file a path is.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "core/ui/seams.h"

namespace tavi {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Gives up the descriptor without closing it.
  [[nodiscard]] int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports the result (close can report a deferred write error).
  [[nodiscard]] bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Fills `error` with the step, the path and errno's text (or `cause` when given).
inline void FillFileError(FileError& error, FileError::Op op, const std::string& path, int errnum,
                          std::string cause = {}) {
  error.op = op;
  error.path = path;
  error.code = errnum != 0 ? SystemCode::Errno(errnum) : SystemCode{};
  if (!cause.empty()) {
    error.cause = std::move(cause);
  } else {
    error.cause = errnum != 0 ? std::strerror(errnum) : "Unknown error";
  }
}

// "a FIFO", "a folder", ... for a file that is not a regular one.
inline const char* FileKindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

// The cause given for a path that is not a regular file, e.g. "Not a regular file (a FIFO)".
inline std::string NotRegularCause(mode_t mode) {
  return std::string("Not a regular file (") + FileKindName(mode) + ")";
}

// Walks `path` link by link as the kernel would and tells whether a write through it must be
// refused: a symbolic link that sits in a sticky folder anyone may write to is followed only
// when it belongs to the running user or to the folder's owner (a dangling one likewise).
// Returns the cause of the refusal, or nothing when every link on the way may be followed (or
// the walk ended early: a missing name, a loop; the write itself reports those).
std::optional<std::string> PlantedLinkCause(const std::string& path);

}  // namespace tavi
