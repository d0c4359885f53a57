// tavi-cli (or any program) run behind an emulated USB printer or parallel port whose requests
// the virtual printer's model answers; the program reaches it through the real libusb-1.0 and
// libieee1284 under umockdev's preload library.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_runner.h"
#include "frontends/printer_sim/devices/emulated_devices.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi::test {

struct DeviceCliRun {
  int status = -1;
  std::string out;
  std::string err;
  double seconds_after_interrupt = -1;  // from the SIGINT to the end, when one was sent
};

enum class Port { kUsb, kParallel };

class DeviceRig {
 public:
  explicit DeviceRig(Port port, sim::DeviceOptions options = {}, sim::SimOptions sim = {})
      : port_(port) {
    sim::VirtualPrinterConfig config;
    config.lpd = false;
    config.snmp = false;
    sim.reply_delay_ms = 20;  // real time here: keep the runs short
    config.options = std::move(sim);
    printer_ = std::make_unique<sim::VirtualPrinter>(std::move(config));
    std::string error;
    EXPECT_TRUE(printer_->Start(error)) << error;
    devices_ = std::make_unique<sim::EmulatedDevices>();
    if (port == Port::kUsb) {
      devices_->AddUsbPrinters(printer_->model(), options);
    } else {
      devices_->AddParallelPort(printer_->model(), options);
    }
    WriteAll(dir_ / "empty.ini", "");
  }
  ~DeviceRig() {
    devices_.reset();
    printer_->Stop();
  }

  // `tavi-cli -q --settings <empty> --port usb|parallel <args>` behind the device (args already
  // quoted for the shell). With `interrupt_after` > 0 it gets one SIGINT after that many
  // seconds.
  DeviceCliRun Cli(const std::string& args, double interrupt_after = 0) {
    const std::string command = "exec " + Quote(CliBinary()) + " -q --settings " +
                                Quote(dir_ / "empty.ini") + " --port " +
                                (port_ == Port::kUsb ? "usb " : "parallel ") + args + " >" +
                                Quote(dir_ / "out") + " 2>" + Quote(dir_ / "err");
    std::string error;
    const pid_t pid = devices_->Start({"/bin/sh", "-c", command}, error);
    DeviceCliRun run;
    if (pid < 0) {
      ADD_FAILURE() << error;
      return run;
    }
    std::chrono::steady_clock::time_point interrupted;
    if (interrupt_after > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(interrupt_after));
      interrupted = std::chrono::steady_clock::now();
      kill(pid, SIGINT);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (interrupt_after > 0) {
      run.seconds_after_interrupt =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - interrupted).count();
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadAll(dir_ / "out");
    run.err = ReadAll(dir_ / "err");
    return run;
  }

  sim::PrinterModel& model() { return printer_->model(); }
  std::vector<sim::Event> Events(std::string_view kind) { return model().log().OfKind(kind); }
  const TempDir& dir() const { return dir_; }

 private:
  Port port_;
  TempDir dir_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::unique_ptr<sim::EmulatedDevices> devices_;
};

}  // namespace tavi::test
