// USB printers on Windows: the registry's device-class tree names each device's interfaces;
// SetupAPI lists which of them are present; the one of the chosen device is opened as a file,
// written with WriteFile and asked for its device ID with IOCTL_PAR_QUERY_DEVICE_ID.
#include <algorithm>
#include <cctype>
#include <utility>

#include "os/windows/win_error.h"
#include "os/windows/windows_device_backends.h"

namespace tavi {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool HexField(std::string_view text, std::uint16_t& value) {
  if (text.size() < 4) return false;
  value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return false;
    value = static_cast<std::uint16_t>(value * 16 + digit);
  }
  return true;
}

// "\\?\USB#..." and "\??\USB#..." name the same interface; case does not matter.
std::string ComparablePath(std::string_view path) {
  std::string out = Upper(path);
  if (out.starts_with("\\??\\")) out[1] = '\\';
  return out;
}

// The keys that the walk holds open, closed in reverse order; a failed close is an error.
class KeyStack {
 public:
  explicit KeyStack(Win32DeviceCalls& calls) : calls_(calls) {}
  ~KeyStack() {
    while (!keys_.empty()) Pop();
  }
  HKEY top() const { return keys_.back(); }
  LONG Push(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    const LONG rc = calls_.OpenKey(parent, name, key);
    if (rc == ERROR_SUCCESS) keys_.push_back(key);
    return rc;
  }
  LONG Pop() {
    const LONG rc = calls_.CloseKey(keys_.back());
    keys_.pop_back();
    return rc;
  }

 private:
  Win32DeviceCalls& calls_;
  std::vector<HKEY> keys_;
};

std::string RegistryError(const std::string& what, LONG rc) {
  return what + ": " + WindowsErrorText(static_cast<DWORD>(rc));
}

}  // namespace

std::string InterfaceClassOfLink(std::string_view link) {
  const std::size_t close = link.rfind('}');
  if (close == std::string_view::npos) return {};
  const std::size_t open = link.rfind('{', close);
  if (open == std::string_view::npos) return {};
  return std::string(link.substr(open + 1, close - open - 1));
}

bool ParseUsbInstance(std::string_view instance, std::uint16_t& vendor_id,
                      std::uint16_t& product_id) {
  const std::string upper = Upper(instance);
  constexpr std::string_view kVid = "USB\\VID_";
  constexpr std::string_view kPid = "&PID_";
  const std::string_view text = upper;
  if (!text.starts_with(kVid) || text.size() < kVid.size() + 4 + kPid.size() + 4) return false;
  if (text.substr(kVid.size() + 4, kPid.size()) != kPid) return false;
  return HexField(text.substr(kVid.size()), vendor_id) &&
         HexField(text.substr(kVid.size() + 4 + kPid.size()), product_id);
}

WindowsUsbBackend::WindowsUsbBackend(std::unique_ptr<Win32DeviceCalls> calls)
    : calls_(std::move(calls)), device_(*calls_, "the device is not open") {}

WindowsUsbBackend::~WindowsUsbBackend() {
  Close();
}

bool WindowsUsbBackend::Walk(std::vector<UsbDeviceInfo>& devices, std::string& error) {
  KeyStack keys(*calls_);
  HKEY parent = HKEY_LOCAL_MACHINE;
  std::string where = "HKEY_LOCAL_MACHINE";
  for (const char* part : kDeviceClassesPath) {
    where += std::string("\\") + part;
    if (const LONG rc = keys.Push(parent, part); rc != ERROR_SUCCESS) {
      error = RegistryError("the registry key " + where + " could not be opened", rc);
      return false;
    }
    parent = keys.top();
  }
  const HKEY classes = parent;
  std::string class_name;
  for (DWORD c = 0;; ++c) {
    LONG rc = calls_->EnumKey(classes, c, class_name);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || (rc = keys.Push(classes, class_name)) != ERROR_SUCCESS) {
      error = RegistryError("the device classes in " + where + " could not be read", rc);
      return false;
    }
    const HKEY class_key = keys.top();
    std::string interface_name;
    for (DWORD i = 0;; ++i) {
      rc = calls_->EnumKey(class_key, i, interface_name);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      const std::string key_where = where + "\\" + class_name + "\\" + interface_name;
      if (rc != ERROR_SUCCESS || (rc = keys.Push(class_key, interface_name)) != ERROR_SUCCESS) {
        error = RegistryError(
            "the interfaces in " + where + "\\" + class_name + " could not be read", rc);
        return false;
      }
      const HKEY interface_key = keys.top();
      std::string instance;
      if (rc = calls_->QueryString(interface_key, "DeviceInstance", instance);
          rc != ERROR_SUCCESS) {
        error = RegistryError("DeviceInstance of " + key_where + " could not be read", rc);
        return false;
      }
      UsbDeviceInfo device;
      if (ParseUsbInstance(instance, device.vendor_id, device.product_id)) {
        std::string link;
        if (rc = keys.Push(interface_key, "#"); rc == ERROR_SUCCESS) {
          rc = calls_->QueryString(keys.top(), "SymbolicLink", link);
          if (const LONG closed = keys.Pop(); closed != ERROR_SUCCESS) rc = closed;
        }
        // An interface registered without a link cannot be opened: it is passed over.
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
          error = RegistryError("SymbolicLink of " + key_where + " could not be read", rc);
          return false;
        }
        if (rc == ERROR_SUCCESS) {
          device.path = link;
          instance_of_link_[ComparablePath(link)] = instance;
          devices.push_back(std::move(device));
        }
      }
      if (rc = keys.Pop(); rc != ERROR_SUCCESS) {
        error = RegistryError("the registry key " + key_where + " could not be closed", rc);
        return false;
      }
    }
    if (rc = keys.Pop(); rc != ERROR_SUCCESS) {
      error = RegistryError(
          "the registry key " + where + "\\" + class_name + " could not be closed", rc);
      return false;
    }
  }
  return true;
}

bool WindowsUsbBackend::ListDevices(std::vector<UsbDeviceInfo>& devices, Failure& error) {
  devices.clear();
  instance_of_link_.clear();
  std::string text;
  if (Walk(devices, text)) return true;
  devices.clear();
  error = {0, text};
  return false;
}

bool WindowsUsbBackend::Open(const UsbDeviceInfo& wanted, Failure& error) {
  Close();
  error = {};
  const std::string class_text = InterfaceClassOfLink(wanted.path);
  GUID guid{};
  if (class_text.empty() || !calls_->ParseGuid(class_text, guid)) {
    error.details = "its interface path names no interface class (" + wanted.path + ")";
    return false;
  }
  std::vector<DeviceInterface> present;
  DWORD code = ERROR_SUCCESS;
  if (!calls_->PresentInterfaces(guid, present, code)) {
    error.details = "the present devices could not be listed: " + WindowsErrorText(code);
    return false;
  }
  // This device's own interface: the one at the registered path, or failing that the one of
  // the registered device instance. Another device of the same class is never taken.
  const std::string link = ComparablePath(wanted.path);
  const auto instance = instance_of_link_.find(link);
  const auto same_device = [&](const DeviceInterface& candidate) {
    if (ComparablePath(candidate.path) == link) return true;
    return instance != instance_of_link_.end() && !candidate.instance_id.empty() &&
           Upper(candidate.instance_id) == Upper(instance->second);
  };
  const auto it = std::find_if(present.begin(), present.end(), same_device);
  if (it == present.end()) {
    error.details = "it is not connected or switched off";
    return false;
  }
  return device_.Open(it->path, error.details);
}

TransferResult WindowsUsbBackend::BulkWrite(std::span<const std::byte> bytes, int timeout_ms) {
  return device_.Write(bytes, timeout_ms);
}

TransferResult WindowsUsbBackend::GetDeviceId(std::span<std::byte> buffer, int timeout_ms) {
  return device_.QueryId(buffer, timeout_ms);
}

void WindowsUsbBackend::Close() {
  device_.Close();
}

std::unique_ptr<UsbBackend> MakeSystemUsbBackend() {
  return std::make_unique<WindowsUsbBackend>(MakeSystemWin32DeviceCalls());
}

}  // namespace tavi
