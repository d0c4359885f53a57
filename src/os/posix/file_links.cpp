// The links a write will not follow: another user's link planted in a sticky folder anyone may
// write to (/tmp and the like), held whatever the system's own setting.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <string>

#include "os/file_io.h"
#include "os/posix/posix_file.h"

namespace tavi {
namespace {

// Symbolic links followed before a path counts as a loop, as the kernel counts them.
constexpr int kMaxLinkHops = 40;

// Splits `text` at '/' into its non-empty names, in front of `rest`.
void PushFront(const std::string& text, std::deque<std::string>& rest) {
  std::deque<std::string> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  rest.insert(rest.begin(), names.begin(), names.end());
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder == "/") return "/" + name;
  return folder + "/" + name;
}

}  // namespace

std::optional<std::string> PlantedLinkCause(const std::string& path) {
  std::deque<std::string> rest;
  PushFront(path, rest);
  std::string done = !path.empty() && path[0] == '/' ? "/" : "";
  int hops = 0;
  while (!rest.empty()) {
    const std::string name = rest.front();
    rest.pop_front();
    if (name == ".") continue;
    const std::string here = Join(done, name);
    struct stat link {};
    if (::lstat(here.c_str(), &link) != 0) return std::nullopt;  // missing: nothing to follow
    if (!S_ISLNK(link.st_mode)) {
      done = here;
      continue;
    }
    if (++hops > kMaxLinkHops) return std::nullopt;
    const std::string folder = done.empty() ? "." : done;
    struct stat holder {};
    if (::stat(folder.c_str(), &holder) != 0) return std::nullopt;
    const bool shared = (holder.st_mode & S_ISVTX) != 0 && (holder.st_mode & S_IWOTH) != 0;
    if (shared && link.st_uid != ::geteuid() && link.st_uid != holder.st_uid) {
      return "The symbolic link " + here + " belongs to another user (uid " +
             std::to_string(link.st_uid) + ") and sits in the sticky folder " + folder +
             ", which anyone may write to; such a link is not followed";
    }
    std::string text(4096, '\0');
    const ssize_t n = ::readlink(here.c_str(), text.data(), text.size());
    if (n < 0 || static_cast<std::size_t>(n) >= text.size()) return std::nullopt;
    text.resize(static_cast<std::size_t>(n));
    if (!text.empty() && text[0] == '/') done = "/";
    PushFront(text, rest);
  }
  return std::nullopt;
}

std::FILE* OpenLineFile(const std::string& path, std::span<const std::string> inputs,
                        FileError& error) {
  if (const std::optional<std::string> planted = PlantedLinkCause(path)) {
    FillFileError(error, FileError::Op::kCreate, path, EACCES, *planted);
    return nullptr;
  }
  // Never emptied on opening: a file that is also an input must survive the refusal. A name
  // that was missing is made new (O_EXCL), so that a link planted meanwhile is not followed; the
  // user's own dangling link gets the file it names.
  struct stat named {};
  struct stat followed {};
  int create = O_CREAT | O_EXCL;
  if (::lstat(path.c_str(), &named) == 0) {
    const bool dangling =
        S_ISLNK(named.st_mode) && ::stat(path.c_str(), &followed) != 0 && errno == ENOENT;
    create = dangling ? O_CREAT : 0;
  }
  const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | create;
  UniqueFd fd(::open(path.c_str(), flags, 0666));
  if (!fd.valid()) {
    FillFileError(error, FileError::Op::kCreate, path, errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    FillFileError(error, FileError::Op::kWrite, path, errno);
    return nullptr;
  }
  for (const std::string& input : inputs) {
    struct stat other {};
    if (input.empty() || ::stat(input.c_str(), &other) != 0) continue;
    if (other.st_dev == info.st_dev && other.st_ino == info.st_ino) {
      FillFileError(error, FileError::Op::kWrite, path, EEXIST, kSameAsInputCause);
      return nullptr;
    }
  }
  if (S_ISREG(info.st_mode) && ::ftruncate(fd.get(), 0) != 0) {
    FillFileError(error, FileError::Op::kWrite, path, errno);
    return nullptr;
  }
  std::FILE* stream = ::fdopen(fd.get(), "wb");
  if (stream == nullptr) {
    FillFileError(error, FileError::Op::kOpen, path, errno);
    return nullptr;
  }
  (void)fd.Release();
  return stream;
}

}  // namespace tavi
