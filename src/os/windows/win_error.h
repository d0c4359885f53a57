// Helpers of the Windows platform code (inside os/windows/ only): the system's words for an
// error code, and the file errors that carry it.
#pragma once

#include <windows.h>

#include <cerrno>
#include <string>
#include <utility>

#include "core/ui/seams.h"
#include "os/windows/wide_text.h"

namespace tavi {

// The system's text for `code` in UTF-8, without its trailing line end and full stop ("The
// system cannot find the file specified"); "error N" when the system has no text for it.
inline std::string WindowsErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const DWORD n = ::FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                   reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::string text;
  if (n > 0 && buffer != nullptr) text = Narrow(std::wstring_view(buffer, n));
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

// Fills `error` with the step, the path, the system's code and its words.
inline void FillWindowsFileError(FileError& error, FileError::Op op, const std::string& path,
                                 DWORD code) {
  error.op = op;
  error.path = path;
  error.code = SystemCode::Win32(code);
  error.cause = WindowsErrorText(code);
}

// Fills `error` with a cause in our own words (e.g. "Not a regular file (a device)").
inline void FillFileCause(FileError& error, FileError::Op op, const std::string& path, int errnum,
                          std::string cause) {
  error.op = op;
  error.path = path;
  error.code = errnum != 0 ? SystemCode::Errno(errnum) : SystemCode{};
  error.cause = std::move(cause);
}

// Owns a file handle (INVALID_HANDLE_VALUE when empty).
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.handle_) {
    other.handle_ = INVALID_HANDLE_VALUE;
  }
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.handle_;
      other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  void Reset() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  // Closes now and reports the result.
  [[nodiscard]] bool Close() {
    const HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return h == INVALID_HANDLE_VALUE || h == nullptr || ::CloseHandle(h) != 0;
  }

 private:
  HANDLE handle_;
};

}  // namespace tavi
