// The real Windows calls behind the device backends, on objects the system really has: a named
// pipe stands in for a busy device, and the device-class tree is written into the registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "os/windows/win_error.h"
#include "os/windows/windows_device_backends.h"

namespace tavi {
namespace {

// A write into a pipe that nobody reads is bounded by its time-out and reports what moved; a
// read at the other end lets the next write finish; the device-ID request on something that is
// not a printer fails in the system's words.
TEST(Win32CallsTest, BoundedWritesAndRequestsOnARealHandle) {
  const std::string name = "\\\\.\\pipe\\tavi-calls-" + std::to_string(::GetCurrentProcessId());
  const UniqueHandle server(::CreateNamedPipeA(
      name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(server.valid()) << WindowsErrorText(::GetLastError());
  const std::unique_ptr<Win32DeviceCalls> calls = MakeSystemWin32DeviceCalls();
  DWORD code = 0;
  const HANDLE client = calls->OpenDevice(name, code);
  ASSERT_NE(client, INVALID_HANDLE_VALUE) << WindowsErrorText(code);

  const std::vector<std::byte> big(1 << 20, std::byte{'x'});
  const auto start = std::chrono::steady_clock::now();
  const TransferResult stuck = calls->Write(client, big, 300);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(stuck.status, TransferResult::Status::kTimedOut);
  EXPECT_LT(stuck.count, big.size());
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));

  std::thread reader([&] {
    std::vector<char> sink(65536);
    DWORD got = 0;
    while (::ReadFile(server.get(), sink.data(), static_cast<DWORD>(sink.size()), &got, nullptr) &&
           got > 0) {
    }
  });
  const std::vector<std::byte> small(100, std::byte{'y'});
  const TransferResult done = calls->Write(client, small, 5000);
  EXPECT_EQ(done.status, TransferResult::Status::kDone);
  EXPECT_EQ(done.count, small.size());

  std::vector<std::byte> buffer(64);
  const TransferResult id = QueryDeviceId(*calls, client, buffer, 1000);
  EXPECT_EQ(id.status, TransferResult::Status::kFailed);
  EXPECT_FALSE(id.error.empty());
  calls->CloseDevice(client);
  reader.join();

  EXPECT_EQ(calls->OpenDevice("\\\\.\\tavi-no-such-device", code), INVALID_HANDLE_VALUE);
  EXPECT_EQ(DeviceOpenErrorText(code), WindowsErrorText(code));
  EXPECT_NE(DeviceOpenErrorText(ERROR_ACCESS_DENIED).find("another program"), std::string::npos);
}

// Our printer registered in the device-class tree is found by the registry walk and its class
// text goes through UuidFromStringA; SetupAPI has no such interface present, so it is reported
// as unplugged rather than another device being opened.
TEST(Win32CallsTest, RegistryWalkFindsARegisteredPrinterThatIsNotPresent) {
  const std::string klass = "{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
  const std::string link = "\\\\?\\USB#VID_0E2A&PID_0103#T19#" + klass;
  const std::string base = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + klass;
  const std::string key = base + "\\##?#USB#VID_0E2A&PID_0103#T19#" + klass;
  HKEY created = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &created, nullptr),
            ERROR_SUCCESS);
  const std::string instance = "usb\\vid_0e2a&pid_0103\\t19";
  ::RegSetValueExA(created, "DeviceInstance", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(instance.c_str()),
                   static_cast<DWORD>(instance.size() + 1));
  HKEY hash = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(created, "#", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hash, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExA(hash, "SymbolicLink", 0, REG_SZ, reinterpret_cast<const BYTE*>(link.c_str()),
                   static_cast<DWORD>(link.size() + 1));
  ::RegCloseKey(hash);
  ::RegCloseKey(created);

  WindowsUsbBackend backend(MakeSystemWin32DeviceCalls());
  std::vector<UsbDeviceInfo> devices;
  Failure error;
  const bool listed = backend.ListDevices(devices, error);
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, base.c_str());
  ASSERT_TRUE(listed) << error.details;
  const UsbDeviceInfo* found = nullptr;
  for (const UsbDeviceInfo& d : devices)
    if (d.path == link) found = &d;
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->vendor_id, 0x0E2A);
  EXPECT_EQ(found->product_id, 0x0103);
  EXPECT_FALSE(backend.Open(*found, error));
  EXPECT_EQ(error.details, "it is not connected or switched off");

  // No such parallel port under Wine: the open fails in words, and nothing stays open.
  WindowsParallelBackend parallel(MakeSystemWin32DeviceCalls());
  EXPECT_FALSE(parallel.Open(kParallelTarget, error));
  EXPECT_FALSE(error.details.empty());
  EXPECT_EQ(parallel.Write(std::vector<std::byte>(1), 100).status, TransferResult::Status::kFailed);
}

}  // namespace
}  // namespace tavi
