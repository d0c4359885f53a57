// usbdevfs as the kernel answers it for a USB printer of the family, with the printer model
// behind the bulk OUT endpoint and the printer-class GET_DEVICE_ID request.
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "frontends/printer_sim/devices/device_handlers.h"

namespace tavi::sim {
namespace {

constexpr std::uint8_t kBulkOut = 0x01;
constexpr std::size_t kSetupSize = 8;
constexpr std::int64_t kUnplugAfterBytes = 4096;  // the open's second bulk transfer
constexpr const char* kKernelDriver = "usblp";

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, value);
  return text;
}

// Device, configuration, one printer-class interface (bidirectional protocol) with a bulk OUT
// and a bulk IN endpoint of 512 bytes.
std::string Descriptors(std::uint16_t product_id) {
  const unsigned char device[18] = {18,
                                    1,
                                    0x00,
                                    0x02,
                                    0,
                                    0,
                                    0,
                                    64,
                                    0x2a,
                                    0x0e,
                                    static_cast<unsigned char>(product_id & 0xff),
                                    static_cast<unsigned char>(product_id >> 8),
                                    0x00,
                                    0x01,
                                    1,
                                    2,
                                    3,
                                    1};
  const unsigned char rest[32] = {9, 2, 32,   0, 1,    1,    0, 0xc0, 1,  // configuration 1
                                  9, 4, 0,    0, 2,    7,    1, 2,    0,  // interface 0: printer
                                  7, 5, 0x01, 2, 0x00, 0x02, 0,           // bulk OUT
                                  7, 5, 0x81, 2, 0x00, 0x02, 0};          // bulk IN
  std::string hex;
  for (unsigned char b : device) hex += Hex(b, 2);
  for (unsigned char b : rest) hex += Hex(b, 2);
  return hex;
}

void Complete(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

usbdevfs_urb* UrbOf(const DataRef& data) {
  return reinterpret_cast<usbdevfs_urb*>(data.get()->data);
}

}  // namespace

UsbPrinterDevice::UsbPrinterDevice(UMockdevTestbed* testbed, PrinterModel& model, DeviceSetup setup)
    : testbed_(testbed), model_(model), setup_(setup) {
  const std::string bus = Hex(setup.bus, 3);
  std::string address = std::to_string(setup.address);
  while (address.size() < 3) address.insert(0, "0");
  node_ = "/dev/bus/usb/" + bus + "/" + address;
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&UsbPrinterDevice::OnIoctl), this);
  // The handler first, so that the node answers from the moment it exists.
  umockdev_testbed_attach_ioctl(testbed_, node_.c_str(), handler_, nullptr);
  const std::string name = "usb" + std::to_string(setup.bus) + "-" + std::to_string(setup.address);
  const std::string record =
      "P: /devices/pci0000:00/" + name + "\n" + "N: " + node_.substr(5) + "\n" +
      "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n" + "E: BUSNUM=" + bus + "\n" +
      "E: DEVNUM=" + address + "\n" + "E: DEVNAME=" + node_ + "\n" +
      "A: busnum=" + std::to_string(setup.bus) + "\\n\n" +
      "A: devnum=" + std::to_string(setup.address) + "\\n\n" + "A: idVendor=0e2a\\n\n" +
      "A: idProduct=" + Hex(setup.product_id, 4) + "\\n\n" +
      "A: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\nA: speed=480\\n\n" +
      "A: manufacturer=Tavi virtual printer\\n\n" +
      "H: descriptors=" + Descriptors(setup.product_id) + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, record.c_str(), &error)) {
    Log(Ev("usb-device-failed").Str("error", error != nullptr ? error->message : "?"));
    if (error != nullptr) g_error_free(error);
    return;
  }
  if (setup.fault == DeviceFault::kNoPermission) {
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    chmod((std::string(root) + node_).c_str(), 0);
    g_free(root);
  }
  if (setup.fault == DeviceFault::kFirstBusy) {
    claimed_by_ = this;  // another program has it
    driver_bound_ = false;
  }
  Log(Ev("usb-device").Str("id", "0e2a:" + Hex(setup.product_id, 4)));
}

UsbPrinterDevice::~UsbPrinterDevice() {
  std::lock_guard lock(mutex_);
  umockdev_testbed_detach_ioctl(testbed_, node_.c_str(), nullptr);
  for (auto& [client, state] : clients_) {
    g_signal_handlers_disconnect_by_data(client, this);
    g_object_unref(client);
  }
  clients_.clear();
  g_object_unref(handler_);
}

void UsbPrinterDevice::Log(Ev ev) {
  ev.Str("node", node_);
  model_.log().Add(std::move(ev.event));
}

gboolean UsbPrinterDevice::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  static_cast<UsbPrinterDevice*>(self)->Handle(client);
  return TRUE;
}

void UsbPrinterDevice::OnDisconnect(GObject* object, GParamSpec*, gpointer self) {
  auto* device = static_cast<UsbPrinterDevice*>(self);
  auto* client = reinterpret_cast<UMockdevIoctlClient*>(object);
  if (umockdev_ioctl_client_get_connected(client)) return;
  std::lock_guard lock(device->mutex_);
  const auto it = device->clients_.find(client);
  if (it == device->clients_.end()) return;
  // The kernel releases what a closed descriptor held.
  if (device->claimed_by_ == client) {
    device->claimed_by_ = nullptr;
    device->Log(Ev("usb-released").Str("by", "close"));
  }
  device->clients_.erase(it);
  g_signal_handlers_disconnect_by_data(client, device);
  g_object_unref(client);
}

void UsbPrinterDevice::Handle(UMockdevIoctlClient* client) {
  std::lock_guard lock(mutex_);
  if (clients_.find(client) == clients_.end()) {
    g_object_ref(client);
    g_signal_connect(client, "notify::connected", G_CALLBACK(&UsbPrinterDevice::OnDisconnect),
                     this);
  }
  Client& state = clients_[client];
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  if (state.gone) {
    Complete(client, -1, ENODEV);
    return;
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      DataRef caps = Resolve(arg, 0, sizeof(std::uint32_t));
      const std::uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_ZERO_PACKET |
                                  USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
      std::memcpy(caps.get()->data, &value, sizeof value);
      Complete(client, 0, 0);
      return;
    }
    case USBDEVFS_GETDRIVER: {
      DataRef data = Resolve(arg, 0, sizeof(usbdevfs_getdriver));
      auto* query = reinterpret_cast<usbdevfs_getdriver*>(data.get()->data);
      const char* driver = claimed_by_ != nullptr ? "usbfs"
                           : driver_bound_        ? kKernelDriver
                                                  : nullptr;
      if (query->interface != 0 || driver == nullptr) {
        Complete(client, -1, ENODATA);
        return;
      }
      std::snprintf(query->driver, sizeof query->driver, "%s", driver);
      Complete(client, 0, 0);
      return;
    }
    case USBDEVFS_DISCONNECT_CLAIM: {
      DataRef data = Resolve(arg, 0, sizeof(usbdevfs_disconnect_claim));
      const auto* claim = reinterpret_cast<const usbdevfs_disconnect_claim*>(data.get()->data);
      if (claim->interface != 0) {
        Complete(client, -1, EINVAL);
        return;
      }
      if (claimed_by_ != nullptr) {
        // Held through usbfs (the driver name the caller excepts, or another program).
        Complete(client, -1, claimed_by_ == client ? 0 : EBUSY);
        return;
      }
      if (driver_bound_) {
        driver_bound_ = false;
        Log(Ev("usb-driver-detached").Str("driver", kKernelDriver));
      }
      Claim(client, state);
      return;
    }
    case USBDEVFS_CLAIMINTERFACE: {
      DataRef data = Resolve(arg, 0, sizeof(unsigned int));
      unsigned int interface = 0;
      std::memcpy(&interface, data.get()->data, sizeof interface);
      if (interface != 0) {
        Complete(client, -1, ENOENT);
        return;
      }
      if (claimed_by_ == client) {
        Complete(client, 0, 0);
        return;
      }
      if (claimed_by_ != nullptr || driver_bound_) {
        Complete(client, -1, EBUSY);
        return;
      }
      Claim(client, state);
      return;
    }
    case USBDEVFS_RELEASEINTERFACE: {
      if (claimed_by_ != client) {
        Complete(client, -1, EINVAL);
        return;
      }
      claimed_by_ = nullptr;
      state.claimed = false;
      state.session.reset();
      Log(Ev("usb-released"));
      Complete(client, 0, 0);
      return;
    }
    case USBDEVFS_IOCTL: {
      DataRef data = Resolve(arg, 0, sizeof(usbdevfs_ioctl));
      const auto* command = reinterpret_cast<const usbdevfs_ioctl*>(data.get()->data);
      if (command->ifno != 0) {
        Complete(client, -1, EINVAL);
        return;
      }
      if (command->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
        if (claimed_by_ != nullptr || !driver_bound_) {
          Complete(client, -1, ENODATA);
          return;
        }
        driver_bound_ = false;
        Log(Ev("usb-driver-detached").Str("driver", kKernelDriver));
        Complete(client, 0, 0);
        return;
      }
      if (command->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
        if (claimed_by_ == nullptr && !driver_bound_) {
          driver_bound_ = true;
          Log(Ev("usb-driver-attached").Str("driver", kKernelDriver));
        }
        Complete(client, 0, 0);
        return;
      }
      Complete(client, -1, ENOTTY);
      return;
    }
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
      Complete(client, 0, 0);
      return;
    case USBDEVFS_SUBMITURB:
      Submit(client, state, arg);
      return;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      Reap(client, state, arg);
      return;
    case USBDEVFS_DISCARDURB:
      Discard(client, state, arg);
      return;
    default:
      Complete(client, -1, ENOTTY);
      return;
  }
}

void UsbPrinterDevice::Claim(UMockdevIoctlClient* client, Client& state) {
  claimed_by_ = client;
  state.claimed = true;
  state.session = model_.OpenSession("usb");
  state.bytes = 0;
  Log(Ev("usb-claimed"));
  Complete(client, 0, 0);
}

void UsbPrinterDevice::Submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg) {
  Urb urb;
  urb.urb = Resolve(arg, 0, sizeof(usbdevfs_urb));
  usbdevfs_urb* u = UrbOf(urb.urb);
  if (u->buffer_length < 0) {
    Complete(client, -1, EINVAL);
    return;
  }
  urb.buffer = Resolve(urb.urb.get(), offsetof(usbdevfs_urb, buffer),
                       static_cast<std::size_t>(u->buffer_length));
  u->status = 0;
  u->actual_length = 0;
  bool completes = true;
  if (u->type == USBDEVFS_URB_TYPE_CONTROL && u->endpoint == 0) {
    Control(urb);
  } else if (u->type == USBDEVFS_URB_TYPE_BULK && u->endpoint == kBulkOut) {
    if (!state.claimed) {
      Complete(client, -1, EINVAL);  // the kernel: interface not claimed
      return;
    }
    if (setup_.fault == DeviceFault::kUnplug && !unplugged_once_ &&
        state.bytes >= kUnplugAfterBytes) {
      Unplug(state);
      Complete(client, -1, ENODEV);
      return;
    }
    BulkOut(state, urb, completes);
  } else {
    completes = false;  // bulk IN: the printer sends nothing
  }
  if (completes) {
    state.done.push_back(std::move(urb));
  } else {
    state.flying.push_back(std::move(urb));
  }
  Complete(client, 0, 0);
}

void UsbPrinterDevice::Control(Urb& urb) {
  usbdevfs_urb* u = UrbOf(urb.urb);
  const auto* setup = static_cast<const unsigned char*>(u->buffer);
  if (u->buffer_length < static_cast<int>(kSetupSize)) {
    u->status = -EPIPE;
    return;
  }
  const unsigned type = setup[0];
  const unsigned request = setup[1];
  const unsigned value = setup[2] | (setup[3] << 8);
  const unsigned index = setup[4] | (setup[5] << 8);
  const unsigned length = setup[6] | (setup[7] << 8);
  Log(Ev("usb-control")
          .Str("type", "0x" + Hex(type, 2))
          .Num("request", request)
          .Num("value", value)
          .Num("index", index)
          .Num("length", length));
  // Printer class, interface 0 alternate 0, configuration index 0: GET_DEVICE_ID.
  std::string reply;
  if (type != 0xA1 || request != 0 || value != 0 || index != 0 || !model_.ReadReply(reply)) {
    u->status = -EPIPE;  // the device stalls a request it does not know
    return;
  }
  const std::string id = DeviceIdBytes(reply, setup_.overstated_id_length);
  const std::size_t room =
      std::min<std::size_t>(length, static_cast<std::size_t>(u->buffer_length) - kSetupSize);
  const std::size_t count = std::min(room, id.size());
  std::memcpy(static_cast<unsigned char*>(u->buffer) + kSetupSize, id.data(), count);
  u->actual_length = static_cast<int>(count);
  Log(Ev("usb-device-id").Num("bytes", static_cast<std::int64_t>(count)));
}

void UsbPrinterDevice::BulkOut(Client& state, Urb& urb, bool& completes) {
  usbdevfs_urb* u = UrbOf(urb.urb);
  if (setup_.fault == DeviceFault::kHang) {
    completes = false;
    return;
  }
  if (setup_.fault == DeviceFault::kStall && !stalled_once_) {
    stalled_once_ = true;
    u->status = -EPIPE;
    Log(Ev("usb-stall").Num("endpoint", kBulkOut));
    return;
  }
  const auto length = static_cast<std::size_t>(u->buffer_length);
  Log(Ev("usb-bulk-out").Num("bytes", static_cast<std::int64_t>(length)));
  if (state.session) {
    state.session->Write(std::string_view(static_cast<const char*>(u->buffer), length));
  }
  state.bytes += static_cast<std::int64_t>(length);
  u->actual_length = u->buffer_length;
}

void UsbPrinterDevice::Unplug(Client& state) {
  unplugged_once_ = true;
  state.gone = true;
  state.session.reset();
  state.flying.clear();
  state.done.clear();
  // Plugged in again at once: the kernel binds its driver to the new device.
  claimed_by_ = nullptr;
  driver_bound_ = true;
  Log(Ev("usb-unplugged").Num("after_bytes", state.bytes));
}

void UsbPrinterDevice::Reap(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg) {
  if (state.done.empty()) {
    Complete(client, -1, EAGAIN);
    return;
  }
  Urb urb = std::move(state.done.front());
  state.done.pop_front();
  DataRef slot = Resolve(arg, 0, sizeof(void*));
  umockdev_ioctl_data_set_ptr(slot.get(), 0, urb.urb.get());
  Complete(client, 0, 0);
}

void UsbPrinterDevice::Discard(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg) {
  gulong address = 0;
  std::memcpy(&address, arg->data, sizeof address);
  const auto it = std::find_if(state.flying.begin(), state.flying.end(),
                               [&](const Urb& u) { return u.urb.get()->client_addr == address; });
  if (it == state.flying.end()) {
    Complete(client, -1, EINVAL);
    return;
  }
  UrbOf(it->urb)->status = -ENOENT;
  state.done.push_back(std::move(*it));
  state.flying.erase(it);
  Complete(client, 0, 0);
}

}  // namespace tavi::sim
