// Reading input files on Windows: only files on a disk (no devices such as CON or COM1, no
// pipes), read in chunks with a bound, the caller asked between chunks.
#include "os/file_io.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <stdexcept>

#include "os/windows/wide_text.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

constexpr DWORD kChunkBytes = 65536;

// The cause given for a path that names no file on a disk.
std::string NotRegularCause(DWORD type) {
  const char* kind = type == FILE_TYPE_CHAR   ? "a device"
                     : type == FILE_TYPE_PIPE ? "a pipe"
                                              : "not a file";
  return std::string("Not a regular file (") + kind + ")";
}

// Opens `path` for reading when it is a file on a disk; otherwise fills `error`.
UniqueHandle OpenForReading(const std::string& path, FileError& error) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    FillFileCause(error, FileError::Op::kRead, path, EISDIR, "Is a directory");
    return UniqueHandle();
  }
  UniqueHandle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    FillWindowsFileError(error, FileError::Op::kOpen, path, ::GetLastError());
    return file;
  }
  const DWORD type = ::GetFileType(file.get());
  if (type != FILE_TYPE_DISK) {
    FillFileCause(error, FileError::Op::kOpen, path, 0, NotRegularCause(type));
    file.Reset();
  }
  return file;
}

bool Fail(FileError& error, const std::string& path, std::vector<std::byte>& out, int errnum,
          const char* cause) {
  FillFileCause(error, FileError::Op::kRead, path, errnum, cause);
  out.clear();
  out.shrink_to_fit();
  return false;
}

bool Read(const std::string& path, std::size_t limit, bool whole, std::vector<std::byte>& out,
          FileError& error, const ReadCancelCheck& cancelled) {
  out.clear();
  UniqueHandle file = OpenForReading(path, error);
  if (!file.valid()) return false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) {
    FillWindowsFileError(error, FileError::Op::kRead, path, ::GetLastError());
    return false;
  }
  const auto file_size = static_cast<unsigned long long>(size.QuadPart);
  if (whole && file_size > limit) return Fail(error, path, out, 0, kFileTooLargeCause);
  // A file that grows while it is read: one byte past the limit tells it is too long.
  const std::size_t bound = whole ? limit + 1 : limit;
  try {
    out.reserve(static_cast<std::size_t>(std::min<unsigned long long>(file_size, limit)));
    std::array<std::byte, kChunkBytes> chunk;
    while (out.size() < bound) {
      if (cancelled && cancelled(false)) {
        return Fail(error, path, out, ECANCELED, kReadCancelledCause);
      }
      DWORD want = kChunkBytes;
      if (bound - out.size() < want) want = static_cast<DWORD>(bound - out.size());
      DWORD got = 0;
      if (!::ReadFile(file.get(), chunk.data(), want, &got, nullptr)) {
        const DWORD code = ::GetLastError();
        FillWindowsFileError(error, FileError::Op::kRead, path, code);
        out.clear();
        return false;
      }
      if (got == 0) break;
      out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    }
  } catch (const std::bad_alloc&) {
    return Fail(error, path, out, 0, kFileTooLargeCause);
  } catch (const std::length_error&) {
    return Fail(error, path, out, 0, kFileTooLargeCause);
  }
  if (whole && out.size() > limit) return Fail(error, path, out, 0, kFileTooLargeCause);
  return true;
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

}  // namespace tavi
