// Saving a file so that no failure can destroy or redirect one: through symbolic links, only
// over regular files, keeping owner, group, mode and hard links or refusing, and never leaving
// a temporary file behind.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "os/file_io.h"
#include "os/posix/posix_file.h"

namespace tavi {
namespace {

// Symbolic links followed before a path counts as a loop, as the kernel counts them.
constexpr int kMaxLinkHops = 40;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a save goes: the file that `path` names after all symbolic links.
struct Target {
  std::string path;                     // the real file to replace or create
  std::optional<struct stat> existing;  // its status when it exists
};

// The text of a symbolic link, or nothing (errno set).
std::optional<std::string> ReadLink(const std::string& path) {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
  if (n < 0) return std::nullopt;
  if (static_cast<std::size_t>(n) >= buffer.size()) {
    errno = ENAMETOOLONG;
    return std::nullopt;
  }
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

// Follows `path` to the file a save must write. An existing target must be a regular file; a
// missing one (also at the end of a dangling link) is created under the name the last link
// gives.
bool ResolveTarget(const std::string& path, Target& target, FileError& error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) {
      FillFileError(error, FileError::Op::kWrite, path, 0,
                    NotRegularCause(info.st_mode) + "; only a regular file is replaced");
      return false;
    }
    std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    struct stat again {};
    if (real == nullptr || ::stat(real.get(), &again) != 0 || again.st_dev != info.st_dev ||
        again.st_ino != info.st_ino) {
      FillFileError(error, FileError::Op::kWrite, path, real == nullptr ? errno : 0,
                    real == nullptr ? std::string() : "The file has no name of its own to save to");
      return false;
    }
    target.path = real.get();
    target.existing = info;
    return true;
  }
  if (errno != ENOENT) {
    FillFileError(error, FileError::Op::kCreate, path, errno);
    return false;
  }
  // Missing: a plain new name, or a dangling link whose chain ends in a missing name.
  std::string name = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat link {};
    if (::lstat(name.c_str(), &link) != 0) {
      if (errno != ENOENT) break;
      target.path = name;
      target.existing.reset();
      return true;
    }
    if (!S_ISLNK(link.st_mode)) {
      errno = EEXIST;  // it appeared meanwhile
      break;
    }
    const std::optional<std::string> text = ReadLink(name);
    if (!text) break;
    name = (!text->empty() && (*text)[0] == '/') ? *text : FolderOf(name) + "/" + *text;
    if (hop == kMaxLinkHops) errno = ELOOP;
  }
  FillFileError(error, FileError::Op::kCreate, path, errno);
  return false;
}

// Why an existing file may not be replaced, or nothing when it may.
std::optional<std::string> RefusalFor(const Target& target) {
  const struct stat& info = *target.existing;
  if (info.st_nlink > 1) {
    return "It has " + std::to_string(info.st_nlink) +
           " hard links, which a replacement would separate";
  }
  // What the user could have written in place. Root may write any file, but a file without a
  // single write bit is meant to stay as it is.
  const bool writable = ::geteuid() == 0
                            ? (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0
                            : ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) == 0;
  if (!writable) return std::string("The file is read-only");
  return std::nullopt;
}

// A new file's content on its way into `folder`: nameless (O_TMPFILE) where the file system
// allows, else under a temporary name that is removed unless it is put in place.
class PendingFile {
 public:
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() {
    if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  }

  static std::unique_ptr<PendingFile> Create(const std::string& target, int& errnum) {
    std::unique_ptr<PendingFile> file(new PendingFile(target));
    file->fd_ = UniqueFd(::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file->fd_.valid()) return file;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      errnum = errno;
      return nullptr;
    }
    if (!file->CreateNamed(errnum)) return nullptr;
    return file;
  }

  int fd() const { return fd_.get(); }

  // Puts the content in place of the target (replacing it when `replace`), after it was flushed.
  bool PutInPlace(bool replace, int& errnum) {
    if (temp_path_.empty()) {
      // A nameless file gets a name: the target itself when it is new, else a temporary one.
      const std::string proc = "/proc/self/fd/" + std::to_string(fd_.get());
      if (!replace) {
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0)
          return CloseAfterPlacing(errnum);
        errnum = errno;
        return false;
      }
      if (!LinkUnderTemporaryName(proc, errnum)) return false;
    }
    if (!fd_.Close()) {
      errnum = errno;
      return false;
    }
    if (::rename(temp_path_.c_str(), target_.c_str()) != 0) {
      errnum = errno;
      return false;
    }
    temp_path_.clear();
    return true;
  }

 private:
  explicit PendingFile(std::string target) : target_(std::move(target)) {}

  // A hidden name beside the target, unique enough that the O_EXCL tries rarely meet another.
  std::string NextTemporaryName(int attempt) const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return FolderOf(target_) + "/." + NameOf(target_) + ".tavi-" + std::to_string(::getpid()) +
           "-" + std::to_string(now) + "-" + std::to_string(attempt);
  }

  bool CreateNamed(int& errnum) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = NextTemporaryName(attempt);
      fd_ = UniqueFd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd_.valid()) {
        temp_path_ = name;
        return true;
      }
      if (errno != EEXIST) break;
    }
    errnum = errno;
    return false;
  }

  bool LinkUnderTemporaryName(const std::string& proc, int& errnum) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = NextTemporaryName(attempt);
      if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_path_ = name;
        return true;
      }
      if (errno != EEXIST) break;
    }
    errnum = errno;
    return false;
  }

  bool CloseAfterPlacing(int& errnum) {
    if (fd_.Close()) return true;
    errnum = errno;
    return false;
  }

  std::string target_;
  std::string temp_path_;  // empty: nameless, or already put in place
  UniqueFd fd_;
};

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

// Gives the new file the owner, group and permission bits of the one it replaces (setuid,
// setgid and sticky bits dropped); fails when the owner or group cannot be kept.
bool KeepOwnerAndMode(int fd, const struct stat& old, int& errnum) {
  struct stat mine {};
  if (::fstat(fd, &mine) != 0) {
    errnum = errno;
    return false;
  }
  if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) &&
      ::fchown(fd, old.st_uid, old.st_gid) != 0) {
    errnum = errno;
    return false;
  }
  if (::fchmod(fd, old.st_mode & 0777) != 0) {
    errnum = errno;
    return false;
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const std::byte> bytes,
                         FileError& error) {
  if (const std::optional<std::string> planted = PlantedLinkCause(path)) {
    FillFileError(error, FileError::Op::kWrite, path, EACCES, *planted);
    return false;
  }
  Target target;
  if (!ResolveTarget(path, target, error)) return false;
  // Messages name the path the user gave; the folder is named where it is the cause.
  if (target.existing) {
    if (const std::optional<std::string> refusal = RefusalFor(target)) {
      FillFileError(error, FileError::Op::kWrite, path, EACCES, *refusal);
      return false;
    }
  }
  const std::string folder = FolderOf(target.path);
  int errnum = 0;
  std::unique_ptr<PendingFile> pending = PendingFile::Create(target.path, errnum);
  if (!pending) {
    FillFileError(
        error, FileError::Op::kCreate, path, errnum,
        "No new file can be made in the folder " + folder + " (" + std::strerror(errnum) + ")");
    return false;
  }
  if (target.existing && !KeepOwnerAndMode(pending->fd(), *target.existing, errnum)) {
    FillFileError(error, FileError::Op::kWrite, path, errnum,
                  "Its owner, group or permissions could not be kept (" +
                      std::string(std::strerror(errnum)) + ")");
    return false;
  }
  if (!WriteAll(pending->fd(), bytes, errnum)) {
    FillFileError(error, FileError::Op::kWrite, path, errnum);
    return false;
  }
  if (::fsync(pending->fd()) != 0) {
    FillFileError(error, FileError::Op::kWrite, path, errno);
    return false;
  }
  if (!pending->PutInPlace(target.existing.has_value(), errnum)) {
    FillFileError(error, FileError::Op::kWrite, path, errnum);
    return false;
  }
  // Make the new name durable; a folder that cannot be flushed does not undo the save.
  UniqueFd folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder_fd.valid()) (void)::fsync(folder_fd.get());
  return true;
}

}  // namespace tavi
