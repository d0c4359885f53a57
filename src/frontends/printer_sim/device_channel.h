// An in-process stand-in for the parallel port and the USB printer interface: writes go to the
// model, and a reply read returns the reply text as the device-ID query would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/connection/channel.h"
#include "frontends/printer_sim/printer_model.h"

namespace tavi::sim {

class DeviceChannel final : public Channel {
 public:
  // `port_kind` 0 (parallel: replies cut within 512 bytes) or 2 (USB: within 1024 bytes).
  DeviceChannel(PrinterModel& model, std::int32_t port_kind);
  ~DeviceChannel() override;

  bool Open(Failure& failure) override;
  bool Write(std::span<const std::byte> bytes, Failure& failure) override;
  bool ReadReply(std::string& out, Failure& failure) override;
  void Close() override;
  // As the real channel of the same kind names its port and meets a reset.
  std::string PortWords() const override;
  ResetPolicy AfterReset() const override;

  bool is_open() const { return session_ != nullptr; }

 private:
  PrinterModel& model_;
  std::int32_t port_kind_;
  std::size_t reply_limit_;
  std::unique_ptr<ModelSession> session_;
};

// A channel factory for a printer connection: device channels on `model` for port kinds 0 and
// 2, none for the others.
ChannelFactory DeviceChannelFactory(PrinterModel& model);

}  // namespace tavi::sim
