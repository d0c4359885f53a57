// The first parallel port on Windows: "ss1" defined as "\Device\Parallel0", opened as
// "\\.\ss1", written with WriteFile and asked for its device ID with IOCTL_PAR_QUERY_DEVICE_ID.
#include <utility>

#include "os/windows/win_error.h"
#include "os/windows/windows_device_backends.h"

namespace tavi {

WindowsParallelBackend::WindowsParallelBackend(std::unique_ptr<Win32DeviceCalls> calls)
    : calls_(std::move(calls)), port_(*calls_, "the port is not open") {}

WindowsParallelBackend::~WindowsParallelBackend() {
  Close();
}

bool WindowsParallelBackend::ListPorts(std::vector<std::string>& names, Failure&) {
  names.assign(1, kParallelTarget);
  return true;
}

bool WindowsParallelBackend::Open(const std::string& name, Failure& error) {
  Close();
  error = {};
  // Defined again at every open, never removed.
  const DWORD defined = calls_->DefineRawDosDevice(kParallelDosName, name);
  if (defined != ERROR_SUCCESS) {
    error.details = std::string("the device name ") + kParallelDosName +
                    " could not be defined: " + WindowsErrorText(defined);
    return false;
  }
  return port_.Open(kParallelOpenName, error.details);
}

TransferResult WindowsParallelBackend::Write(std::span<const std::byte> bytes, int timeout_ms) {
  return port_.Write(bytes, timeout_ms);
}

TransferResult WindowsParallelBackend::ReadDeviceId(std::span<std::byte> buffer, int timeout_ms) {
  return port_.QueryId(buffer, timeout_ms);
}

void WindowsParallelBackend::Close() {
  port_.Close();
}

std::unique_ptr<ParallelBackend> MakeSystemParallelBackend() {
  return std::make_unique<WindowsParallelBackend>(MakeSystemWin32DeviceCalls());
}

}  // namespace tavi
