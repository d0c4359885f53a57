#include "frontends/printer_sim/main/device_run.h"

#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <iostream>

#ifdef TAVI_EMULATED_DEVICES
#include "frontends/printer_sim/devices/emulated_devices.h"
#endif

namespace tavi::sim {
namespace {

volatile sig_atomic_t g_child = 0;

extern "C" void ForwardSignal(int signal) {
  if (g_child > 0) kill(static_cast<pid_t>(g_child), signal);
}

}  // namespace

void AddDeviceRunOptions(CLI::App& app, DeviceRun& run) {
  auto* devices = app.add_option_group(
      "Emulated devices",
      "Instead of serving on the network, start PROGRAM with the virtual printer behind an "
      "emulated USB printer or parallel port (umockdev), reached through the real libusb-1.0 or "
      "libieee1284: tavi-printer-sim --usb -- tavi-cli --port usb report");
  devices->add_flag("--usb", run.usb, "a USB printer of the family on bus 1 at address 5");
  devices->add_option("--pid", run.pid, "its USB product id")
      ->check(CLI::IsMember({"0101", "0102", "0103"}))
      ->capture_default_str();
  devices->add_flag("--parallel", run.parallel, "a parallel port, parport0");
  devices
      ->add_option("--device-fault", run.fault,
                   "none; unplug (during the second bulk transfer of an open, plugged in again "
                   "at once), stall (the first bulk transfer), hang (bulk transfers never "
                   "complete), no-permission (the node may not be opened), absent (no device), "
                   "first-busy or first-no-permission (a second printer behind one that "
                   "another program holds or that may not be opened)")
      ->check(CLI::IsMember({"none", "unplug", "stall", "hang", "no-permission", "absent",
                             "first-busy", "first-no-permission"}))
      ->capture_default_str();
  devices->add_flag("--overstated-id-length", run.overstated_id_length,
                    "the device ID's length field claims more than the ID holds");
  app.add_option("program", run.program, "PROGRAM [ARGS...] to start behind the device (after --)");
}

int RunBehindDevice(VirtualPrinter& printer, const DeviceRun& run) {
#ifdef TAVI_EMULATED_DEVICES
  if (run.usb == run.parallel) {
    std::cerr << "tavi-printer-sim: give exactly one of --usb and --parallel\n";
    return 2;
  }
  if (run.program.empty()) {
    std::cerr << "tavi-printer-sim: name the program to start after --\n";
    return 2;
  }
  DeviceOptions options;
  options.usb_product_id = static_cast<std::uint16_t>(std::stoul(run.pid, nullptr, 16));
  options.fault = *ParseDeviceFault(run.fault);
  options.overstated_id_length = run.overstated_id_length;
  EmulatedDevices devices;
  if (run.usb) {
    devices.AddUsbPrinters(printer.model(), options);
  } else {
    devices.AddParallelPort(printer.model(), options);
  }
  std::signal(SIGINT, ForwardSignal);
  std::signal(SIGTERM, ForwardSignal);
  std::string error;
  const pid_t child = devices.Start(run.program, error);
  if (child < 0) {
    std::cerr << "tavi-printer-sim: " << error << "\n";
    return 1;
  }
  g_child = child;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  g_child = 0;
  printer.model().log().Add(
      Ev("program-ended")
          .Num("status", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status))
          .event);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#else
  (void)printer;
  (void)run;
  std::cerr << "tavi-printer-sim: this build has no emulated devices (umockdev is missing; "
               "scripts/setup installs it)\n";
  return 2;
#endif
}

}  // namespace tavi::sim
