#include "core/connection/lpd_client.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "os/error_names.h"
#include "os/name_lookup.h"

namespace tavi {
namespace {

constexpr std::byte kReceiveJob{0x02};
constexpr std::byte kReceiveDataFile{0x03};
constexpr std::byte kLineFeed{0x0A};
constexpr std::byte kAccepted{0x00};
constexpr std::string_view kDataFileName = " x";

// Buffer of the receive-job command, which then takes its acknowledgement.
constexpr std::size_t kCommandBufferSize = 64;

}  // namespace

LpdClient::LpdClient(std::uint16_t port, Trace trace) : trace_(trace), port_override_(port) {
  socket_.SetPendingHook([this] { return SocketHook(); });
}

bool LpdClient::SocketHook() {
  if (cancel_source_ == nullptr) return true;
  cancel_source_->PumpMessages(true);
  if (!cancel_source_->IsCancelled()) return true;
  trace_.Event("lpd", "Cancel pressed: the pending socket call ends");
  return false;
}

void LpdClient::AppendCodeLine(const char* format, SystemCode code) {
  last_error_.AppendF(format, ErrorName(code).data(), kLineEnd);
}

void LpdClient::AppendLine(const char* format) {
  last_error_.AppendF(format, kLineEnd);
}

void LpdClient::Fail(std::string what, SystemCode code) {
  failure_ = {0, std::move(what), code};
  trace_.Event("lpd", "failed: " + failure_.details);
}

void LpdClient::FailSocket(const char* format, std::string what) {
  const SystemCode code = socket_.LastFailure().code;
  AppendCodeLine(format, code);
  Fail(std::move(what), code);
}

std::string LpdClient::Where() const {
  const std::string address = BracketedAddress(address_);
  const std::string where = host_is_address_ ? address : host_ + " (" + address + ")";
  return where + " port " + std::to_string(port_) + " (LPD)";
}

std::string LpdClient::SocketReason(std::int64_t since_ms) const {
  if (socket_.WasCancelled()) {
    return "cancelled after " + std::to_string(SteadyMs() - since_ms) + " ms";
  }
  return socket_.LastFailure().details;
}

std::int32_t LpdClient::ReceiveAck(std::span<std::byte> buffer, std::string_view step) {
  const std::int64_t since = SteadyMs();
  const std::int32_t n = socket_.Receive(buffer.first(kLpdAckSize));
  if (n < 0) {
    FailSocket(kLineRecv, "no acknowledgement of " + std::string(step) + " from " + Where() + ": " +
                              SocketReason(since));
  } else if (trace_.on()) {
    trace_.Event("lpd", n == 0 ? "ack: none, the server closed the connection"
                               : "ack " + HexBytes(buffer.first(static_cast<std::size_t>(n)), 8));
  }
  return n;
}

std::int32_t LpdClient::StartJob(std::string_view host, std::string_view queue) {
  host_ = std::string(host);
  if (NetAddress numeric; !ParseNumericAddress(host_, numeric) && trace_.on()) {
    trace_.Event("net", "look up '" + host_ + "'");
  }
  HostLookup lookup = LookUpHost(host_, [this] { return SocketHook(); });
  if (!lookup.numeric && trace_.on()) {
    trace_.Event("net", "'" + host_ + "' " +
                            (lookup.ok ? "is " + FormatAddress(lookup.address) : "not resolved") +
                            " (look-up " + std::to_string(lookup.elapsed_ms) + " ms)");
  }
  if (!lookup.ok) {
    AppendCodeLine(kLineGethostbyname, lookup.failure.code);
    Fail(std::move(lookup.failure.details), lookup.failure.code);
    return -1;
  }
  address_ = lookup.address;
  resolved_ = true;
  host_is_address_ = lookup.numeric;
  port_ = port_override_ != 0 ? port_override_ : ServicePort("printer", "tcp", kDefaultLpdPort);
  if (trace_.on()) trace_.Event("lpd", "connect to " + Where());
  const std::int64_t since = SteadyMs();
  if (!socket_.Connect(address_, port_)) {
    FailSocket(kLineConnect, "connect to " + Where() + ": " + SocketReason(since));
    return -1;
  }
  trace_.Event("lpd", "connected");

  std::array<std::byte, kCommandBufferSize> buffer{};
  if (queue.size() + 2 > buffer.size()) {  // the command could not be sent whole
    AppendLine(kLineSendCommunication);
    Fail("the queue name '" + std::string(queue) + "' is too long for a job command");
    return -1;
  }
  std::size_t length = 0;
  buffer[length++] = kReceiveJob;
  for (char c : queue) buffer[length++] = static_cast<std::byte>(c);
  buffer[length++] = kLineFeed;
  // An empty receive leaves the command byte in place: a refusal.
  const std::string step = "the job for queue '" + std::string(queue) + "'";
  return SendCommandLine(buffer, length, step) ? 0 : -1;
}

std::int32_t LpdClient::SendDataFile(std::span<const std::byte> bytes) {
  ++files_;
  const std::string step = "data file " + std::to_string(files_);
  // 0x03, the length in decimal, " x", 0x0A; the same buffer then takes both acknowledgements.
  std::array<std::byte, kCommandBufferSize> buffer{};
  std::array<char, 24> digits{};
  const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), bytes.size());
  std::size_t length = 0;
  buffer[length++] = kReceiveDataFile;
  for (const char* p = digits.data(); p != end; ++p) buffer[length++] = static_cast<std::byte>(*p);
  for (char c : kDataFileName) buffer[length++] = static_cast<std::byte>(c);
  buffer[length++] = kLineFeed;
  // An empty receive leaves 0x03 in place: a refusal.
  if (!SendCommandLine(buffer, length, step)) return -1;

  const std::int64_t since = SteadyMs();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::int32_t n = socket_.Send(bytes.subspan(done));
    if (n < 0) {
      FailSocket(kLineSend, "send the " + std::to_string(bytes.size()) + " bytes of " + step +
                                " to " + Where() + ": " + SocketReason(since) + " after " +
                                std::to_string(done) + " bytes");
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  if (trace_.on()) trace_.Event("lpd", step + ": " + std::to_string(done) + " bytes sent");

  buffer[0] = kAccepted;  // the end-of-data byte
  if (socket_.Send(std::span(buffer).first(1)) < 0) {
    FailSocket(kLineSend,
               "send the end of " + step + " to " + Where() + ": " + SocketReason(since));
    return -1;
  }
  trace_.Event("lpd", "end of data: 00");
  // An empty receive (the server closed) leaves the 0x00 in place: the file was taken.
  return Acknowledged(buffer, "the end of " + step) ? 0 : -1;
}

bool LpdClient::Acknowledged(std::span<std::byte> buffer, std::string_view step) {
  const std::int32_t n = ReceiveAck(buffer, step);
  if (n < 0) return false;
  if (buffer[0] != kAccepted) {
    AppendLine(kLineLpdCommunication);
    std::array<char, 8> answer{};
    std::snprintf(answer.data(), answer.size(), "%02x", static_cast<unsigned>(buffer[0]));
    Fail(Where() + " refused " + std::string(step) + " (" +
         (n == 0 ? std::string("it closed the connection instead of answering")
                 : "it answered " + std::string(answer.data()) + " instead of 00") +
         ")");
    return false;
  }
  return true;
}

bool LpdClient::SendCommandLine(std::span<std::byte> buffer, std::size_t length,
                                std::string_view step) {
  if (trace_.on()) {
    trace_.Event("lpd", std::string(step) + ": send " + HexBytes(buffer.first(length), length));
  }
  const std::int64_t since = SteadyMs();
  const std::int32_t sent = socket_.Send(buffer.first(length));
  if (sent < 0) {
    FailSocket(kLineSend,
               "send " + std::string(step) + " to " + Where() + ": " + SocketReason(since));
    return false;
  }
  if (static_cast<std::size_t>(sent) < length) {
    AppendLine(kLineSendCommunication);
    Fail("send " + std::string(step) + " to " + Where() + ": only " + std::to_string(sent) +
         " of " + std::to_string(length) + " bytes went out");
    return false;
  }
  return Acknowledged(buffer, step);
}

}  // namespace tavi
