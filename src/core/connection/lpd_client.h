// The network print path: one job on an LPD queue per open, one data file named "x" per write,
// no control file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/net/bounded_text.h"
#include "core/trace/trace.h"
#include "os/socket.h"

namespace tavi {

class ProgressDialog;

inline constexpr std::size_t kLpdLastErrorCapacity = 256;
// Capacity of one acknowledgement receive.
inline constexpr std::size_t kLpdAckSize = 50;

class LpdClient {
 public:
  // `port` 0: the "printer"/"tcp" service port, else 515. Any other value is used as is.
  // `trace` receives the look-up, the connect, every command line, acknowledgement and data file.
  explicit LpdClient(std::uint16_t port = 0, Trace trace = {});
  LpdClient(const LpdClient&) = delete;
  LpdClient& operator=(const LpdClient&) = delete;

  // While a socket call blocks: pump `progress` (stopping at socket notifications), then cancel
  // the call if its cancel flag is set. Null: wait without a cancel source.
  void SetCancelSource(ProgressDialog* progress) { cancel_source_ = progress; }

  // Resolves `host` (a name on a worker thread whose wait Cancel ends), connects and sends the
  // receive-job command for `queue`; 0 when the server acknowledged it with 0x00, else -1 with
  // one line in the last-error text.
  std::int32_t StartJob(std::string_view host, std::string_view queue);
  // Sends `bytes` as one data file: subcommand, ack, data, end-of-data byte, ack. 0 or -1.
  // A server that closes instead of acknowledging the end of data has taken the file.
  std::int32_t SendDataFile(std::span<const std::byte> bytes);

  // Copies at most out.size() - 1 characters of the last-error text and a zero; returns the
  // count copied + 1.
  std::size_t CopyLastErrorText(std::span<char> out) const { return last_error_.CopyTo(out); }
  std::string_view LastErrorText() const { return last_error_.view(); }
  // The last failure: in the technician's words what was tried, where, and the reason, e.g.
  // "connect to 192.0.2.7 port 515 (LPD): Connection refused", with the socket's code when a
  // socket call failed. No message of its own (the channel names it); empty before any failure.
  const Failure& failure() const { return failure_; }
  const std::string& host() const { return host_; }
  // The address the job connects to, once the host was looked up (or was an address).
  bool resolved() const { return resolved_; }
  const NetAddress& address() const { return address_; }

 private:
  bool SocketHook();
  // Appends `format` filled with the name of `code` and the line end.
  void AppendCodeLine(const char* format, SystemCode code);
  void AppendLine(const char* format);
  // Records `what` as the failure's details with `code` (and traces it).
  void Fail(std::string what, SystemCode code = {});
  // The same for a failed socket call: its line (`format`) and its code.
  void FailSocket(const char* format, std::string what);
  // "192.0.2.7 port 515 (LPD)", with the name first when the host was one.
  std::string Where() const;
  // The socket's reason, with the time waited when the wait was cancelled.
  std::string SocketReason(std::int64_t since_ms) const;
  // One receive of at most kLpdAckSize bytes into `buffer`; -1 on a socket error (line added).
  std::int32_t ReceiveAck(std::span<std::byte> buffer, std::string_view step);
  // Waits for an acknowledgement in `buffer`; false (line added) unless its first byte is 0x00.
  // What the receive leaves in place when it brings nothing decides: the command byte refuses,
  // the end-of-data byte accepts.
  bool Acknowledged(std::span<std::byte> buffer, std::string_view step);
  // Sends the first `length` bytes of `buffer` as one command line, then waits for its
  // acknowledgement in the same buffer.
  bool SendCommandLine(std::span<std::byte> buffer, std::size_t length, std::string_view step);

  std::string host_;
  NetAddress address_;  // the address the job connects to
  bool resolved_ = false;
  bool host_is_address_ = false;  // the host was given as an address: no name to show
  std::uint16_t port_ = 0;
  std::int32_t files_ = 0;  // data files begun in this job
  Failure failure_;
  Trace trace_;
  BoundedText last_error_{kLpdLastErrorCapacity};
  ProgressDialog* cancel_source_ = nullptr;
  std::uint16_t port_override_;
  Socket socket_{Socket::Kind::kStream};
};

}  // namespace tavi
