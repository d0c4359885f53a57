// Network figures: one reply read (GetRequest/response) with a fresh client against a real
// agent, next to net-snmp's own library against the same agent; a 64 MiB image as LPD data
// files next to one plain TCP send; and how fast Cancel ends a blocked call.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/connection/lpd_client.h"
#include "core/net/snmp_client.h"
#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "os/socket.h"
#include "support/fake_servers.h"
#include "support/peers.h"

namespace {

using namespace std::chrono_literals;

constexpr char kAgentHost[] = "127.0.0.32";
constexpr std::uint16_t kAgentPort = 24001;
constexpr char kSinkHost[] = "127.0.0.33";
constexpr char kCancelHost[] = "127.0.0.34";
constexpr std::size_t kImageSize = 64u << 20;
constexpr std::size_t kDataFileSize = 102400;

// One agent for the whole run, shared by both GetRequest benchmarks; main stops it.
std::unique_ptr<tavi::test::SnmpdPeer> g_agent;
bool g_agent_tried = false;

tavi::test::SnmpdPeer* Agent(benchmark::State& state) {
  if (!g_agent_tried) {
    g_agent_tried = true;
    auto peer = std::make_unique<tavi::test::SnmpdPeer>(kAgentHost, kAgentPort);
    std::string why;
    if (peer->Start(why)) {
      peer->SetReply("REPORT:0,12;");
      g_agent = std::move(peer);
    }
  }
  if (!g_agent) state.SkipWithError("snmpd cannot run here");
  return g_agent.get();
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void BM_GetRequest_Tavi(benchmark::State& state) {
  if (Agent(state) == nullptr) return;
  std::string value;
  for (auto _ : state) {
    tavi::SnmpClient client(kAgentPort);
    if (client.Open(kAgentHost) != 0) return state.SkipWithError("open failed");
    client.BuildGet(tavi::kReplyOid, tavi::ber::kPduGetRequest);
    if (client.Send() < 0 || client.Receive() < 0) return state.SkipWithError("exchange failed");
    client.ValueText(value);
    benchmark::DoNotOptimize(value);
  }
  if (value != "\"REPORT:0,12;\"") state.SkipWithError("unexpected reply");
}
BENCHMARK(BM_GetRequest_Tavi)->UseRealTime();

void BM_GetRequest_NetSnmp(benchmark::State& state) {
  if (Agent(state) == nullptr) return;
  static const bool initialised = [] {
    setenv("MIBS", "", 1);  // numeric OIDs only: no MIB loading
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    init_snmp("tavi-bench");
    return true;
  }();
  benchmark::DoNotOptimize(initialised);
  const std::string peer = std::string(kAgentHost) + ":" + std::to_string(kAgentPort);
  oid name[MAX_OID_LEN];
  size_t name_length = MAX_OID_LEN;
  read_objid(std::string(tavi::kReplyOid).c_str(), name, &name_length);
  std::size_t length = 0;
  for (auto _ : state) {
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_1;
    settings.peername = const_cast<char*>(peer.c_str());
    settings.community = reinterpret_cast<u_char*>(const_cast<char*>("public"));
    settings.community_len = 6;
    netsnmp_session* session = snmp_open(&settings);  // a fresh session each time, like ours
    if (session == nullptr) return state.SkipWithError("snmp_open failed");
    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    snmp_add_null_var(request, name, name_length);
    netsnmp_pdu* response = nullptr;
    const int status = snmp_synch_response(session, request, &response);
    if (status != STAT_SUCCESS || response == nullptr || response->variables == nullptr) {
      if (response != nullptr) snmp_free_pdu(response);
      snmp_close(session);
      return state.SkipWithError("net-snmp exchange failed");
    }
    length = response->variables->val_len;
    snmp_free_pdu(response);
    snmp_close(session);
  }
  if (length != 12) state.SkipWithError("unexpected reply length");
}
BENCHMARK(BM_GetRequest_NetSnmp)->UseRealTime();

// A sink that reads LPD data files as fast as it can (buffered) and acknowledges every step.
void ServeLpd(int fd) {
  std::vector<char> buffer(1 << 18);
  std::size_t have = 0;
  std::size_t at = 0;
  auto fill = [&] {
    if (at == have) at = have = 0;
    const ssize_t n = ::recv(fd, buffer.data() + have, buffer.size() - have, 0);
    if (n <= 0) return false;
    have += static_cast<std::size_t>(n);
    return true;
  };
  auto line = [&](std::string& out) {
    out.clear();
    for (;;) {
      while (at < have) {
        const char c = buffer[at++];
        out += c;
        if (c == '\n') return true;
      }
      if (!fill()) return false;
    }
  };
  const char ack = 0;
  std::string text;
  if (!line(text) || ::send(fd, &ack, 1, MSG_NOSIGNAL) != 1) return;
  for (;;) {
    if (!line(text) || text.size() < 4) return;
    ::send(fd, &ack, 1, MSG_NOSIGNAL);
    std::size_t left = std::stoul(text.substr(1)) + 1;  // the data and the end-of-data byte
    while (left > 0) {
      if (at == have && !fill()) return;
      const std::size_t take = std::min(left, have - at);
      at += take;
      left -= take;
    }
    ::send(fd, &ack, 1, MSG_NOSIGNAL);
  }
}

// A sink that reads the whole image the same buffered way and then acknowledges it with one byte.
void ServePlain(int fd) {
  std::vector<char> buffer(1 << 18);
  std::size_t total = 0;
  while (total < kImageSize) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) return;
    total += static_cast<std::size_t>(n);
  }
  const char ack = 0;
  ::send(fd, &ack, 1, MSG_NOSIGNAL);
}

const std::vector<std::byte>& Image() {
  static const std::vector<std::byte> image = [] {
    std::vector<std::byte> bytes(kImageSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>(i * 31);
    return bytes;
  }();
  return image;
}

void BM_Image_LpdDataFiles(benchmark::State& state) {
  const auto& image = Image();
  tavi::test::FakeTcpServer sink(kSinkHost, 24002, ServeLpd);
  if (!sink.ok()) return state.SkipWithError("no sink");
  for (auto _ : state) {
    tavi::LpdClient client(24002);
    if (client.StartJob(kSinkHost, tavi::kLpdQueue) != 0) return state.SkipWithError("job");
    for (std::size_t at = 0; at < image.size(); at += kDataFileSize) {
      const std::size_t n = std::min(kDataFileSize, image.size() - at);
      if (client.SendDataFile(std::span(image).subspan(at, n)) != 0) {
        return state.SkipWithError("data file refused");
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_Image_LpdDataFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Image_PlainTcpSend(benchmark::State& state) {
  const auto& image = Image();
  tavi::test::FakeTcpServer sink(kSinkHost, 24003, ServePlain);
  if (!sink.ok()) return state.SkipWithError("no sink");
  tavi::Ipv4 address;
  tavi::ParseDottedAddress(kSinkHost, address);
  for (auto _ : state) {
    tavi::Socket socket(tavi::Socket::Kind::kStream);
    if (!socket.Connect(address, 24003)) return state.SkipWithError("connect");
    if (socket.Send(image) != static_cast<std::int32_t>(image.size())) {
      return state.SkipWithError("send");
    }
    // The send is done when the sink has read everything: wait for its acknowledgement.
    std::array<std::byte, 1> ack{};
    if (socket.Receive(ack) != 1) return state.SkipWithError("no acknowledgement");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_Image_PlainTcpSend)->Unit(benchmark::kMillisecond)->UseRealTime();

// A progress window whose Cancel comes from another thread.
class ThreadCancel : public tavi::ProgressDialog {
 public:
  void Show(bool) override {}
  void SetProgressRange(std::int32_t) override {}
  void SetProgressPos(std::int32_t) override {}
  bool IsCancelled() const override { return cancelled.load(); }
  void PumpMessages(bool) override {}
  void NamePrinter(std::string_view) override {}
  void SetStep(const tavi::ProgressStep&) override {}
  std::atomic<bool> cancelled{false};
};

// From the flag being set to the blocked receive returning; the figure is the "latency" counter
// (mean milliseconds), the worst case is "max_latency".
void BM_CancelLatency(benchmark::State& state) {
  tavi::test::FakeUdpAgent silent(kCancelHost, 24004,
                                  [](std::string_view) { return std::vector<std::string>{}; });
  if (!silent.ok()) return state.SkipWithError("no agent");
  double total_ms = 0;
  double worst_ms = 0;
  for (auto _ : state) {
    ThreadCancel progress;
    tavi::SnmpClient client(24004);
    client.SetCancelSource(&progress);
    if (client.Open(kCancelHost) != 0) return state.SkipWithError("open");
    client.BuildGet(tavi::kReplyOid, tavi::ber::kPduGetRequest);
    client.Send();
    std::atomic<std::int64_t> set_at{0};
    std::thread canceller([&] {
      std::this_thread::sleep_for(37ms);  // not a multiple of the wait slice
      set_at = NowNs();
      progress.cancelled = true;
    });
    const std::int32_t result = client.Receive();
    const std::int64_t returned = NowNs();
    canceller.join();
    if (result != -1) return state.SkipWithError("receive did not fail");
    const double ms = static_cast<double>(returned - set_at.load()) / 1e6;
    total_ms += ms;
    worst_ms = std::max(worst_ms, ms);
  }
  state.counters["latency_ms"] = total_ms / static_cast<double>(state.iterations());
  state.counters["max_latency_ms"] = worst_ms;
}
BENCHMARK(BM_CancelLatency)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_agent.reset();  // stops the agent and waits for it
  return 0;
}
