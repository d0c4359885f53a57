// tavi-printer-sim --usb / --parallel -- PROGRAM [ARGS...]: the program runs with the virtual
// printer behind an emulated USB printer or parallel port.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "frontends/printer_sim/virtual_printer.h"

namespace tavi::sim {

struct DeviceRun {
  bool usb = false;
  bool parallel = false;
  std::string pid = "0102";
  std::string fault = "none";
  bool overstated_id_length = false;
  std::vector<std::string> program;

  bool wanted() const { return usb || parallel; }
};

// Adds --usb, --pid, --parallel, --device-fault, --overstated-id-length and the program after
// "--" to `app`.
void AddDeviceRunOptions(CLI::App& app, DeviceRun& run);

// Runs the program behind the emulated device and returns its exit status (128 + signal when
// a signal ended it). `printer` must not run its network servers. SIGINT and SIGTERM reach the
// program.
int RunBehindDevice(VirtualPrinter& printer, const DeviceRun& run);

}  // namespace tavi::sim
