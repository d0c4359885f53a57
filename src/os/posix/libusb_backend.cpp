#include "os/posix/libusb_backend.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <string>

#include "core/resources/constants.h"

namespace tavi {
namespace {

std::string UsbErrorText(int code) {
  return std::string(libusb_strerror(code)) + " (" + libusb_error_name(code) + ")";
}

// The library's codes are its own; the one that says this user may not open the device is the
// system's EACCES, and the others carry no system code.
SystemCode AccessCode(int code) {
  return code == LIBUSB_ERROR_ACCESS ? SystemCode::Errno(EACCES) : SystemCode{};
}

struct DeviceListDeleter {
  void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceList = std::unique_ptr<libusb_device*, DeviceListDeleter>;

struct ConfigDeleter {
  void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using ConfigPtr = std::unique_ptr<libusb_config_descriptor, ConfigDeleter>;

// Where GET_DEVICE_ID and the bulk writes go on one device.
struct PrinterInterface {
  std::uint8_t config_index = 0;
  std::uint8_t interface_number = 0;
  std::uint8_t alt_setting = 0;
  std::uint8_t out_endpoint = 0;
};

// The first alternate setting of class 7 with a bulk OUT endpoint in the configuration whose
// value is `config_value`.
bool FindPrinterInterface(libusb_device* device, int config_value, PrinterInterface& found) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return false;
  for (std::uint8_t index = 0; index < descriptor.bNumConfigurations; ++index) {
    libusb_config_descriptor* raw = nullptr;
    if (libusb_get_config_descriptor(device, index, &raw) != LIBUSB_SUCCESS) continue;
    const ConfigPtr config(raw);
    if (config->bConfigurationValue != config_value) continue;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
      const libusb_interface& iface = config->interface[i];
      for (int a = 0; a < iface.num_altsetting; ++a) {
        const libusb_interface_descriptor& alt = iface.altsetting[a];
        if (alt.bInterfaceClass != kUsbPrinterClass) continue;
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
          const libusb_endpoint_descriptor& ep = alt.endpoint[e];
          const bool bulk =
              (ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
          const bool out = (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_OUT;
          if (bulk && out) {
            found = {index, alt.bInterfaceNumber, alt.bAlternateSetting, ep.bEndpointAddress};
            return true;
          }
        }
      }
    }
  }
  return false;
}

}  // namespace

LibusbBackend::LibusbBackend() {
  init_result_ = libusb_init(&context_);
}

LibusbBackend::~LibusbBackend() {
  Close();
  if (init_result_ == LIBUSB_SUCCESS) libusb_exit(context_);
}

bool LibusbBackend::ListDevices(std::vector<UsbDeviceInfo>& devices, Failure& error) {
  devices.clear();
  if (init_result_ != LIBUSB_SUCCESS) {
    error = {0, "USB is not available on this system: " + UsbErrorText(init_result_)};
    return false;
  }
  libusb_device** raw = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &raw);
  if (count < 0) {
    error = {0, UsbErrorText(static_cast<int>(count))};
    return false;
  }
  const DeviceList list(raw);
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(raw[i], &descriptor) != LIBUSB_SUCCESS) continue;
    devices.push_back({libusb_get_bus_number(raw[i]), libusb_get_device_address(raw[i]),
                       descriptor.idVendor, descriptor.idProduct});
  }
  return true;
}

bool LibusbBackend::Open(const UsbDeviceInfo& wanted, Failure& error) {
  Close();
  error = {};
  if (init_result_ != LIBUSB_SUCCESS) {
    error.details = "USB is not available on this system: " + UsbErrorText(init_result_);
    return false;
  }
  libusb_device** raw = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &raw);
  if (count < 0) {
    error.details = UsbErrorText(static_cast<int>(count));
    return false;
  }
  const DeviceList list(raw);
  libusb_device* device = nullptr;
  for (ssize_t i = 0; i < count && device == nullptr; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_bus_number(raw[i]) == wanted.bus &&
        libusb_get_device_address(raw[i]) == wanted.address &&
        libusb_get_device_descriptor(raw[i], &descriptor) == LIBUSB_SUCCESS &&
        descriptor.idVendor == wanted.vendor_id && descriptor.idProduct == wanted.product_id) {
      device = raw[i];
    }
  }
  if (device == nullptr) {
    error.details = "the device is gone";
    return false;
  }
  libusb_device_handle* handle = nullptr;
  int rc = libusb_open(device, &handle);
  if (rc != LIBUSB_SUCCESS) {
    error.code = AccessCode(rc);
    error.details = UsbErrorText(rc);
    return false;
  }
  int config_value = 0;
  rc = libusb_get_configuration(handle, &config_value);
  PrinterInterface printer;
  if (rc != LIBUSB_SUCCESS || !FindPrinterInterface(device, config_value, printer)) {
    libusb_close(handle);
    error.details = rc != LIBUSB_SUCCESS ? UsbErrorText(rc) : "it has no printer interface";
    return false;
  }
  // The kernel's printer driver lets go while we hold the interface and gets it back on
  // release. Where that is not supported, claiming simply fails if a driver holds it.
  libusb_set_auto_detach_kernel_driver(handle, 1);
  rc = libusb_claim_interface(handle, printer.interface_number);
  if (rc == LIBUSB_SUCCESS && printer.alt_setting != 0) {
    rc = libusb_set_interface_alt_setting(handle, printer.interface_number, printer.alt_setting);
    if (rc != LIBUSB_SUCCESS) libusb_release_interface(handle, printer.interface_number);
  }
  if (rc != LIBUSB_SUCCESS) {
    libusb_close(handle);
    error.code = AccessCode(rc);
    error.details =
        rc == LIBUSB_ERROR_BUSY
            ? "the printer interface is in use by another program (" + UsbErrorText(rc) + ")"
            : UsbErrorText(rc);
    return false;
  }
  handle_ = handle;
  interface_ = printer.interface_number;
  out_endpoint_ = printer.out_endpoint;
  request_value_ = printer.config_index;
  request_index_ =
      static_cast<std::uint16_t>((printer.interface_number << 8) | printer.alt_setting);
  return true;
}

TransferResult LibusbBackend::BulkWrite(std::span<const std::byte> bytes, int timeout_ms) {
  if (handle_ == nullptr) return {TransferResult::Status::kFailed, 0, "the device is not open"};
  const int length = static_cast<int>(std::min<std::size_t>(
      bytes.size(), static_cast<std::size_t>(std::numeric_limits<int>::max())));
  int transferred = 0;
  // libusb takes a non-const pointer for both directions; an OUT transfer only reads it.
  auto* data = const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(bytes.data()));
  const int rc = libusb_bulk_transfer(handle_, out_endpoint_, data, length, &transferred,
                                      static_cast<unsigned>(timeout_ms));
  const std::size_t moved = transferred > 0 ? static_cast<std::size_t>(transferred) : 0;
  if (rc == LIBUSB_SUCCESS) return {TransferResult::Status::kDone, moved, {}};
  if (rc == LIBUSB_ERROR_TIMEOUT) return {TransferResult::Status::kTimedOut, moved, {}};
  return {TransferResult::Status::kFailed, moved, UsbErrorText(rc)};
}

TransferResult LibusbBackend::GetDeviceId(std::span<std::byte> buffer, int timeout_ms) {
  if (handle_ == nullptr) return {TransferResult::Status::kFailed, 0, "the device is not open"};
  const auto length = static_cast<std::uint16_t>(
      std::min<std::size_t>(buffer.size(), std::numeric_limits<std::uint16_t>::max()));
  constexpr std::uint8_t kRequestType = 0xA1;  // class request, interface, device to host
  constexpr std::uint8_t kGetDeviceId = 0;
  const int rc = libusb_control_transfer(
      handle_, kRequestType, kGetDeviceId, request_value_, request_index_,
      reinterpret_cast<unsigned char*>(buffer.data()), length, static_cast<unsigned>(timeout_ms));
  if (rc >= 0) return {TransferResult::Status::kDone, static_cast<std::size_t>(rc), {}};
  if (rc == LIBUSB_ERROR_TIMEOUT) return {TransferResult::Status::kTimedOut, 0, {}};
  return {TransferResult::Status::kFailed, 0, UsbErrorText(rc)};
}

void LibusbBackend::Close() {
  if (handle_ == nullptr) return;
  if (interface_ >= 0) libusb_release_interface(handle_, interface_);
  libusb_close(handle_);
  handle_ = nullptr;
  interface_ = -1;
}

std::unique_ptr<UsbBackend> MakeSystemUsbBackend() {
  return std::make_unique<LibusbBackend>();
}

}  // namespace tavi
