// USB devices through libusb-1.0: bus walk, the printer interface of one device, bulk writes
// and the printer-class GET_DEVICE_ID request.
#pragma once

#include <cstdint>
#include <vector>

#include "os/device_backends.h"

struct libusb_context;
struct libusb_device_handle;

namespace tavi {

class LibusbBackend final : public UsbBackend {
 public:
  LibusbBackend();
  ~LibusbBackend() override;
  LibusbBackend(const LibusbBackend&) = delete;
  LibusbBackend& operator=(const LibusbBackend&) = delete;

  bool ListDevices(std::vector<UsbDeviceInfo>& devices, Failure& error) override;
  bool Open(const UsbDeviceInfo& device, Failure& error) override;
  TransferResult BulkWrite(std::span<const std::byte> bytes, int timeout_ms) override;
  TransferResult GetDeviceId(std::span<std::byte> buffer, int timeout_ms) override;
  void Close() override;

 private:
  libusb_context* context_ = nullptr;
  int init_result_ = 0;
  libusb_device_handle* handle_ = nullptr;
  int interface_ = -1;  // claimed interface number, -1 when none
  std::uint8_t out_endpoint_ = 0;
  std::uint16_t request_value_ = 0;  // configuration index
  std::uint16_t request_index_ = 0;  // (interface << 8) | alternate setting
};

}  // namespace tavi
