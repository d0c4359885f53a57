// tavi-cli --json: every command ends with one JSON object on stdout, read back here with a JSON
// parser, for a success, for failures and for the port listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli_runner.h"
#include "frontends/cli/cli_json.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

using nlohmann::json;
using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;

// The last line of stdout, parsed; fails the test if it is not one JSON object.
json LastJsonLine(const std::string& out) {
  EXPECT_TRUE(!out.empty() && out.back() == '\n') << out;
  const std::size_t end = out.empty() ? 0 : out.size() - 1;
  const std::size_t start = out.rfind('\n', end == 0 ? 0 : end - 1);
  const std::string line = out.substr(start == std::string::npos ? 0 : start + 1,
                                      end - (start == std::string::npos ? 0 : start + 1));
  json object = json::parse(line, nullptr, /*allow_exceptions=*/false);
  EXPECT_TRUE(object.is_object()) << line;
  return object;
}

std::string Settings(const TempDir& dir) {
  test::WriteAll(dir / "empty.ini", "");
  return "-q --json --settings " + Quote(dir / "empty.ini") + " ";
}

TEST(CliJson, ReportAndPutParamsAgainstThePrinterThenATimeOutAgainstASilentAgent) {
  TempDir dir;
  sim::VirtualPrinterConfig config;
  config.address = "127.0.0.190";
  sim::VirtualPrinter printer(config);
  std::string error;
  ASSERT_TRUE(printer.Start(error)) << error;
  const std::string common = Settings(dir) + "--port network --host 127.0.0.190 --lpd-port " +
                             std::to_string(printer.lpd_port()) + " --snmp-port " +
                             std::to_string(printer.snmp_port()) + " ";

  // The report's bytes still come first on stdout, the object follows on a line of its own.
  const CliRun report = RunCli(dir, common + "report");
  ASSERT_EQ(report.status, 0) << report.err;
  const std::string text = printer.model().ReportText();
  ASSERT_GT(text.size(), 1000u);
  EXPECT_EQ(report.out.substr(0, text.size()), text);
  const json ok = LastJsonLine(report.out);
  EXPECT_EQ(ok["command"], "report");
  EXPECT_EQ(ok["port"], "network");
  EXPECT_EQ(ok["host"], "127.0.0.190");
  EXPECT_EQ(ok["outcome"], "success");
  EXPECT_EQ(ok["exit_status"], 0);
  EXPECT_TRUE(ok["message_id"].is_null());
  EXPECT_EQ(ok["message"], "");
  // The report's wait alone takes 300 ms.
  EXPECT_GE(ok["duration_ms"].get<std::int64_t>(), 300);

  // "Done." is the result's message, not a line of its own.
  ASSERT_EQ(RunCli(dir, common + "get-params " + Quote(dir / "b.prm")).status, 0);
  const CliRun put = RunCli(dir, common + "put-params " + Quote(dir / "b.prm"));
  EXPECT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(put.out.find("Done.\n"), std::string::npos) << put.out;
  const json done = LastJsonLine(put.out);
  EXPECT_EQ(put.out, done.dump() + "\n");
  EXPECT_EQ(done["command"], "put-params");
  EXPECT_EQ(done["message_id"], 111);
  EXPECT_EQ(done["message"], "Done.");
  printer.Stop();

  // A silent agent: the time-out says what was waiting, and for how long.
  sim::VirtualPrinterConfig silent_config;
  silent_config.address = "127.0.0.191";
  silent_config.options.snmp.silent = true;
  sim::VirtualPrinter silent(silent_config);
  ASSERT_TRUE(silent.Start(error)) << error;
  const CliRun timed_out =
      RunCli(dir, Settings(dir) + "--timeout 0.5 --port network --host 127.0.0.191 --lpd-port " +
                      std::to_string(silent.lpd_port()) + " --snmp-port " +
                      std::to_string(silent.snmp_port()) + " report");
  silent.Stop();
  EXPECT_EQ(timed_out.status, 3);
  const json late = LastJsonLine(timed_out.out);
  EXPECT_EQ(late["outcome"], "timed-out");
  EXPECT_EQ(late["message"], "Timed out.");
  const std::string details = late["details"];
  EXPECT_NE(details.find("no answer from 127.0.0.191 port " + std::to_string(silent.snmp_port()) +
                         " (SNMP) within "),
            std::string::npos)
      << details;
  EXPECT_NE(timed_out.err.find("  details: no answer from 127.0.0.191"), std::string::npos)
      << timed_out.err;
}

TEST(CliJson, FailuresCarryTheirMessageAndDetails) {
  TempDir dir;
  // Nothing listens on this address.
  const CliRun refused =
      RunCli(dir, Settings(dir) + "--port network --host 127.0.0.192 --lpd-port 5515 report");
  EXPECT_EQ(refused.status, 1);
  const json failed = LastJsonLine(refused.out);
  EXPECT_EQ(refused.out, failed.dump() + "\n");
  EXPECT_EQ(failed["outcome"], "failed");
  EXPECT_EQ(failed["message_id"], 104);
  EXPECT_EQ(failed["message"], "Failed to connect.");
  EXPECT_EQ(failed["details"], std::string("connect to 127.0.0.192 port 5515 (LPD): Connection "
                                           "refused") +
                                   (test::CliIsWindows() ? " (WSAECONNREFUSED)" : ""));
  // The same message on stderr as without --json.
  EXPECT_TRUE(refused.err.starts_with("Failed to connect.\n")) << refused.err;

  // Unusable input, offline.
  test::WriteAll(dir / "bad.prm", "not a parameter file");
  const CliRun bad = RunCli(dir, Settings(dir) + "params decode " + Quote(dir / "bad.prm"));
  EXPECT_EQ(bad.status, 2);
  const json illegal = LastJsonLine(bad.out);
  EXPECT_EQ(illegal["command"], "params decode");
  EXPECT_EQ(illegal["outcome"], "invalid-input");
  EXPECT_EQ(illegal["message_id"], 110);
  EXPECT_EQ(illegal["message"], "Illegal Parameter File.");
  EXPECT_TRUE(illegal["port"].is_null());
}

TEST(CliJson, PortsListsEveryPortAndDevice) {
  TempDir dir;
  const CliRun run = RunCli(dir, Settings(dir) + "ports");
  EXPECT_EQ(run.status, 0) << run.err;
  const json listing = LastJsonLine(run.out);
  EXPECT_EQ(run.out, listing.dump() + "\n");
  EXPECT_EQ(listing["command"], "ports");
  ASSERT_TRUE(listing["ports"].is_array());
  ASSERT_TRUE(listing["port_errors"].is_object());
  // Whatever this machine has, each entry names its kind and says whether Tavi would use it.
  int used_parallel = 0;
  for (const json& port : listing["ports"]) {
    EXPECT_TRUE(port["kind"] == "parallel" || port["kind"] == "usb") << port;
    EXPECT_TRUE(port["name"].is_string()) << port;
    EXPECT_TRUE(port["used"].is_boolean()) << port;
    EXPECT_TRUE(port["device_id"].is_string() || port["note"].is_string()) << port;
    if (port["kind"] == "parallel" && port["used"] == true) ++used_parallel;
  }
  EXPECT_LE(used_parallel, 1);
  if (listing["ports"].empty()) {
    EXPECT_EQ(listing["message"], "No parallel port and no matching USB printer found.");
  }
}

// The listing's fields as a machine sees them, for devices no test machine has.
TEST(CliJson, PortListingAndResultFieldsRoundTrip) {
  PortListing listing;
  listing.parallel.push_back({"parport0", "MFG:Maker;MDL:Wide \"7\";", "", true});
  listing.parallel.push_back({"parport1", std::nullopt, "the printer is busy", false});
  listing.usb.push_back(
      {"USB\\VID_0E2A&PID_0102 on bus 1 at address 4", std::nullopt, "Permission denied", true});
  cli::CommandResult result;
  result.command = "ports";
  result.exit_status = 0;
  result.duration_ms = 12;
  result.details = "line one\nline \x01 two \xff";  // a control byte and a byte that is not UTF-8
  result.ports = listing;
  result.ports->usb_error = "libusb: no access";

  std::string text;
  {
    TempDir dir;
    std::FILE* out = std::fopen((dir / "out.json").c_str(), "w");
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(cli::WriteJsonLine(out, cli::ResultJson(result)));
    std::fclose(out);
    text = test::ReadAll(dir.path() / "out.json");
  }
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  const json back = json::parse(text);
  EXPECT_EQ(back["outcome"], "success");
  EXPECT_EQ(back["duration_ms"], 12);
  EXPECT_TRUE(back["port"].is_null());
  EXPECT_EQ(back["details"], "line one\nline \x01 two \xEF\xBF\xBD");
  EXPECT_EQ(back["port_errors"], json({{"usb", "libusb: no access"}}));
  ASSERT_EQ(back["ports"].size(), 3u);
  EXPECT_EQ(back["ports"][0], json({{"kind", "parallel"},
                                    {"name", "parport0"},
                                    {"device_id", "MFG:Maker;MDL:Wide \"7\";"},
                                    {"note", nullptr},
                                    {"used", true}}));
  EXPECT_TRUE(back["ports"][1]["device_id"].is_null());
  EXPECT_EQ(back["ports"][1]["note"], "the printer is busy");
  EXPECT_EQ(back["ports"][2]["kind"], "usb");
  EXPECT_EQ(back["ports"][2]["name"], "USB\\VID_0E2A&PID_0102 on bus 1 at address 4");
  const std::pair<int, const char*> outcomes[] = {
      {1, "failed"}, {2, "invalid-input"}, {3, "timed-out"}, {130, "interrupted"}, {7, "exit 7"}};
  for (const auto& [status, outcome] : outcomes) {
    result.exit_status = status;
    EXPECT_EQ(cli::ResultJson(result)["outcome"], outcome);
  }
}

}  // namespace
}  // namespace tavi
