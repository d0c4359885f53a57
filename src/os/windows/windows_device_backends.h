// The parallel and USB backends of the Windows build, over the calls of Win32DeviceCalls
// (inside os/windows/ and its tests only).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "os/device_backends.h"
#include "os/windows/win32_devices.h"

namespace tavi {

// The first parallel port: the MS-DOS device name "ss1" defined (again at every open) as the
// raw target "\Device\Parallel0", then opened as "\\.\ss1".
inline constexpr const char* kParallelTarget = "\\Device\\Parallel0";
inline constexpr const char* kParallelDosName = "ss1";
inline constexpr const char* kParallelOpenName = "\\\\.\\ss1";

class WindowsParallelBackend final : public ParallelBackend {
 public:
  explicit WindowsParallelBackend(std::unique_ptr<Win32DeviceCalls> calls);
  ~WindowsParallelBackend() override;

  // One port: kParallelTarget.
  bool ListPorts(std::vector<std::string>& names, Failure& error) override;
  bool Open(const std::string& name, Failure& error) override;
  TransferResult Write(std::span<const std::byte> bytes, int timeout_ms) override;
  TransferResult ReadDeviceId(std::span<std::byte> buffer, int timeout_ms) override;
  void Close() override;

 private:
  std::unique_ptr<Win32DeviceCalls> calls_;
  DeviceFile port_;
};

// Where the device classes and their interfaces are registered (under HKEY_LOCAL_MACHINE).
inline constexpr const char* kDeviceClassesPath[] = {"SYSTEM", "CurrentControlSet", "Control",
                                                     "DeviceClasses"};

// USB devices as the registry's device-class tree lists their interfaces: every interface key
// whose "DeviceInstance" is a USB device becomes one UsbDeviceInfo (bus and address 0, so that
// the registry's order decides), with the interface's "SymbolicLink" as its path. Open then
// opens the present SetupAPI interface of that very device and class, never another device's.
class WindowsUsbBackend final : public UsbBackend {
 public:
  explicit WindowsUsbBackend(std::unique_ptr<Win32DeviceCalls> calls);
  ~WindowsUsbBackend() override;

  bool ListDevices(std::vector<UsbDeviceInfo>& devices, Failure& error) override;
  bool Open(const UsbDeviceInfo& device, Failure& error) override;
  TransferResult BulkWrite(std::span<const std::byte> bytes, int timeout_ms) override;
  TransferResult GetDeviceId(std::span<std::byte> buffer, int timeout_ms) override;
  void Close() override;

 private:
  bool Walk(std::vector<UsbDeviceInfo>& devices, std::string& error);

  std::unique_ptr<Win32DeviceCalls> calls_;
  std::map<std::string, std::string> instance_of_link_;  // from the last walk
  DeviceFile device_;
};

// The interface class in an interface path: the text after the last "{" before the last "}".
// Empty when the path has no such braces.
std::string InterfaceClassOfLink(std::string_view link);

// Vendor and product of a device instance id that begins "USB\VID_xxxx&PID_xxxx" (any case).
bool ParseUsbInstance(std::string_view instance, std::uint16_t& vendor_id,
                      std::uint16_t& product_id);

}  // namespace tavi
