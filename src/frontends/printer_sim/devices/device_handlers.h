// The ioctl handlers behind the emulated nodes (internal to the emulated devices).
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frontends/printer_sim/devices/device_faults.h"
#include "frontends/printer_sim/printer_model.h"

namespace tavi::sim {

// Owns one reference to a umockdev ioctl data block.
class DataRef {
 public:
  DataRef() = default;
  explicit DataRef(UMockdevIoctlData* data) : data_(data) {}
  ~DataRef() { Reset(); }
  DataRef(DataRef&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
  DataRef& operator=(DataRef&& other) noexcept {
    if (this != &other) {
      Reset();
      data_ = other.data_;
      other.data_ = nullptr;
    }
    return *this;
  }
  DataRef(const DataRef&) = delete;
  DataRef& operator=(const DataRef&) = delete;
  UMockdevIoctlData* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }
  void Reset() {
    if (data_ != nullptr) umockdev_ioctl_data_unref(data_);
    data_ = nullptr;
  }

 private:
  UMockdevIoctlData* data_ = nullptr;
};

// The client's memory at the ioctl argument, `size` bytes, loaded; written back on completion.
DataRef Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t size);

// The device ID as the printer sends it: a 2-byte big-endian length (counting itself), then
// the reply text. With `overstated` the length claims 64 bytes more than follow.
std::string DeviceIdBytes(const std::string& reply_text, bool overstated);

// Writes `value` into the file `root` + `path`, creating its folders.
void WriteTestbedFile(const std::string& root, const std::string& path, const std::string& value);

// A USB printer of the family, with its usbdevfs node.
class UsbPrinterDevice {
 public:
  struct DeviceSetup {
    std::uint8_t bus = 1;
    std::uint8_t address = 5;
    std::uint16_t product_id = 0x0102;
    DeviceFault fault = DeviceFault::kNone;  // unplug, stall, hang, no-permission or busy
    bool overstated_id_length = false;
  };
  UsbPrinterDevice(UMockdevTestbed* testbed, PrinterModel& model, DeviceSetup setup);
  ~UsbPrinterDevice();
  UsbPrinterDevice(const UsbPrinterDevice&) = delete;
  UsbPrinterDevice& operator=(const UsbPrinterDevice&) = delete;

 private:
  struct Urb {
    DataRef urb;
    DataRef buffer;
  };
  struct Client {
    std::vector<Urb> flying;  // submitted, not completed
    std::deque<Urb> done;     // completed, not reaped
    bool claimed = false;
    bool gone = false;  // its device was unplugged: every request fails
    std::unique_ptr<ModelSession> session;
    std::int64_t bytes = 0;  // bulk OUT bytes of this open
  };
  static gboolean OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  static void OnDisconnect(GObject* client, GParamSpec* property, gpointer self);
  void Handle(UMockdevIoctlClient* client);
  // Interface 0 taken by `client`: a new model session, as a device channel's open.
  void Claim(UMockdevIoctlClient* client, Client& state);
  void Submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
  void Reap(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
  void Discard(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
  void Control(Urb& urb);
  void BulkOut(Client& state, Urb& urb, bool& completes);
  void Unplug(Client& state);
  void Log(Ev ev);

  std::mutex mutex_;  // the handler runs on umockdev's thread
  UMockdevTestbed* testbed_;
  PrinterModel& model_;
  DeviceSetup setup_;
  std::string node_;
  UMockdevIoctlBase* handler_ = nullptr;
  std::map<UMockdevIoctlClient*, Client> clients_;
  const void* claimed_by_ = nullptr;  // the client holding interface 0
  bool driver_bound_ = true;          // the kernel's printer driver holds interface 0
  bool stalled_once_ = false;
  bool unplugged_once_ = false;
};

// parport0 with its ppdev node and the /proc entries that list it.
class ParallelPortDevice {
 public:
  ParallelPortDevice(UMockdevTestbed* testbed, PrinterModel& model, const DeviceOptions& options);
  ~ParallelPortDevice();
  ParallelPortDevice(const ParallelPortDevice&) = delete;
  ParallelPortDevice& operator=(const ParallelPortDevice&) = delete;

 private:
  struct Client {
    int mode = 0x100;  // compatibility mode
    std::string id;    // device-ID bytes not yet read in the current negotiation
    bool in_id_mode = false;
    std::unique_ptr<ModelSession> session;
  };
  static gboolean OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnRead(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnWrite(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  static void OnDisconnect(GObject* client, GParamSpec* property, gpointer self);
  Client& StateOf(UMockdevIoctlClient* client);
  void HandleIoctl(UMockdevIoctlClient* client);
  void HandleRead(UMockdevIoctlClient* client);
  void HandleWrite(UMockdevIoctlClient* client);

  std::mutex mutex_;  // the handler runs on umockdev's thread
  UMockdevTestbed* testbed_;
  PrinterModel& model_;
  DeviceOptions options_;
  UMockdevIoctlBase* handler_ = nullptr;
  std::map<UMockdevIoctlClient*, Client> clients_;
  const void* claimed_by_ = nullptr;
  unsigned char control_ = 0x0c;
  unsigned char data_ = 0;
};

}  // namespace tavi::sim
