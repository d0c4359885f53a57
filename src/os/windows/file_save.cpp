// Saving a file on Windows so that no failure can destroy one: only a file on a disk is replaced
// (a folder, a device or a pipe is refused), through a symbolic link to the file it names; a file
// with several hard links or the read-only attribute is refused and left as it was; the new
// content goes to a temporary file beside the target, is flushed to disk and moved over the
// target in one step; on any failure the target is unchanged and no temporary file remains.
#include <windows.h>

#include <cerrno>
#include <string>

#include "os/file_io.h"
#include "os/windows/wide_text.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

// Where a save goes: the file that `path` names after all links, and whether it exists.
struct Target {
  std::string path;
  bool exists = false;
};

std::string FolderPrefixOf(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/:");
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string NameOf(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/:");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

// The final path of an open file ("C:\dir\file"), or `fallback` when the system cannot say.
std::string FinalPathOf(HANDLE file, const std::string& fallback) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n =
        ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return fallback;
    if (n < buffer.size()) {
      buffer.resize(n);
      // "\\?\C:\dir\file": the long-path form works with every call below.
      return Narrow(buffer);
    }
    buffer.assign(n + 1, L'\0');
  }
  return fallback;
}

bool Refuse(FileError& error, const std::string& path, int errnum, const std::string& cause) {
  FillFileCause(error, FileError::Op::kWrite, path, errnum, cause);
  return false;
}

bool ResolveTarget(const std::string& path, Target& target, FileError& error) {
  UniqueHandle existing(::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!existing.valid()) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) {
      target.path = path;
      target.exists = false;
      return true;
    }
    FillWindowsFileError(error, FileError::Op::kCreate, path, code);
    return false;
  }
  const DWORD type = ::GetFileType(existing.get());
  if (type != FILE_TYPE_DISK) {
    return Refuse(error, path, 0,
                  std::string("Not a regular file (") +
                      (type == FILE_TYPE_PIPE ? "a pipe" : "a device") +
                      "); only a regular file is replaced");
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(existing.get(), &info)) {
    FillWindowsFileError(error, FileError::Op::kWrite, path, ::GetLastError());
    return false;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Refuse(error, path, EISDIR,
                  "Not a regular file (a folder); only a regular file is replaced");
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Refuse(error, path, EACCES, "The file is read-only; it was left as it was");
  }
  if (info.nNumberOfLinks > 1) {
    return Refuse(error, path, 0,
                  "The file has " + std::to_string(info.nNumberOfLinks) +
                      " hard links; replacing it would separate them, so it was left as it was");
  }
  target.path = FinalPathOf(existing.get(), path);
  target.exists = true;
  return true;
}

// A new, empty temporary file in the target's folder; its name in `temp`.
UniqueHandle CreateTemporary(const Target& target, std::string& temp, FileError& error,
                             const std::string& shown_path) {
  // The counter's start makes the names of one process's saves differ.
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  const std::string base = FolderPrefixOf(target.path) + "." + NameOf(target.path) + ".tavi-" +
                           std::to_string(::GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = base + std::to_string(now.QuadPart + attempt) + ".tmp";
    UniqueHandle file(::CreateFileW(Widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.valid()) return file;
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      FillWindowsFileError(error, FileError::Op::kCreate, shown_path, code);
      return file;
    }
  }
  FillFileCause(error, FileError::Op::kCreate, shown_path, EEXIST,
                "No temporary file could be made beside it");
  return UniqueHandle();
}

bool WriteAll(HANDLE file, std::span<const std::byte> bytes, DWORD& code) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    const DWORD want = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD wrote = 0;
    if (!::WriteFile(file, bytes.data() + done, want, &wrote, nullptr)) {
      code = ::GetLastError();
      return false;
    }
    done += wrote;
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const std::byte> bytes,
                         FileError& error) {
  Target target;
  if (!ResolveTarget(path, target, error)) return false;
  std::string temp;
  UniqueHandle file = CreateTemporary(target, temp, error, path);
  if (!file.valid()) return false;
  DWORD code = 0;
  bool ok = WriteAll(file.get(), bytes, code);
  if (ok && !::FlushFileBuffers(file.get())) {
    code = ::GetLastError();
    ok = false;
  }
  if (!file.Close() && ok) {
    code = ::GetLastError();
    ok = false;
  }
  if (ok && !::MoveFileExW(Widen(temp).c_str(), Widen(target.path).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    code = ::GetLastError();
    ok = false;
  }
  if (!ok) {
    ::DeleteFileW(Widen(temp).c_str());
    FillWindowsFileError(error, FileError::Op::kWrite, path, code);
    return false;
  }
  return true;
}

}  // namespace tavi
