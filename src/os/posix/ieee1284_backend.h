// Parallel ports through libieee1284: port list, open and claim, compatibility-mode writes and
// fresh device-ID reads, each bounded by the library's inactivity timeout.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "os/device_backends.h"

struct parport;
struct parport_list;

namespace tavi {

class Ieee1284Backend final : public ParallelBackend {
 public:
  Ieee1284Backend();
  ~Ieee1284Backend() override;
  Ieee1284Backend(const Ieee1284Backend&) = delete;
  Ieee1284Backend& operator=(const Ieee1284Backend&) = delete;

  bool ListPorts(std::vector<std::string>& names, Failure& error) override;
  bool Open(const std::string& name, Failure& error) override;
  TransferResult Write(std::span<const std::byte> bytes, int timeout_ms) override;
  TransferResult ReadDeviceId(std::span<std::byte> buffer, int timeout_ms) override;
  void Close() override;

 private:
  // Lists the ports afresh unless one of them is open (its entry must stay alive).
  bool Refresh(Failure& error);
  void FreeList();
  void SetTimeout(int timeout_ms);

  std::unique_ptr<parport_list> list_;
  bool have_list_ = false;
  parport* port_ = nullptr;  // the open, claimed port; null when none
};

}  // namespace tavi
