#include "frontends/printer_sim/virtual_printer.h"

#include "core/settings/port_settings.h"
#include "frontends/printer_sim/device_channel.h"

namespace tavi::sim {

VirtualPrinter::VirtualPrinter(VirtualPrinterConfig config)
    : config_(std::move(config)),
      model_(config_.options, config_.clock ? *config_.clock : real_clock_),
      lpd_(model_, real_clock_),
      snmp_(model_) {}

VirtualPrinter::~VirtualPrinter() {
  Stop();
}

bool VirtualPrinter::Start(std::string& error) {
  if (config_.lpd && !lpd_.Start(config_.address, config_.lpd_port, error)) return false;
  if (config_.snmp && !snmp_.Start(config_.address, config_.snmp_port, error)) {
    lpd_.Stop();
    return false;
  }
  return true;
}

void VirtualPrinter::Stop() {
  lpd_.Stop();
  snmp_.Stop();
  model_.log().Flush();
}

std::unique_ptr<Channel> VirtualPrinter::MakeDeviceChannel(std::int32_t port_kind) {
  if (port_kind != kPortParallel && port_kind != kPortUsb) return nullptr;
  return std::make_unique<DeviceChannel>(model_, port_kind);
}

ChannelFactory VirtualPrinter::DeviceChannelFactory() {
  return sim::DeviceChannelFactory(model_);
}

}  // namespace tavi::sim
