#include "os/journal_file.h"

// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <array>
#include <utility>

#include "os/windows/wide_text.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

// Owns one file handle.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  [[nodiscard]] HANDLE get() const { return handle_; }
  void Swap(Handle& other) noexcept { std::swap(handle_, other.handle_); }

 private:
  HANDLE handle_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

HANDLE OpenAppending(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool LockWhole(HANDLE handle) {
  OVERLAPPED at{};
  return ::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

}  // namespace

std::string JournalFolder() {
  PWSTR wide = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &wide))) {
    out = Narrow(wide);
  }
  ::CoTaskMemFree(wide);
  if (out.empty()) {
    std::array<wchar_t, 32768> buffer{};
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer.data(),
                                              static_cast<DWORD>(buffer.size()));
    if (n > 0 && n < buffer.size()) out = Narrow(std::wstring_view(buffer.data(), n));
  }
  if (out.empty()) return {};
  return out + "\\Tavi";
}

std::string CurrentUserName() {
  std::array<wchar_t, 257> buffer{};
  DWORD size = static_cast<DWORD>(buffer.size());
  if (::GetUserNameW(buffer.data(), &size) == 0 || size == 0) return {};
  return Narrow(std::wstring_view(buffer.data(), size - 1));
}

bool AppendJournalLine(const std::string& path, const std::string& rotated, std::string_view line,
                       std::size_t bound, FileError& error) {
  const std::string folder = FolderOf(path);
  if (!folder.empty()) {
    const int made = ::SHCreateDirectoryExW(nullptr, Widen(folder).c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
      FillWindowsFileError(error, FileError::Op::kCreate, folder, static_cast<DWORD>(made));
      return false;
    }
  }
  const std::wstring wide_path = Widen(path);
  const std::wstring wide_rotated = Widen(rotated);
  for (int attempt = 0; attempt < 100; ++attempt) {
    Handle file(OpenAppending(wide_path));
    if (!file.valid()) {
      FillWindowsFileError(error, FileError::Op::kOpen, path, ::GetLastError());
      return false;
    }
    if (!LockWhole(file.get())) {
      FillWindowsFileError(error, FileError::Op::kOpen, path, ::GetLastError());
      return false;
    }
    // A writer that waited while another rotated the file holds the renamed one: it lets go.
    BY_HANDLE_FILE_INFORMATION held{};
    if (::GetFileInformationByHandle(file.get(), &held) == 0) {
      FillWindowsFileError(error, FileError::Op::kOpen, path, ::GetLastError());
      return false;
    }
    {
      Handle named(::CreateFileW(wide_path.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      BY_HANDLE_FILE_INFORMATION now{};
      if (!named.valid() || ::GetFileInformationByHandle(named.get(), &now) == 0 ||
          now.nFileIndexHigh != held.nFileIndexHigh || now.nFileIndexLow != held.nFileIndexLow ||
          now.dwVolumeSerialNumber != held.dwVolumeSerialNumber) {
        continue;
      }
    }
    const unsigned long long size =
        (static_cast<unsigned long long>(held.nFileSizeHigh) << 32) | held.nFileSizeLow;
    if (size > 0 && size + line.size() > bound) {
      if (::MoveFileExW(wide_path.c_str(), wide_rotated.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        FillWindowsFileError(error, FileError::Op::kCreate, rotated, ::GetLastError());
        return false;
      }
      Handle made(OpenAppending(wide_path));
      if (!made.valid() || !LockWhole(made.get())) {
        FillWindowsFileError(error, FileError::Op::kCreate, path, ::GetLastError());
        return false;
      }
      // The lock on the renamed file keeps the others waiting until this writer is done.
      file.Swap(made);
    }
    DWORD written = 0;
    if (::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ==
            0 ||
        written != line.size()) {
      FillWindowsFileError(error, FileError::Op::kWrite, path, ::GetLastError());
      return false;
    }
    return true;
  }
  FillWindowsFileError(error, FileError::Op::kOpen, path, ERROR_SHARING_VIOLATION);
  return false;
}

}  // namespace tavi
