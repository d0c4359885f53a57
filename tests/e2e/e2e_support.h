// A printer connection wired to a virtual printer, for the end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "support/doubles.h"

namespace tavi::test {

// Over the network: a virtual printer with its LPD server and SNMP agent on `address`, and a
// connection on the real channels and the real clock.
struct NetworkRig {
  explicit NetworkRig(const std::string& address, sim::SimOptions options = {}) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.options = std::move(options);
    printer = std::make_unique<sim::VirtualPrinter>(std::move(config));
    std::string error;
    started = printer->Start(error);
    EXPECT_TRUE(started) << error;
    PortSettings settings;
    settings.port = kPortNetwork;
    settings.hosts = {address};
    settings.machine_type = printer->model().Options().family - 1;
    connection = std::make_unique<PrinterConnection>(
        settings, progress, messages, clock,
        DefaultChannelFactory({printer->lpd_port(), printer->snmp_port()}));
  }
  RecordingProgress progress;
  RecordingMessages messages;
  SteadyClock clock;
  std::unique_ptr<sim::VirtualPrinter> printer;
  std::unique_ptr<PrinterConnection> connection;
  bool started = false;
};

// Over a device channel (parallel or USB) of a virtual printer without servers, in virtual time:
// the printer's clock is the connection's clock.
struct DeviceRig {
  explicit DeviceRig(std::int32_t port_kind, sim::SimOptions options = {}) {
    sim::VirtualPrinterConfig config;
    config.lpd = false;
    config.snmp = false;
    config.options = std::move(options);
    config.clock = &clock;
    printer = std::make_unique<sim::VirtualPrinter>(std::move(config));
    std::string error;
    EXPECT_TRUE(printer->Start(error)) << error;
    PortSettings settings;
    settings.port = port_kind;
    settings.machine_type = printer->model().Options().family - 1;
    connection = std::make_unique<PrinterConnection>(settings, progress, messages, clock,
                                                     printer->DeviceChannelFactory());
  }
  RecordingProgress progress;
  RecordingMessages messages;
  FakeClock clock;
  std::unique_ptr<sim::VirtualPrinter> printer;
  std::unique_ptr<PrinterConnection> connection;
};

// A virtual printer with only its SNMP agent, on `address` and `port`, started.
inline std::unique_ptr<sim::VirtualPrinter> StartSnmpPrinter(const std::string& address,
                                                             std::uint16_t port,
                                                             sim::SimOptions options = {}) {
  sim::VirtualPrinterConfig config;
  config.address = address;
  config.lpd = false;
  config.snmp_port = port;
  config.options = std::move(options);
  auto printer = std::make_unique<sim::VirtualPrinter>(std::move(config));
  std::string error;
  EXPECT_TRUE(printer->Start(error)) << address << ": " << error;
  return printer;
}

}  // namespace tavi::test
