// Fake parallel and USB backends: scripted answers, every call recorded.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "os/device_backends.h"
#include "support/doubles.h"

namespace tavi::test {

inline std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> out;
  for (char c : text) out.push_back(static_cast<std::byte>(c));
  return out;
}

// A device ID as a printer sends it: big-endian length (counting itself), then the text.
inline std::vector<std::byte> DeviceId(std::string_view text) {
  const std::size_t length = text.size() + 2;
  std::vector<std::byte> out{static_cast<std::byte>(length >> 8),
                             static_cast<std::byte>(length & 0xFF)};
  for (char c : text) out.push_back(static_cast<std::byte>(c));
  return out;
}

// What a device does with one transfer attempt. A timed-out attempt advances `clock` by the
// attempt bound, as the real device would block for that long.
struct ScriptedDevice {
  FakeClock* clock = nullptr;
  // Answers attempt number n (0-based) of size `size`; default: everything goes out at once.
  std::function<TransferResult(int n, std::size_t size)> on_write;
  std::vector<std::size_t> write_sizes;  // every attempt's size, in order
  std::string written;                   // the bytes the device accepted, in order
  // Answers read attempt n; default: the device ID `id`.
  std::function<TransferResult(int n)> on_read;
  std::vector<std::byte> id;
  int reads = 0;

  // A channel that never gives up would loop for ever in a test; fail it instead.
  static constexpr int kRunaway = 100000;

  TransferResult Write(std::span<const std::byte> bytes, int timeout_ms) {
    const int n = static_cast<int>(write_sizes.size());
    if (n >= kRunaway) return {TransferResult::Status::kFailed, 0, "runaway"};
    write_sizes.push_back(bytes.size());
    TransferResult r = on_write ? on_write(n, bytes.size())
                                : TransferResult{TransferResult::Status::kDone, bytes.size(), {}};
    for (std::size_t i = 0; i < r.count && i < bytes.size(); ++i) {
      written.push_back(static_cast<char>(bytes[i]));
    }
    if (r.status == TransferResult::Status::kTimedOut && clock != nullptr) clock->Sleep(timeout_ms);
    return r;
  }
  TransferResult Read(std::span<std::byte> buffer, int timeout_ms) {
    const int n = reads++;
    if (n >= kRunaway) return {TransferResult::Status::kFailed, 0, "runaway"};
    if (on_read) {
      TransferResult r = on_read(n);
      if (r.status == TransferResult::Status::kTimedOut && clock != nullptr) {
        clock->Sleep(timeout_ms);
      }
      if (r.status != TransferResult::Status::kDone) return r;
    }
    const std::size_t count = std::min(id.size(), buffer.size());
    std::copy_n(id.begin(), count, buffer.begin());
    return {TransferResult::Status::kDone, count, {}};
  }
};

class FakeParallelBackend : public ParallelBackend {
 public:
  bool ListPorts(std::vector<std::string>& names, Failure& error) override {
    if (!list_error.empty()) {
      error.details = list_error;
      return false;
    }
    names = ports;
    return true;
  }
  bool Open(const std::string& name, Failure& error) override {
    opened.push_back(name);
    if (!open_error.details.empty()) {
      error = open_error;
      return false;
    }
    is_open = true;
    return true;
  }
  TransferResult Write(std::span<const std::byte> bytes, int timeout_ms) override {
    return device.Write(bytes, timeout_ms);
  }
  TransferResult ReadDeviceId(std::span<std::byte> buffer, int timeout_ms) override {
    return device.Read(buffer, timeout_ms);
  }
  void Close() override {
    if (is_open) ++closes;
    is_open = false;
  }

  std::vector<std::string> ports{"parport0"};
  std::string list_error;
  Failure open_error;  // non-empty text: Open fails with it
  ScriptedDevice device;
  std::vector<std::string> opened;
  bool is_open = false;
  int closes = 0;
};

class FakeUsbBackend : public UsbBackend {
 public:
  bool ListDevices(std::vector<UsbDeviceInfo>& out, Failure& error) override {
    ++lists;
    if (!list_error.empty()) {
      error.details = list_error;
      return false;
    }
    out = devices;
    return true;
  }
  bool Open(const UsbDeviceInfo& d, Failure& error) override {
    opened.push_back(d);
    if (!open_error.details.empty()) {
      error = open_error;
      return false;
    }
    is_open = true;
    return true;
  }
  TransferResult BulkWrite(std::span<const std::byte> bytes, int timeout_ms) override {
    return device.Write(bytes, timeout_ms);
  }
  TransferResult GetDeviceId(std::span<std::byte> buffer, int timeout_ms) override {
    return device.Read(buffer, timeout_ms);
  }
  void Close() override {
    if (is_open) ++closes;
    is_open = false;
  }

  std::vector<UsbDeviceInfo> devices;
  std::string list_error;
  Failure open_error;
  ScriptedDevice device;
  std::vector<UsbDeviceInfo> opened;
  bool is_open = false;
  int lists = 0;
  int closes = 0;
};

// Presses Cancel at the first pump once the virtual clock reaches `at_ms`; `pressed_at` records
// when (it stays -1 until then).
inline void PressCancelOnceAt(RecordingProgress& progress, FakeClock& clock, std::int64_t at_ms,
                              std::int64_t& pressed_at) {
  pressed_at = -1;
  progress.on_pump = [&progress, &clock, at_ms, &pressed_at] {
    if (clock.now_ms >= at_ms && pressed_at < 0) {
      pressed_at = clock.now_ms;
      progress.PressCancel();
    }
  };
}

}  // namespace tavi::test
