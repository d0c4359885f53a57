#include "os/windows/win32_devices.h"

// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <ntddpar.h>
#include <rpc.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <limits>

#include "os/windows/wide_text.h"
#include "os/windows/win_error.h"

namespace tavi {

static_assert(kIoctlParQueryDeviceId == IOCTL_PAR_QUERY_DEVICE_ID);

namespace {

// Longest registry key name and string value the walk reads.
constexpr DWORD kRegistryText = 1024;

DWORD ClampedSize(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
}

// Starts one overlapped request with `start`, waits at most `timeout_ms` for it and cancels it
// after that: kTimedOut with what moved before the cancel.
template <typename Start>
TransferResult Bounded(HANDLE handle, int timeout_ms, Start start) {
  OVERLAPPED overlapped{};
  const UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.valid()) {
    return {TransferResult::Status::kFailed, 0, WindowsErrorText(::GetLastError())};
  }
  overlapped.hEvent = event.get();
  DWORD moved = 0;
  if (!start(&overlapped)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_IO_PENDING)
      return {TransferResult::Status::kFailed, 0, WindowsErrorText(code)};
    if (::WaitForSingleObject(event.get(), static_cast<DWORD>(std::max(timeout_ms, 0))) ==
        WAIT_TIMEOUT) {
      ::CancelIoEx(handle, &overlapped);
      ::GetOverlappedResult(handle, &overlapped, &moved, TRUE);
      return {TransferResult::Status::kTimedOut, moved, {}};
    }
  }
  if (!::GetOverlappedResult(handle, &overlapped, &moved, FALSE)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_OPERATION_ABORTED) return {TransferResult::Status::kTimedOut, moved, {}};
    return {TransferResult::Status::kFailed, moved, WindowsErrorText(code)};
  }
  return {TransferResult::Status::kDone, moved, {}};
}

struct DevInfoList {
  HDEVINFO set;
  ~DevInfoList() {
    if (set != INVALID_HANDLE_VALUE) ::SetupDiDestroyDeviceInfoList(set);
  }
};

class SystemCalls final : public Win32DeviceCalls {
 public:
  DWORD DefineRawDosDevice(const std::string& name, const std::string& target) override {
    return ::DefineDosDeviceW(DDD_RAW_TARGET_PATH, Widen(name).c_str(), Widen(target).c_str()) != 0
               ? ERROR_SUCCESS
               : ::GetLastError();
  }

  HANDLE OpenDevice(const std::string& path, DWORD& error) override {
    const HANDLE handle = ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    error = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    return handle;
  }

  void CloseDevice(HANDLE handle) override {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) ::CloseHandle(handle);
  }

  TransferResult Write(HANDLE handle, std::span<const std::byte> bytes, int timeout_ms) override {
    return Bounded(handle, timeout_ms, [&](OVERLAPPED* overlapped) {
      return ::WriteFile(handle, bytes.data(), ClampedSize(bytes.size()), nullptr, overlapped) != 0;
    });
  }

  TransferResult Control(HANDLE handle, DWORD code, std::span<std::byte> out,
                         int timeout_ms) override {
    return Bounded(handle, timeout_ms, [&](OVERLAPPED* overlapped) {
      return ::DeviceIoControl(handle, code, nullptr, 0, out.data(), ClampedSize(out.size()),
                               nullptr, overlapped) != 0;
    });
  }

  LONG OpenKey(HKEY parent, const std::string& name, HKEY& key) override {
    return ::RegOpenKeyExW(parent, Widen(name).c_str(), 0, KEY_READ, &key);
  }

  LONG EnumKey(HKEY key, DWORD index, std::string& name) override {
    std::array<wchar_t, kRegistryText> buffer{};
    DWORD size = kRegistryText;
    const LONG rc =
        ::RegEnumKeyExW(key, index, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) {
      name = Narrow(std::wstring_view(buffer.data(), std::min(size, kRegistryText - 1)));
    }
    return rc;
  }

  LONG QueryString(HKEY key, const std::string& value, std::string& text) override {
    std::array<wchar_t, kRegistryText> buffer{};
    // In bytes, with room for a terminating zero the value may lack.
    DWORD size = (kRegistryText - 1) * sizeof(wchar_t);
    DWORD type = 0;
    const LONG rc = ::RegQueryValueExW(key, Widen(value).c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (rc != ERROR_SUCCESS) return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    std::wstring_view wide(buffer.data(),
                           std::min<DWORD>(size / sizeof(wchar_t), kRegistryText - 1));
    while (!wide.empty() && wide.back() == L'\0') wide.remove_suffix(1);
    text = Narrow(wide);
    return ERROR_SUCCESS;
  }

  LONG CloseKey(HKEY key) override { return ::RegCloseKey(key); }

  bool ParseGuid(const std::string& text, GUID& guid) override {
    std::wstring copy = Widen(text);
    return ::UuidFromStringW(reinterpret_cast<RPC_WSTR>(copy.data()), &guid) == RPC_S_OK;
  }

  bool PresentInterfaces(const GUID& guid, std::vector<DeviceInterface>& interfaces,
                         DWORD& error) override {
    interfaces.clear();
    const DevInfoList list{
        ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
    if (list.set == INVALID_HANDLE_VALUE) {
      error = ::GetLastError();
      return false;
    }
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA data{};
      data.cbSize = sizeof data;
      if (!::SetupDiEnumDeviceInterfaces(list.set, nullptr, &guid, index, &data)) break;
      DWORD required = 0;
      ::SetupDiGetDeviceInterfaceDetailW(list.set, &data, nullptr, 0, &required, nullptr);
      if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
      // Aligned for the structure; the path runs on past its end.
      std::vector<SP_DEVICE_INTERFACE_DETAIL_DATA_W> storage(
          required / sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + 1);
      auto* detail = storage.data();
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
      SP_DEVINFO_DATA device{};
      device.cbSize = sizeof device;
      if (!::SetupDiGetDeviceInterfaceDetailW(list.set, &data, detail, required, nullptr,
                                              &device)) {
        continue;
      }
      DeviceInterface found;
      found.path = Narrow(detail->DevicePath);
      std::array<wchar_t, kRegistryText> instance{};
      if (::SetupDiGetDeviceInstanceIdW(list.set, &device, instance.data(), kRegistryText,
                                        nullptr)) {
        found.instance_id = Narrow(instance.data());
      }
      interfaces.push_back(std::move(found));
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<Win32DeviceCalls> MakeSystemWin32DeviceCalls() {
  return std::make_unique<SystemCalls>();
}

TransferResult QueryDeviceId(Win32DeviceCalls& calls, HANDLE handle, std::span<std::byte> buffer,
                             int timeout_ms) {
  constexpr std::size_t kLengthField = 2;
  if (buffer.size() <= kLengthField) return {TransferResult::Status::kDone, 0, {}};
  TransferResult result =
      calls.Control(handle, kIoctlParQueryDeviceId, buffer.subspan(kLengthField), timeout_ms);
  if (result.status != TransferResult::Status::kDone) {
    result.count = 0;
    return result;
  }
  const std::size_t id = std::min(result.count, buffer.size() - kLengthField);
  if (id == 0) return result;
  const std::size_t total = std::min<std::size_t>(id + kLengthField, 0xFFFF);
  buffer[0] = static_cast<std::byte>(total >> 8);
  buffer[1] = static_cast<std::byte>(total & 0xFF);
  result.count = id + kLengthField;
  return result;
}

std::string DeviceOpenErrorText(DWORD code) {
  std::string text = WindowsErrorText(code);
  if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_BUSY) {
    text += " (another program, such as the print spooler, may be using it)";
  }
  return text;
}

bool DeviceFile::Open(const std::string& path, std::string& error) {
  Close();
  DWORD code = ERROR_SUCCESS;
  const HANDLE handle = calls_.OpenDevice(path, code);
  if (handle == INVALID_HANDLE_VALUE) {
    error = DeviceOpenErrorText(code);
    return false;
  }
  handle_ = handle;
  return true;
}

TransferResult DeviceFile::Write(std::span<const std::byte> bytes, int timeout_ms) {
  if (handle_ == INVALID_HANDLE_VALUE) return {TransferResult::Status::kFailed, 0, not_open_};
  return calls_.Write(handle_, bytes, timeout_ms);
}

TransferResult DeviceFile::QueryId(std::span<std::byte> buffer, int timeout_ms) {
  if (handle_ == INVALID_HANDLE_VALUE) return {TransferResult::Status::kFailed, 0, not_open_};
  return QueryDeviceId(calls_, handle_, buffer, timeout_ms);
}

void DeviceFile::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  calls_.CloseDevice(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

}  // namespace tavi
