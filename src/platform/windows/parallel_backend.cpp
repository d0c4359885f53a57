// The first parallel port on Windows: "ss1" defined as "\Device\Parallel0", opened as
// "\\.\ss1", written with WriteFile and asked for its device ID with IOCTL_PAR_QUERY_DEVICE_ID.
#include <utility>

#include "platform/windows/win_error.h"
#include "platform/windows/windows_device_backends.h"

namespace tavi {

WindowsParallelBackend::WindowsParallelBackend(std::unique_ptr<Win32DeviceCalls> calls)
    : calls_(std::move(calls)) {}

WindowsParallelBackend::~WindowsParallelBackend() {
  Close();
}

bool WindowsParallelBackend::ListPorts(std::vector<std::string>& names, DeviceError&) {
  names.assign(1, kParallelTarget);
  return true;
}

bool WindowsParallelBackend::Open(const std::string& name, DeviceError& error) {
  Close();
  error = {};
  // Defined again at every open, never removed.
  const DWORD defined = calls_->DefineRawDosDevice(kParallelDosName, name);
  if (defined != ERROR_SUCCESS) {
    error.text = std::string("the device name ") + kParallelDosName +
                 " could not be defined: " + WindowsErrorText(defined);
    return false;
  }
  DWORD code = ERROR_SUCCESS;
  const HANDLE handle = calls_->OpenDevice(kParallelOpenName, code);
  if (handle == INVALID_HANDLE_VALUE) {
    error.text = DeviceOpenErrorText(code);
    return false;
  }
  handle_ = handle;
  return true;
}

TransferResult WindowsParallelBackend::Write(std::span<const std::byte> bytes, int timeout_ms) {
  if (handle_ == INVALID_HANDLE_VALUE) {
    return {TransferResult::Status::kFailed, 0, "the port is not open"};
  }
  return calls_->Write(handle_, bytes, timeout_ms);
}

TransferResult WindowsParallelBackend::ReadDeviceId(std::span<std::byte> buffer, int timeout_ms) {
  if (handle_ == INVALID_HANDLE_VALUE) {
    return {TransferResult::Status::kFailed, 0, "the port is not open"};
  }
  return QueryDeviceId(*calls_, handle_, buffer, timeout_ms);
}

void WindowsParallelBackend::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  calls_->CloseDevice(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

std::unique_ptr<ParallelBackend> MakeSystemParallelBackend() {
  return std::make_unique<WindowsParallelBackend>(MakeSystemWin32DeviceCalls());
}

}  // namespace tavi
