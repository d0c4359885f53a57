#include "connection/lpd_client.h"

#include <array>
#include <charconv>

#include "platform/error_names.h"
#include "platform/seams.h"
#include "resources/constants.h"

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

LpdClient::LpdClient(std::uint16_t port) : port_override_(port) {
  socket_.SetPendingHook([this] { return SocketHook(); });
}

bool LpdClient::SocketHook() {
  if (cancel_source_ == nullptr) return true;
  cancel_source_->PumpMessages(true);
  return !cancel_source_->IsCancelled();
}

void LpdClient::AppendSocketLine(const char* format) {
  last_error_.AppendF(format, WsaErrorName(socket_.LastError()).data(), kLineEnd);
}

void LpdClient::AppendLine(const char* format) {
  last_error_.AppendF(format, kLineEnd);
}

std::int32_t LpdClient::ReceiveAck(std::span<std::byte> buffer) {
  const std::int32_t n = socket_.Receive(buffer.first(kLpdAckSize));
  if (n < 0) AppendSocketLine(kLineRecv);
  return n;
}

std::int32_t LpdClient::StartJob(std::string_view host, std::string_view queue) {
  host_ = std::string(host);
  Ipv4 address;
  int resolve_error = 0;
  if (!ResolveHost(host_, address, resolve_error)) {
    last_error_.AppendF(kLineGethostbyname, WsaErrorName(resolve_error).data(), kLineEnd);
    return -1;
  }
  const std::uint16_t port =
      port_override_ != 0 ? port_override_ : ServicePort("printer", "tcp", kDefaultLpdPort);
  if (!socket_.Connect(address, port)) {
    AppendSocketLine(kLineConnect);
    return -1;
  }

  std::array<std::byte, kCommandBufferSize> buffer{};
  if (queue.size() + 2 > buffer.size()) {  // the command could not be sent whole
    AppendLine(kLineSendCommunication);
    return -1;
  }
  std::size_t length = 0;
  buffer[length++] = kReceiveJob;
  for (char c : queue) buffer[length++] = static_cast<std::byte>(c);
  buffer[length++] = kLineFeed;
  // An empty receive leaves the command byte in place: a refusal.
  return SendCommandLine(buffer, length) ? 0 : -1;
}

std::int32_t LpdClient::SendDataFile(std::span<const std::byte> bytes) {
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
  if (!SendCommandLine(buffer, length)) return -1;

  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::int32_t n = socket_.Send(bytes.subspan(done));
    if (n < 0) {
      AppendSocketLine(kLineSend);
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }

  buffer[0] = kAccepted;  // the end-of-data byte
  if (socket_.Send(std::span(buffer).first(1)) < 0) {
    AppendSocketLine(kLineSend);
    return -1;
  }
  // An empty receive (the server closed) leaves the 0x00 in place: the file was taken.
  return Acknowledged(buffer) ? 0 : -1;
}

bool LpdClient::Acknowledged(std::span<std::byte> buffer) {
  if (ReceiveAck(buffer) < 0) return false;
  if (buffer[0] != kAccepted) {
    AppendLine(kLineLpdCommunication);
    return false;
  }
  return true;
}

bool LpdClient::SendCommandLine(std::span<std::byte> buffer, std::size_t length) {
  const std::int32_t sent = socket_.Send(buffer.first(length));
  if (sent < 0) {
    AppendSocketLine(kLineSend);
    return false;
  }
  if (static_cast<std::size_t>(sent) < length) {
    AppendLine(kLineSendCommunication);
    return false;
  }
  return Acknowledged(buffer);
}

}  // namespace tavi
