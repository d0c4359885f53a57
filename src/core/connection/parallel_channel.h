// The channel of port kind 0: the first parallel port, written in compatibility mode, replies
// read as fresh device IDs.
#pragma once

#include <memory>
#include <string>

#include "core/connection/channel.h"
#include "os/device_backends.h"

namespace tavi {

class ParallelChannel final : public Channel {
 public:
  ParallelChannel(const ChannelContext& context, std::unique_ptr<ParallelBackend> backend);
  ~ParallelChannel() override;
  ParallelChannel(const ParallelChannel&) = delete;
  ParallelChannel& operator=(const ParallelChannel&) = delete;

  bool Open(Failure& failure) override;
  bool Write(std::span<const std::byte> bytes, Failure& failure) override;
  bool ReadReply(std::string& out, Failure& failure) override;
  void Close() override;
  std::string PortWords() const override { return "parallel port"; }

 private:
  ProgressDialog& progress_;
  const Trace& trace_;
  std::unique_ptr<ParallelBackend> backend_;
  std::string port_;  // the open port's name; empty while closed
};

}  // namespace tavi
