// tavi-printer-sim: a virtual printer on the network (LPD and SNMP) with a readable event log.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "core/resources/constants.h"
#include "frontends/printer_sim/main/device_run.h"
#include "frontends/printer_sim/snmp_ber.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) {
  g_stop = true;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavi::sim;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  VirtualPrinterConfig config;
  config.lpd_port = tavi::kDefaultLpdPort;
  config.snmp_port = tavi::kDefaultSnmpPort;
  SimOptions& o = config.options;
  std::string schedule = "in-order";
  std::string hostile = "none";
  std::string report_file;
  std::string params_file;
  bool json = false;
  bool lf = false;

  CLI::App app{
      "tavi-printer-sim: a virtual printer for demos, training and tests. It takes print jobs "
      "over LPD (queue \"lp1\"), answers reply reads over SNMP (the reply object as an OCTET "
      "STRING) and restarts on the SNMP restart request. Every event is logged on stdout, one "
      "line each. Ctrl-C or SIGTERM stops it.",
      "tavi-printer-sim"};
  app.set_version_flag("--version", "tavi-printer-sim " + std::string(tavi::ProductVersion()));
  app.add_option("--address", config.address,
                 "IPv4 or IPv6 address to serve on (loopback unless given; 0.0.0.0 is every IPv4 "
                 "interface, :: every IPv6 one)")
      ->capture_default_str();
  app.add_option("--lpd-port", config.lpd_port, "LPD (TCP) port; 0 picks a free one")
      ->capture_default_str();
  app.add_option("--snmp-port", config.snmp_port, "SNMP (UDP) port; 0 picks a free one")
      ->capture_default_str();
  app.add_option("--community", o.community, "the only SNMP community answered")
      ->capture_default_str();
  app.add_option("--family", o.family, "printer family: 1 takes access code A, 2 access code B")
      ->check(CLI::IsMember({1, 2}))
      ->capture_default_str();
  app.add_option("--sys-descr", o.sys_descr,
                 "sysDescr.0 the agent answers (default: \"Tavi virtual printer (TypeN)\")");
  app.add_option("--sys-object-id", o.sys_object_id,
                 "sysObjectID.0 the agent answers (default: the family's enterprise number "
                 "+ .1.FAMILY); another maker's id makes a device without the family's objects")
      ->type_name("OID");
  app.add_option("--sys-name", o.sys_name,
                 "sysName.0 the agent answers (default: \"tavi-printer-sim\")");
  app.add_option("--schedule", schedule,
                 "publication order of chunked replies: in-order, shuffled, repeated (every "
                 "chunk twice), chunks-first (header last), gaps (empty replies between fields), "
                 "wrapped (text around each field)")
      ->check(
          CLI::IsMember({"in-order", "shuffled", "repeated", "chunks-first", "gaps", "wrapped"}))
      ->capture_default_str();
  app.add_option("--seed", o.shuffle_seed, "seed of the shuffled schedule")->capture_default_str();
  app.add_option("--reply-delay-ms", o.reply_delay_ms,
                 "replies are published from this long after the command")
      ->capture_default_str();
  app.add_option("--away-ms", o.away_ms,
                 "how long a restart keeps the printer away (no replies, "
                 "LPD connections refused)")
      ->capture_default_str();
  app.add_option("--report", report_file, "file whose bytes replace the built-in report")
      ->check(CLI::ExistingFile);
  app.add_option("--params", params_file, "file whose bytes replace the built-in parameter block")
      ->check(CLI::ExistingFile);
  app.add_flag("--lf", lf, "the built-in report ends its lines with LF instead of CRLF");
  app.add_flag("--json", json, "log one JSON object per line instead of text");

  auto* faults = app.add_option_group("Fault switches");
  faults->add_flag("--no-header", o.no_header, "the header of a chunked reply never comes");
  faults->add_flag("--params-not-stored", o.params_not_stored,
                   "a parameter image is taken and acknowledged, but the parameter block stays "
                   "as it was");
  faults
      ->add_option("--hostile", hostile,
                   "hostile reply content: none, long-payload (over 511 characters), big-chunk "
                   "(over 128 bytes), negative-count, huge-count, out-of-range (bad indexes)")
      ->check(CLI::IsMember(
          {"none", "long-payload", "big-chunk", "negative-count", "huge-count", "out-of-range"}))
      ->capture_default_str();
  faults->add_flag("--snmp-silent", o.snmp.silent, "the SNMP agent never answers");
  faults->add_option("--snmp-error-status", o.snmp.error_status,
                     "every SNMP response carries this nonzero error status");
  faults->add_flag("--snmp-answer-repeats", o.snmp.answer_repeats,
                   "a repeated SNMP request (the same datagram again) gets its earlier answer "
                   "instead of being carried out again");
  faults->add_flag("--snmp-truncated", o.snmp.truncated, "SNMP responses are cut in half");
  faults->add_flag("--snmp-malformed", o.snmp.malformed,
                   "the value length of SNMP responses points past the datagram");
  faults->add_flag("--lpd-refuse-job", o.lpd.refuse_job, "the receive-job command is refused (01)");
  faults->add_option("--lpd-refuse-data", o.lpd.refuse_data_file,
                     "the N-th data file of every job is refused (01) and the connection closed");
  faults->add_flag("--lpd-close-instead-of-ack", o.lpd.close_instead_of_ack,
                   "the connection is closed after a data file instead of acknowledging it");
  faults->add_flag("--lpd-refuse-connections", o.lpd.refuse_connections,
                   "no LPD listener: connections are refused");
  faults->add_option("--lpd-ack-delay-ms", o.lpd.ack_delay_ms,
                     "every LPD acknowledgement comes this late");
  DeviceRun device_run;
  AddDeviceRunOptions(app, device_run);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end here with 0; a usage error gives 2, as in tavi-cli.
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (!o.sys_object_id.empty() && EncodeOid(o.sys_object_id).empty()) {
    std::cerr << "tavi-printer-sim: --sys-object-id: not an object identifier: " << o.sys_object_id
              << "\n";
    return 2;
  }
  o.schedule = *ParseSchedule(schedule);
  o.hostile = *ParseHostile(hostile);
  o.report_crlf = !lf;
  if (!report_file.empty()) {
    std::string text;
    if (!ReadWholeFile(report_file, text)) {
      std::cerr << "tavi-printer-sim: cannot read " << report_file << "\n";
      return 2;
    }
    o.report = text;
  }
  if (!params_file.empty()) {
    std::string bytes;
    if (!ReadWholeFile(params_file, bytes) || bytes.empty()) {
      std::cerr << "tavi-printer-sim: cannot read a parameter block from " << params_file << "\n";
      return 2;
    }
    o.params = bytes;
  }

  if (device_run.wanted()) {
    config.lpd = false;
    config.snmp = false;
  }
  VirtualPrinter printer(config);
  printer.model().log().SetSink([json](const Event& e) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%9lld ms  ", static_cast<long long>(e.time_ms));
    const std::string line = json ? e.Json() : stamp + e.Text();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  });
  std::string error;
  if (!printer.Start(error)) {
    std::cerr << "tavi-printer-sim: " << error << "\n";
    return 1;
  }
  if (device_run.wanted()) {
    const int status = RunBehindDevice(printer, device_run);
    printer.Stop();
    return status;
  }
  while (!g_stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  printer.Stop();
  printer.model().log().Add(Ev("stopped").event);
  return 0;
}
