// The LPD client's acknowledgement path: a job of a few data files goes to a server played here
// over loopback, which answers from the input. The input is a series of answers, each a length
// byte and that many bytes; the server sends one answer whenever the client waits, and at a
// length of 0 or when the answers run out it closes the connection (orderly or with a reset, by
// the first byte). Checks
// that the client reports every step as 0 or -1, that a failed step leaves a line in its
// bounded last-error text and a good one leaves it alone, and that the job is never taken as
// started unless the server sent a 00.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/connection/lpd_client.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/posix/sim_server_socket.h"

namespace {

constexpr const char* kServerAddress = "127.0.0.162";
constexpr int kDataFiles = 3;
// Pumps allowed after the last answer before the wait is cancelled.
constexpr int kPumpsAfterEnd = 50;

class Server final : public tavi::ProgressDialog {
 public:
  Server(tavi::SimTcpListener& listener, std::string_view script, bool reset)
      : listener_(listener), script_(script), reset_(reset) {}
  ~Server() override { End(); }
  void Show(bool) override {}
  void SetProgressRange(std::int32_t) override {}
  void SetProgressPos(std::int32_t) override {}
  void NamePrinter(std::string_view) override {}
  void SetStep(const tavi::ProgressStep&) override {}
  bool IsCancelled() const override { return idle_pumps_ > kPumpsAfterEnd; }
  void PumpMessages(bool) override {
    if (!connection_ && !ended_) connection_ = listener_.Accept(0);
    if (!connection_) {
      ++idle_pumps_;
      return;
    }
    std::byte sink[4096];
    while (connection_->Receive(sink, 0) > 0) {
    }
    const std::size_t n =
        script_.empty()
            ? 0
            : std::min<std::size_t>(static_cast<unsigned char>(script_[0]), script_.size() - 1);
    if (n == 0) {  // the script ends here
      End();
      ++idle_pumps_;
      return;
    }
    const std::string_view answer = script_.substr(1, n);
    script_.remove_prefix(1 + n);
    connection_->SendAll(std::as_bytes(std::span(answer.data(), answer.size())));
    sent_zero_ = sent_zero_ || answer.find('\0') != std::string_view::npos;
  }
  bool sent_zero() const { return sent_zero_; }
  // Closes the connection as the script says; no wait state stays behind.
  void End() {
    if (connection_ && reset_) connection_->Abort();
    connection_.reset();
    ended_ = true;
  }

 private:
  tavi::SimTcpListener& listener_;
  std::string_view script_;
  bool reset_;
  std::unique_ptr<tavi::SimTcpConnection> connection_;
  bool ended_ = false;
  bool sent_zero_ = false;
  int idle_pumps_ = 0;
};

tavi::SimTcpListener& Listener() {
  static tavi::SimTcpListener* listener = [] {
    auto* l = new tavi::SimTcpListener;
    std::string error;
    if (!l->Listen(kServerAddress, 0, error)) std::abort();
    return l;
  }();
  return *listener;
}

void CheckStep(std::int32_t result, const tavi::LpdClient& client, std::string& before) {
  if (result != 0 && result != -1) std::abort();
  const std::string_view text = client.LastErrorText();
  if (text.size() >= tavi::kLpdLastErrorCapacity) std::abort();
  if (result == 0 && text != before) std::abort();  // success adds nothing
  if (result == -1 && text.empty()) std::abort();
  before = std::string(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  tavi::SimTcpListener& listener = Listener();
  const std::string_view script(reinterpret_cast<const char*>(data) + 1, size - 1);
  Server server(listener, script, (data[0] & 1) != 0);
  {
    tavi::LpdClient client(listener.port());
    client.SetCancelSource(&server);
    std::string text;
    std::int32_t result = client.StartJob(kServerAddress, "lp1");
    CheckStep(result, client, text);
    if (result == 0 && !server.sent_zero()) std::abort();
    const std::string file = "data file";
    for (int i = 0; result == 0 && i < kDataFiles; ++i) {
      result = client.SendDataFile(std::as_bytes(std::span(file.data(), file.size())));
      CheckStep(result, client, text);
    }
  }
  server.End();
  // A connection the client gave up before the server took it is taken and dropped now.
  while (auto late = listener.Accept(0)) late->Abort();
  return 0;
}
