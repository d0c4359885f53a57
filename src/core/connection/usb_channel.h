// The channel of port kind 2: the first USB printer of this family, found afresh whenever the
// device is closed and an operation needs it.
#pragma once

#include <memory>
#include <string>

#include "core/connection/channel.h"
#include "os/device_backends.h"

namespace tavi {

class UsbChannel final : public Channel {
 public:
  UsbChannel(const ChannelContext& context, std::unique_ptr<UsbBackend> backend);
  ~UsbChannel() override;
  UsbChannel(const UsbChannel&) = delete;
  UsbChannel& operator=(const UsbChannel&) = delete;

  // Finds and opens the device unless it is open already.
  bool Open(Failure& failure) override;
  // Each of these opens the device first if an earlier failure closed it. A failed or
  // cancelled transfer closes the device.
  bool Write(std::span<const std::byte> bytes, Failure& failure) override;
  bool ReadReply(std::string& out, Failure& failure) override;
  void Close() override;
  std::string PortWords() const override { return "USB"; }
  // The printer leaves the bus while it restarts: the device is found and opened again.
  ResetPolicy AfterReset() const override { return ResetPolicy::kReopen; }

  bool is_open() const { return open_; }

 private:
  // Runs discovery and opens the device that decides; `details` says why not.
  bool EnsureOpen(std::string& details);

  ProgressDialog& progress_;
  const Trace& trace_;
  std::unique_ptr<UsbBackend> backend_;
  bool open_ = false;
  std::string device_;  // the open device, in words ("USB\VID_0E2A&PID_0101 on bus 1 ...")
};

}  // namespace tavi
