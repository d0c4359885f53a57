// Timed end-to-end runs of the printer operations against the virtual printer on loopback:
//   1. Get Report of 200 chunks published in order, on the real clock, against its protocol floor
//      (300 ms + 5 ms for every poll that carried a payload).
//   2. A firmware upload of 64 MiB against one plain TCP send of the same bytes to a sink that
//      only reads, without the fixed 3-second reset wait.
// Usage: operations_bench [ADDRESS]   (default 127.0.0.150)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/journal/sha256.h"
#include "core/protocol/operations.h"
#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/posix/sim_server_socket.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "os/socket.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

class NullProgress : public tavi::ProgressDialog {
 public:
  void Show(bool) override {}
  void SetProgressRange(std::int32_t) override {}
  void SetProgressPos(std::int32_t) override {}
  bool IsCancelled() const override { return false; }
  void PumpMessages(bool) override {}
  void NamePrinter(std::string_view) override {}
  void SetStep(const tavi::ProgressStep&) override {}
};

class QuietMessages : public tavi::Messages {
 public:
  void ShowMessage(int id, std::string_view details) override {
    if (id != 111)
      std::fprintf(stderr, "message %d %.*s\n", id, int(details.size()), details.data());
  }
  void ShowFileError(const tavi::FileError&) override {}
};

// A clock that counts the fixed waits it was asked for, to take them out of the timing.
class CountingClock : public tavi::Clock {
 public:
  void Sleep(int ms) override {
    waited_ms += ms;
    if (ms == tavi::kWaitPollMs) ++polls_waited;
    real.Sleep(ms);
  }
  std::int64_t NowMs() override { return real.NowMs(); }
  tavi::SteadyClock real;
  std::int64_t waited_ms = 0;
  int polls_waited = 0;
};

// A TCP sink that reads everything until the peer closes; with `hash` it also does the virtual
// printer's per-byte work on what it reads (SHA-256 of the image).
struct Sink {
  Sink(const std::string& address, bool hash) {
    std::string error;
    if (!listener.Listen(address, 0, error)) std::fprintf(stderr, "sink: %s\n", error.c_str());
    thread = std::thread([this, hash] {
      auto connection = listener.Accept(5000);
      if (!connection) return;
      std::vector<std::byte> buffer(1 << 16);
      tavi::Sha256 sha;
      int n = 0;
      while ((n = connection->Receive(buffer, 5000)) > 0) {
        if (hash) sha.Update(std::span(buffer).first(static_cast<std::size_t>(n)));
      }
      digest = sha.FinishHex();
    });
  }
  ~Sink() {
    if (thread.joinable()) thread.join();
  }
  tavi::SimTcpListener listener;
  std::string digest;
  std::thread thread;
};

// Seconds for one plain TCP send of `bytes` to a fresh sink.
double PlainSend(const std::string& address, std::span<const std::uint8_t> bytes, bool hash) {
  Sink sink(address, hash);
  tavi::Socket plain(tavi::Socket::Kind::kStream);
  tavi::Ipv4 ip{};
  tavi::ParseDottedAddress(address, ip);
  const auto start = Clock::now();
  plain.Connect(ip, sink.listener.port());
  plain.Send(std::as_bytes(bytes));
  plain.Close();
  sink.thread.join();
  return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string address = argc > 1 ? argv[1] : "127.0.0.150";
  tavi::sim::VirtualPrinterConfig config;
  config.address = address;
  config.options.report = std::string(200 * 128 - 40, 'r');
  tavi::sim::VirtualPrinter printer(config);
  std::string error;
  if (!printer.Start(error)) {
    std::fprintf(stderr, "virtual printer: %s\n", error.c_str());
    return 1;
  }
  NullProgress progress;
  QuietMessages messages;
  CountingClock clock;
  tavi::PortSettings settings;
  settings.port = tavi::kPortNetwork;
  settings.hosts = {address};
  tavi::PrinterConnection connection(
      settings, progress, messages, clock,
      tavi::DefaultChannelFactory({printer.lpd_port(), printer.snmp_port()}));

  // 1. Get Report of 200 chunks.
  for (int run = 0; run < 3; ++run) {
    clock.waited_ms = 0;
    clock.polls_waited = 0;
    std::string report;
    const auto start = Clock::now();
    const bool ok = tavi::GetReport(connection, report);
    const double took = Seconds(Clock::now() - start);
    const double floor = 0.3 + clock.polls_waited * 0.005;
    std::printf(
        "get-report 200 chunks: ok=%d bytes=%zu time=%.3f s floor=%.3f s (%d polls) ratio=%.3f\n",
        ok, report.size(), took, floor, clock.polls_waited, took / floor);
  }

  // 2. Firmware upload of 64 MiB against one plain TCP send.
  std::vector<std::uint8_t> image(64u << 20);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
  for (int run = 0; run < 2; ++run) {
    clock.waited_ms = 0;
    auto start = Clock::now();
    const bool ok = tavi::UpgradeFirmware(connection, image);
    const double upload = Seconds(Clock::now() - start) - clock.waited_ms / 1000.0;

    const double send = PlainSend(address, image, false);
    const double send_hashed = PlainSend(address, image, true);
    const double mib = static_cast<double>(image.size()) / (1 << 20);
    std::printf("firmware 64 MiB: ok=%d upload=%.3f s (%.0f MiB/s, fixed waits %lld ms excluded)\n",
                ok, upload, mib / upload, static_cast<long long>(clock.waited_ms));
    std::printf("  plain send, reading sink: %.3f s (%.0f MiB/s), upload/plain = %.2f\n", send,
                mib / send, send / upload);
    std::printf(
        "  plain send, sink hashing like the printer: %.3f s (%.0f MiB/s), upload/plain = %.2f\n",
        send_hashed, mib / send_hashed, send_hashed / upload);
  }
  printer.Stop();
  return 0;
}
