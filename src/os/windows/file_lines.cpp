// A file of lines written as they come (a trace) on Windows: opened without emptying it, refused
// when it is one of the command's own files (same volume and file index), emptied only then.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "os/file_io.h"
#include "os/windows/wide_text.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

struct Identity {
  DWORD volume = 0;
  DWORD high = 0;
  DWORD low = 0;
  bool operator==(const Identity&) const = default;
};

bool IdentityOf(HANDLE file, Identity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(file, &info) == 0) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

bool IdentityOf(const std::string& path, Identity& identity) {
  UniqueHandle file(::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.valid() && IdentityOf(file.get(), identity);
}

std::FILE* Fail(FileError& error, FileError::Op op, const std::string& path, int errnum,
                int fd = -1) {
  if (fd >= 0) ::_close(fd);
  FillFileCause(error, op, path, errnum, std::strerror(errnum));
  return nullptr;
}

}  // namespace

std::FILE* OpenLineFile(const std::string& path, std::span<const std::string> inputs,
                        FileError& error) {
  // Never emptied on opening: a file that is also an input must survive the refusal.
  errno = 0;
  const int fd =
      ::_wopen(Widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return Fail(error, FileError::Op::kCreate, path, errno);
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  const bool on_disk = ::GetFileType(handle) == FILE_TYPE_DISK;
  Identity mine;
  if (on_disk && IdentityOf(handle, mine)) {
    for (const std::string& input : inputs) {
      Identity other;
      if (input.empty() || !IdentityOf(input, other) || !(other == mine)) continue;
      ::_close(fd);
      FillFileCause(error, FileError::Op::kWrite, path, EEXIST, kSameAsInputCause);
      return nullptr;
    }
  }
  if (on_disk) {
    const errno_t emptied = ::_chsize_s(fd, 0);
    if (emptied != 0) return Fail(error, FileError::Op::kWrite, path, emptied, fd);
  }
  std::FILE* stream = ::_fdopen(fd, "wb");
  if (stream == nullptr) return Fail(error, FileError::Op::kOpen, path, errno, fd);
  return stream;
}

}  // namespace tavi
