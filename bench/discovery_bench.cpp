// Discovery figures: one sweep of a /24 on loopback (254 targets, five virtual printers
// answering, the rest silent) from its start to its end, next to net-snmp's snmpget asking the
// same targets for the same objects one after the other with the same resend pattern (three
// sends 250 ms apart: -t 0.25 -r 2).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/discovery/discover.h"
#include "core/discovery/targets.h"
#include "core/resources/constants.h"
#include "core/ui/seams.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace {

constexpr std::uint16_t kPort = 16118;
constexpr const char* kBlock = "127.0.3.0/24";
constexpr int kAnswering[] = {10, 60, 110, 160, 210};

std::vector<std::unique_ptr<tavi::sim::VirtualPrinter>>& Printers() {
  static std::vector<std::unique_ptr<tavi::sim::VirtualPrinter>> printers;
  return printers;
}

bool StartPrinters() {
  if (!Printers().empty()) return true;
  for (int host : kAnswering) {
    tavi::sim::VirtualPrinterConfig config;
    config.address = "127.0.3." + std::to_string(host);
    config.lpd = false;
    config.snmp_port = kPort;
    auto printer = std::make_unique<tavi::sim::VirtualPrinter>(config);
    std::string error;
    if (!printer->Start(error)) return false;
    Printers().push_back(std::move(printer));
  }
  return true;
}

std::vector<std::uint32_t> Targets() {
  std::vector<std::uint32_t> targets;
  std::string error;
  const std::vector<std::string> texts = {kBlock};
  (void)tavi::discovery::ParseTargets(texts, targets, error);
  return targets;
}

void BM_SweepSlash24(benchmark::State& state) {
  if (!StartPrinters()) return state.SkipWithError("cannot start the virtual printers");
  tavi::discovery::DiscoverRequest request;
  request.unicast = Targets();
  request.port = kPort;
  tavi::SteadyClock clock;
  std::size_t found = 0;
  for (auto _ : state) {
    const auto result = tavi::discovery::Discover(request, clock, nullptr);
    found = tavi::discovery::Listed(result.sweep.hosts, false).size();
    state.counters["sends"] = static_cast<double>(result.sweep.sends);
  }
  state.counters["targets"] = static_cast<double>(request.unicast.size());
  state.counters["found"] = static_cast<double>(found);
  if (found != std::size(kAnswering)) state.SkipWithError("not every printer was found");
}
BENCHMARK(BM_SweepSlash24)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SnmpgetOneAfterAnother(benchmark::State& state) {
  if (!StartPrinters()) return state.SkipWithError("cannot start the virtual printers");
  const auto targets = Targets();
  const std::string oids = std::string(tavi::kSysDescrOid) + " " +
                           std::string(tavi::kSysObjectIdOid) + " " +
                           std::string(tavi::kSysNameOid) + " " + std::string(tavi::kReplyOid);
  int answered = 0;
  for (auto _ : state) {
    answered = 0;
    for (std::uint32_t a : targets) {
      const std::string command = "snmpget -v1 -c public -t 0.25 -r 2 -On " +
                                  tavi::discovery::AddressText(a) + ":" + std::to_string(kPort) +
                                  " " + oids + " >/dev/null 2>&1";
      answered += std::system(command.c_str()) == 0 ? 1 : 0;
    }
  }
  state.counters["targets"] = static_cast<double>(targets.size());
  state.counters["found"] = answered;
}
BENCHMARK(BM_SnmpgetOneAfterAnother)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Printers().clear();
  return 0;
}
