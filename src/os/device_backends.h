// The seam between the parallel and USB channels and the device libraries: small interfaces
// that each system's backends (os/posix, os/windows) implement and tests fake.
// Plain standard types only. A device that cannot be listed or opened is a Failure with no
// message of its own: its details in the technician's words, and the system's code when there is
// one (a code that denies access says the device exists but this user may not open it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/failure/failure.h"

namespace tavi {

// The outcome of one bounded transfer attempt.
struct TransferResult {
  enum class Status {
    kDone,      // the attempt finished; `count` bytes moved
    kTimedOut,  // the device stayed busy for the whole attempt; `count` bytes moved before that
    kFailed,    // the device refused or vanished; `count` bytes moved before that
  };
  Status status = Status::kFailed;
  std::size_t count = 0;
  std::string error;  // for kFailed
};

class ParallelBackend {
 public:
  virtual ~ParallelBackend() = default;
  // The parallel ports in the library's order. False, with `error`, when they cannot be listed.
  virtual bool ListPorts(std::vector<std::string>& names, Failure& error) = 0;
  // Opens and claims the port called `name`.
  virtual bool Open(const std::string& name, Failure& error) = 0;
  // One compatibility-mode write attempt that stays inactive at most `timeout_ms`.
  virtual TransferResult Write(std::span<const std::byte> bytes, int timeout_ms) = 0;
  // One fresh (never cached) device-ID read into `buffer`: the ID with its 2-byte length in
  // front, as much as fits. `count` is the number of bytes filled.
  virtual TransferResult ReadDeviceId(std::span<std::byte> buffer, int timeout_ms) = 0;
  // Releases and closes the port if it is open.
  virtual void Close() = 0;
};

struct UsbDeviceInfo {
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  // Where the system names the device when bus and address do not (Windows: the path of its
  // registered printer interface); empty otherwise.
  std::string path{};
};

class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  // Every USB device on the system. False, with `error`, when the bus cannot be walked.
  virtual bool ListDevices(std::vector<UsbDeviceInfo>& devices, Failure& error) = 0;
  // Opens this very device and claims its printer-class interface, detaching a kernel driver
  // while the interface is held.
  virtual bool Open(const UsbDeviceInfo& device, Failure& error) = 0;
  // One bulk OUT transfer attempt of the given bytes, bounded by `timeout_ms`.
  virtual TransferResult BulkWrite(std::span<const std::byte> bytes, int timeout_ms) = 0;
  // One printer-class GET_DEVICE_ID request into `buffer`, bounded by `timeout_ms`.
  virtual TransferResult GetDeviceId(std::span<std::byte> buffer, int timeout_ms) = 0;
  // Releases the interface (the kernel driver comes back) and closes the device, if open.
  virtual void Close() = 0;
};

// The backends of this machine (on POSIX: libieee1284, libusb-1.0).
std::unique_ptr<ParallelBackend> MakeSystemParallelBackend();
std::unique_ptr<UsbBackend> MakeSystemUsbBackend();

}  // namespace tavi
