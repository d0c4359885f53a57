// The virtual printer behind emulated kernel devices: a umockdev testbed with a USB printer of
// the family (/dev/bus/usb/...) or a parallel port (/dev/parport0 and its /proc entries) whose
// requests are answered from the printer model. A program started through Start() runs under
// umockdev's preload library and reaches them through the real libusb-1.0 and libieee1284.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "frontends/printer_sim/devices/device_faults.h"
#include "frontends/printer_sim/printer_model.h"

namespace tavi::sim {

class UsbPrinterDevice;
class ParallelPortDevice;

class EmulatedDevices {
 public:
  // Creates an empty testbed. Sets UMOCKDEV_DIR in this process's environment (umockdev's
  // way), so only one may exist at a time.
  EmulatedDevices();
  ~EmulatedDevices();
  EmulatedDevices(const EmulatedDevices&) = delete;
  EmulatedDevices& operator=(const EmulatedDevices&) = delete;

  // The USB printers of `options` (one on bus 1 at address 5; a second one at address 6 for
  // the first-* faults; none for "absent"), answered from `model`.
  void AddUsbPrinters(PrinterModel& model, const DeviceOptions& options);
  // parport0, answered from `model` (nothing for "absent").
  void AddParallelPort(PrinterModel& model, const DeviceOptions& options);

  // Starts `argv` (argv[0] looked up in PATH) under the preload library so that it sees the
  // devices. It may not reach real I/O ports, and with a no-permission fault it may not
  // override file permissions even as root. Returns its process id, or -1 with `error`.
  pid_t Start(const std::vector<std::string>& argv, std::string& error);

  std::string root() const;

 private:
  struct Testbed;
  std::unique_ptr<Testbed> testbed_;
  std::vector<std::unique_ptr<UsbPrinterDevice>> usb_;
  std::unique_ptr<ParallelPortDevice> parallel_;
  bool deny_file_override_ = false;
};

}  // namespace tavi::sim
