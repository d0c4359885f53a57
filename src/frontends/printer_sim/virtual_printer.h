// A whole virtual printer for tests and demos: the model, an LPD server and an SNMP agent on one
// address, and in-process device channels for the parallel and USB port kinds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/connection/channel.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/lpd_server.h"
#include "frontends/printer_sim/printer_model.h"
#include "frontends/printer_sim/sim_options.h"
#include "frontends/printer_sim/snmp_agent.h"

namespace tavi::sim {

struct VirtualPrinterConfig {
  std::string address = "127.0.0.1";
  std::uint16_t lpd_port = 0;   // 0: ephemeral
  std::uint16_t snmp_port = 0;  // 0: ephemeral
  bool lpd = true;              // start the LPD server
  bool snmp = true;             // start the SNMP agent
  SimOptions options;
  // The model's clock (reply delay, restart time). Null: real time. The servers always use
  // real time for their own waits.
  Clock* clock = nullptr;
};

class VirtualPrinter {
 public:
  explicit VirtualPrinter(VirtualPrinterConfig config = {});
  ~VirtualPrinter();  // stops
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  // Starts the servers; on failure `error` says why and nothing stays running.
  bool Start(std::string& error);
  // Stops both servers and joins their threads. Safe to call twice.
  void Stop();

  const std::string& address() const { return config_.address; }
  std::uint16_t lpd_port() const { return lpd_.port(); }
  std::uint16_t snmp_port() const { return snmp_.port(); }
  PrinterModel& model() { return model_; }
  LpdServer& lpd() { return lpd_; }

  // A device channel on this printer for port kind 0 (parallel) or 2 (USB); null otherwise.
  std::unique_ptr<Channel> MakeDeviceChannel(std::int32_t port_kind);
  // For a printer connection: device channels for kinds 0 and 2 (kind 1 is the network: use
  // the real channel factory with lpd_port() and snmp_port()).
  ChannelFactory DeviceChannelFactory();

 private:
  VirtualPrinterConfig config_;
  SteadyClock real_clock_;
  PrinterModel model_;
  LpdServer lpd_;
  SnmpAgent snmp_;
};

}  // namespace tavi::sim
