#include "os/journal_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "os/posix/posix_file.h"

namespace tavi {
namespace {

// Creates `folder` and the folders above it that are missing (mode 0700 for new ones).
bool MakeFolders(const std::string& folder, FileError& error) {
  std::size_t at = 1;
  while (at <= folder.size()) {
    const std::size_t slash = folder.find('/', at);
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      FillFileError(error, FileError::Op::kCreate, part, errno);
      return false;
    }
    if (slash == std::string::npos) break;
    at = slash + 1;
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

std::string JournalFolder() {
  const char* xdg = std::getenv("XDG_STATE_HOME");
  // Relative values are ignored, as the base-directory convention asks.
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/tavi";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/state/tavi";
  return {};
}

std::string CurrentUserName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr) {
    return found->pw_name;
  }
  const char* user = std::getenv("USER");
  return user != nullptr ? std::string(user) : std::string();
}

bool AppendJournalLine(const std::string& path, const std::string& rotated, std::string_view line,
                       std::size_t bound, FileError& error) {
  const std::string folder = FolderOf(path);
  if (!folder.empty() && !MakeFolders(folder, error)) return false;
  // A writer that waited for the lock while another rotated the file holds the renamed file:
  // it lets go and takes the new one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
      FillFileError(error, FileError::Op::kOpen, path, errno);
      return false;
    }
    int locked;
    do {
      locked = ::flock(fd.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      FillFileError(error, FileError::Op::kOpen, path, errno);
      return false;
    }
    struct stat held {};
    struct stat named {};
    if (::fstat(fd.get(), &held) != 0) {
      FillFileError(error, FileError::Op::kOpen, path, errno);
      return false;
    }
    if (::stat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino ||
        named.st_dev != held.st_dev) {
      continue;
    }
    if (!S_ISREG(held.st_mode)) {
      FillFileError(error, FileError::Op::kOpen, path, 0, NotRegularCause(held.st_mode));
      return false;
    }
    if (held.st_size > 0 && static_cast<std::size_t>(held.st_size) + line.size() > bound) {
      if (::rename(path.c_str(), rotated.c_str()) != 0) {
        FillFileError(error, FileError::Op::kCreate, rotated, errno);
        return false;
      }
      // The lock on the renamed file keeps the others waiting until this writer is done.
      UniqueFd fresh(
          ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
      if (!fresh.valid()) {
        FillFileError(error, FileError::Op::kCreate, path, errno);
        return false;
      }
      if (::flock(fresh.get(), LOCK_EX) != 0) {
        FillFileError(error, FileError::Op::kOpen, path, errno);
        return false;
      }
      std::swap(fd, fresh);
    }
    const ssize_t n = ::write(fd.get(), line.data(), line.size());
    if (n < 0 || static_cast<std::size_t>(n) != line.size()) {
      FillFileError(error, FileError::Op::kWrite, path, n < 0 ? errno : ENOSPC);
      return false;
    }
    return true;
  }
  FillFileError(error, FileError::Op::kOpen, path, EBUSY);
  return false;
}

}  // namespace tavi
