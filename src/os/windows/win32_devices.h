// The Windows calls that the parallel and USB backends make, behind one small interface, so
// that the backends' rules (which device, which interface, the device-ID framing, the error
// words) are tested with a fake device; the real calls are tested under Wine on real objects.
// Inside os/windows/ and its tests only.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "os/device_backends.h"

namespace tavi {

// IEEE 1284 device-ID request of the parallel port driver (also answered by USB printers):
// CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 3, METHOD_BUFFERED, FILE_ANY_ACCESS).
inline constexpr DWORD kIoctlParQueryDeviceId = 0x0016000C;

// One present device interface as SetupAPI lists it.
struct DeviceInterface {
  std::string path;         // to open with CreateFileA
  std::string instance_id;  // the device it belongs to, e.g. "USB\VID_0E2A&PID_0102\1234"
};

class Win32DeviceCalls {
 public:
  virtual ~Win32DeviceCalls() = default;

  // DefineDosDeviceW(DDD_RAW_TARGET_PATH, name, target): 0, or the system's error code.
  virtual DWORD DefineRawDosDevice(const std::string& name, const std::string& target) = 0;
  // CreateFileA for reading and writing, shared, OPEN_EXISTING, overlapped: the handle, or
  // INVALID_HANDLE_VALUE with the error code in `error`.
  virtual HANDLE OpenDevice(const std::string& path, DWORD& error) = 0;
  virtual void CloseDevice(HANDLE handle) = 0;
  // One WriteFile of `bytes`, waited for at most `timeout_ms` (then cancelled).
  virtual TransferResult Write(HANDLE handle, std::span<const std::byte> bytes, int timeout_ms) = 0;
  // One DeviceIoControl with `code`, no input and `out` as the output buffer, waited for at
  // most `timeout_ms` (then cancelled).
  virtual TransferResult Control(HANDLE handle, DWORD code, std::span<std::byte> out,
                                 int timeout_ms) = 0;

  // The registry, read only: RegOpenKeyExA with KEY_READ, RegEnumKeyExA, RegQueryValueExA of a
  // string value, RegCloseKey. Each returns the system's status code (ERROR_SUCCESS, ...).
  virtual LONG OpenKey(HKEY parent, const std::string& name, HKEY& key) = 0;
  virtual LONG EnumKey(HKEY key, DWORD index, std::string& name) = 0;
  virtual LONG QueryString(HKEY key, const std::string& value, std::string& text) = 0;
  virtual LONG CloseKey(HKEY key) = 0;

  // UuidFromStringA: false when `text` is not a GUID (without braces).
  virtual bool ParseGuid(const std::string& text, GUID& guid) = 0;
  // The present interfaces of class `guid` (SetupDiGetClassDevsA with DIGCF_PRESENT and
  // DIGCF_DEVICEINTERFACE, SetupDiEnumDeviceInterfaces, SetupDiGetDeviceInterfaceDetailA),
  // in SetupAPI's order. False, with the error code, when the set cannot be made.
  virtual bool PresentInterfaces(const GUID& guid, std::vector<DeviceInterface>& interfaces,
                                 DWORD& error) = 0;
};

// The calls of this system.
std::unique_ptr<Win32DeviceCalls> MakeSystemWin32DeviceCalls();

// One device-ID request on `handle`, framed as the device backends' contract asks: the
// driver returns the ID without its length field, so a 2-byte big-endian length goes in front.
// A request that succeeds with nothing returned gives a count of 0.
TransferResult QueryDeviceId(Win32DeviceCalls& calls, HANDLE handle, std::span<std::byte> buffer,
                             int timeout_ms);

// The words for a device that cannot be opened (`code` from CreateFileA).
std::string DeviceOpenErrorText(DWORD code);

// One device opened through the calls, closed at the latest when it is destroyed.
class DeviceFile {
 public:
  // `not_open` is the reason a transfer on a closed device gives ("the port is not open").
  DeviceFile(Win32DeviceCalls& calls, std::string not_open)
      : calls_(calls), not_open_(std::move(not_open)) {}
  ~DeviceFile() { Close(); }
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  // Opens `path` (closing what was open); false with the words in `error`.
  bool Open(const std::string& path, std::string& error);
  TransferResult Write(std::span<const std::byte> bytes, int timeout_ms);
  // The device-ID request, framed as QueryDeviceId says.
  TransferResult QueryId(std::span<std::byte> buffer, int timeout_ms);
  void Close();

 private:
  Win32DeviceCalls& calls_;
  std::string not_open_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace tavi
