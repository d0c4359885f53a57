// The Windows parallel and USB backends under the real channels, over a fake registry, fake
// SetupAPI and fake devices behind Win32DeviceCalls.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/connection/parallel_channel.h"
#include "core/connection/usb_channel.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace.h"
#include "os/windows/win_error.h"
#include "os/windows/windows_device_backends.h"
#include "support/doubles.h"

namespace tavi {
namespace {

constexpr const char* kPrintClass = "28d78fad-5a12-11d1-ae5b-0000f803a8c2";

struct FakeDevice {
  std::string device_id;            // what the ID request returns (without a length field)
  std::size_t max_write = 1 << 20;  // bytes taken per WriteFile
  bool fail_writes = false;
  std::vector<std::size_t> writes;  // size of every WriteFile offered
  std::string written;
  int opens = 0;
};

struct RegistryNode {
  std::vector<std::pair<std::string, std::unique_ptr<RegistryNode>>> children;
  std::map<std::string, std::string> values;
  RegistryNode& Child(const std::string& name) {
    for (auto& [n, node] : children)
      if (n == name) return *node;
    children.emplace_back(name, std::make_unique<RegistryNode>());
    return *children.back().second;
  }
};

class FakeCalls final : public Win32DeviceCalls {
 public:
  // Registers one interface of `instance` under class `klass` with `link` as its path.
  void Register(const std::string& klass, const std::string& key, const std::string& instance,
                const std::string& link) {
    RegistryNode& node = Classes().Child("{" + klass + "}").Child(key);
    node.values["DeviceInstance"] = instance;
    node.Child("#").values["SymbolicLink"] = link;
  }
  RegistryNode& Classes() {
    return root.Child("SYSTEM").Child("CurrentControlSet").Child("Control").Child("DeviceClasses");
  }

  DWORD DefineRawDosDevice(const std::string& name, const std::string& target) override {
    defines.push_back(name + " -> " + target);
    return define_result;
  }
  HANDLE OpenDevice(const std::string& path, DWORD& error) override {
    opened.push_back(path);
    const auto it = devices.find(path);
    if (it == devices.end()) {
      error = ERROR_FILE_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
    ++it->second.opens;
    error = ERROR_SUCCESS;
    handles.push_back(&it->second);
    return reinterpret_cast<HANDLE>(handles.size());
  }
  void CloseDevice(HANDLE handle) override { closed.push_back(Device(handle)); }
  TransferResult Write(HANDLE handle, std::span<const std::byte> bytes, int) override {
    FakeDevice* device = Device(handle);
    device->writes.push_back(bytes.size());
    if (device->fail_writes) return {TransferResult::Status::kFailed, 0, "the device went away"};
    const std::size_t n = std::min(bytes.size(), device->max_write);
    device->written.append(reinterpret_cast<const char*>(bytes.data()), n);
    return {TransferResult::Status::kDone, n, {}};
  }
  TransferResult Control(HANDLE handle, DWORD code, std::span<std::byte> out, int) override {
    EXPECT_EQ(code, 0x0016000Cu);
    const std::string& id = Device(handle)->device_id;
    const std::size_t n = std::min(out.size(), id.size());
    std::memcpy(out.data(), id.data(), n);
    return {TransferResult::Status::kDone, n, {}};
  }

  LONG OpenKey(HKEY parent, const std::string& name, HKEY& key) override {
    RegistryNode* node = parent == HKEY_LOCAL_MACHINE ? &root : open_keys.at(parent);
    for (auto& [n, child] : node->children) {
      if (n == name) {
        key = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(++next_key));
        open_keys[key] = child.get();
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  }
  LONG EnumKey(HKEY key, DWORD index, std::string& name) override {
    const RegistryNode* node = open_keys.at(key);
    if (index >= node->children.size()) return ERROR_NO_MORE_ITEMS;
    name = node->children[index].first;
    return ERROR_SUCCESS;
  }
  LONG QueryString(HKEY key, const std::string& value, std::string& text) override {
    const RegistryNode* node = open_keys.at(key);
    const auto it = node->values.find(value);
    if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
    text = it->second;
    return ERROR_SUCCESS;
  }
  LONG CloseKey(HKEY key) override { return open_keys.erase(key) == 1 ? 0 : ERROR_INVALID_HANDLE; }

  bool ParseGuid(const std::string& text, GUID& guid) override {
    if (text.size() != 36) return false;
    guid = GUID{};
    guid.Data1 = static_cast<unsigned long>(std::hash<std::string>()(text));
    guids[guid.Data1] = text;
    return true;
  }
  bool PresentInterfaces(const GUID& guid, std::vector<DeviceInterface>& interfaces,
                         DWORD&) override {
    interfaces = present[guids.at(guid.Data1)];
    return true;
  }

  FakeDevice* Device(HANDLE handle) {
    return handles.at(reinterpret_cast<std::uintptr_t>(handle) - 1);
  }

  RegistryNode root;
  std::map<HKEY, RegistryNode*> open_keys;
  std::uintptr_t next_key = 0x1000;
  std::map<unsigned long, std::string> guids;
  std::map<std::string, std::vector<DeviceInterface>> present;  // class -> interfaces
  std::map<std::string, FakeDevice> devices;                    // path -> device
  std::vector<FakeDevice*> handles;
  std::vector<FakeDevice*> closed;
  std::vector<std::string> opened;
  std::vector<std::string> defines;
  DWORD define_result = ERROR_SUCCESS;
};

class WindowsDeviceTest : public ::testing::Test {
 protected:
  std::vector<std::byte> Bytes(std::size_t n) {
    std::vector<std::byte> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::byte>('a' + i % 26);
    return out;
  }

  std::unique_ptr<FakeCalls> owned = std::make_unique<FakeCalls>();
  FakeCalls& calls = *owned;
  PortSettings settings;
  test::RecordingProgress progress;
  test::FakeClock clock;
  Trace trace;
  ChannelContext context{settings, progress, clock, trace};
};

// Two printers share the printing class: another maker's comes first in SetupAPI's order, and
// ours is registered in lower case, with its present interface spelled "\??\" and upper case.
// Our own interface is opened, written in 4096-byte pieces and asked for its device ID; the
// other printer is never touched, and every registry key the walk opened is closed.
TEST_F(WindowsDeviceTest, UsbOpensTheMatchedDevicesOwnInterface) {
  const std::string ours = std::string("\\\\?\\usb#vid_0e2a&pid_0102#ser1#{") + kPrintClass + "}";
  const std::string ours_present =
      std::string("\\??\\USB#VID_0E2A&PID_0102#SER1#{") + kPrintClass + "}";
  const std::string theirs = std::string("\\\\?\\usb#vid_04b8&pid_0005#x#{") + kPrintClass + "}";
  calls.Classes().Child("{00000000-0000-0000-0000-000000000001}");  // a class with no interface
  // An interface registered without its link is passed over.
  calls.Classes()
      .Child(std::string("{") + kPrintClass + "}")
      .Child("##?#USB#VID_0E2A&PID_0101#NOLINK")
      .values["DeviceInstance"] = "USB\\VID_0E2A&PID_0101\\NOLINK";
  calls.Register(kPrintClass, "##?#USB#VID_04B8&PID_0005#X", "USB\\VID_04B8&PID_0005\\X", theirs);
  calls.Register(kPrintClass, "##?#USB#VID_1234&PID_0001#Y",
                 "USB\\VID_1234&PID_0001\\USB\\VID_0E2A&PID_0101",
                 "\\\\?\\y#{" + std::string(kPrintClass) + "}");
  calls.Register(kPrintClass, "##?#USB#VID_0E2A&PID_0102#SER1", "usb\\vid_0e2a&pid_0102\\ser1",
                 ours);
  calls.present[kPrintClass] = {{theirs, "USB\\VID_04B8&PID_0005\\X"},
                                {ours_present, "USB\\VID_0E2A&PID_0102\\SER1"}};
  calls.devices[theirs].device_id = "MFG:Other;";
  calls.devices[ours_present].device_id = std::string("MFG:Tavi;REPORT:1,2;\0junk", 25);

  UsbChannel channel(context, std::make_unique<WindowsUsbBackend>(std::move(owned)));
  Failure failure;
  ASSERT_TRUE(channel.Open(failure)) << failure.details;
  const std::vector<std::byte> data = Bytes(10000);
  ASSERT_TRUE(channel.Write(data, failure)) << failure.details;
  std::string reply;
  ASSERT_TRUE(channel.ReadReply(reply, failure)) << failure.details;
  channel.Close();

  EXPECT_EQ(calls.opened, std::vector<std::string>{ours_present});
  const FakeDevice& device = calls.devices[ours_present];
  EXPECT_EQ(device.writes, (std::vector<std::size_t>{4096, 4096, 1808}));
  EXPECT_EQ(device.written, std::string(reinterpret_cast<const char*>(data.data()), data.size()));
  EXPECT_EQ(reply, "MFG:Tavi;REPORT:1,2;");
  EXPECT_EQ(calls.devices[theirs].opens, 0);
  EXPECT_TRUE(calls.open_keys.empty());
}

TEST_F(WindowsDeviceTest, UsbNeverFallsBackToAnotherDeviceAndSaysWhy) {
  const std::string ours = std::string("\\\\?\\usb#vid_0e2a&pid_0101#a#{") + kPrintClass + "}";
  const std::string theirs = std::string("\\\\?\\usb#vid_04b8&pid_0005#x#{") + kPrintClass + "}";
  calls.Register(kPrintClass, "k1", "USB\\VID_0E2A&PID_0101\\A", ours);
  calls.Register(kPrintClass, "k2", "USB\\VID_04B8&PID_0005\\X", theirs);
  // Unplugged: only the other printer's interface is present.
  calls.present[kPrintClass] = {{theirs, "USB\\VID_04B8&PID_0005\\X"}};
  calls.devices[theirs].device_id = "MFG:Other;";
  FakeCalls* fake = owned.get();
  UsbChannel channel(context, std::make_unique<WindowsUsbBackend>(std::move(owned)));
  Failure failure;
  EXPECT_FALSE(channel.Open(failure));
  EXPECT_EQ(failure.message_id, kIdsFailedToOpenPort);
  EXPECT_NE(failure.details.find("USB\\VID_0E2A&PID_0101 at " + ours), std::string::npos)
      << failure.details;
  EXPECT_NE(failure.details.find("not connected or switched off"), std::string::npos);
  EXPECT_TRUE(fake->opened.empty());

  // A link without its class, and then a registry key without its DeviceInstance.
  fake->Classes().children.clear();
  fake->Register(kPrintClass, "k3", "USB\\VID_0E2A&PID_0103\\B", "\\\\?\\usb#vid_0e2a#b");
  EXPECT_FALSE(channel.Open(failure));
  EXPECT_NE(failure.details.find("names no interface class"), std::string::npos) << failure.details;
  fake->Classes().Child("{x}").Child("broken");
  EXPECT_FALSE(channel.Open(failure));
  EXPECT_NE(failure.details.find("The USB devices could not be listed: DeviceInstance of "
                                 "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
                                 "DeviceClasses\\{x}\\broken could not be read: " +
                                 WindowsErrorText(ERROR_FILE_NOT_FOUND)),
            std::string::npos)
      << failure.details;
  EXPECT_TRUE(fake->open_keys.empty());
}

// An empty device ID keeps the device open; a failed write closes it, and the next operation
// finds it again.
TEST_F(WindowsDeviceTest, UsbEmptyReplyKeepsTheDeviceAndAFailedWriteReopens) {
  const std::string ours = std::string("\\\\?\\usb#vid_0e2a&pid_0103#c#{") + kPrintClass + "}";
  calls.Register(kPrintClass, "k", "USB\\VID_0E2A&PID_0103\\C", ours);
  calls.present[kPrintClass] = {{ours, ""}};
  FakeDevice& device = calls.devices[ours];
  UsbChannel channel(context, std::make_unique<WindowsUsbBackend>(std::move(owned)));
  Failure failure;
  std::string reply;
  EXPECT_FALSE(channel.ReadReply(reply, failure));
  EXPECT_EQ(failure.message_id, kIdsFailedToRead);
  EXPECT_NE(failure.details.find("gave no device ID"), std::string::npos) << failure.details;
  EXPECT_TRUE(channel.is_open());
  device.fail_writes = true;
  EXPECT_FALSE(channel.Write(Bytes(10), failure));
  EXPECT_EQ(failure.message_id, kIdsFailedToWrite);
  EXPECT_NE(failure.details.find("the device went away"), std::string::npos) << failure.details;
  EXPECT_FALSE(channel.is_open());
  device.fail_writes = false;
  EXPECT_TRUE(channel.Write(Bytes(10), failure)) << failure.details;
  EXPECT_EQ(device.opens, 2);
}

TEST_F(WindowsDeviceTest, ParallelDefinesItsNameAtEveryOpenAndFramesTheDeviceId) {
  FakeDevice& port = calls.devices[kParallelOpenName];
  port.max_write = 3;                      // the driver takes a few bytes per call
  port.device_id = std::string(600, 'x');  // longer than the reply buffer, no zero byte
  FakeCalls* fake = owned.get();
  ParallelChannel channel(context, std::make_unique<WindowsParallelBackend>(std::move(owned)));
  Failure failure;
  ASSERT_TRUE(channel.Open(failure)) << failure.details;
  ASSERT_TRUE(channel.Write(Bytes(10), failure));
  EXPECT_EQ(port.writes, (std::vector<std::size_t>{10, 7, 4, 1}));
  std::string reply;
  ASSERT_TRUE(channel.ReadReply(reply, failure)) << failure.details;
  EXPECT_EQ(reply, std::string(510, 'x'));  // 512 bytes less the length field
  port.device_id = std::string("REPORT:3,4;\0", 12);
  ASSERT_TRUE(channel.ReadReply(reply, failure));
  EXPECT_EQ(reply, "REPORT:3,4;");
  channel.Close();
  ASSERT_TRUE(channel.Open(failure));
  channel.Close();
  EXPECT_EQ(fake->defines, (std::vector<std::string>(2, "ss1 -> \\Device\\Parallel0")));

  // A name that cannot be defined ends the open before any CreateFileA.
  fake->define_result = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(channel.Open(failure));
  EXPECT_EQ(failure.message_id, kIdsFailedToOpenPort);
  EXPECT_NE(failure.details.find("the device name ss1 could not be defined: " +
                                 WindowsErrorText(ERROR_ACCESS_DENIED)),
            std::string::npos)
      << failure.details;
  EXPECT_EQ(fake->opened.size(), 2u);
}

}  // namespace
}  // namespace tavi
