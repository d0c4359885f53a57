// tavi-cli --hosts against a floor of virtual printers, each on its own loopback address and all
// on the same ports, as real printers are. Each test starts its printers and stops them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "core/files/parameter_codec.h"
#include "core/protocol/check_byte.h"
#include "core/resources/constants.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;

std::string Address(int last) {
  return "127.0.0." + std::to_string(last);
}

// The parameter block of printer `n`: its own bytes, so that files of two printers never match.
std::string ParamsOf(int n) {
  std::string block(300 + 37 * n, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(n) * 29) ^ (i >> 3));
  }
  return block;
}

// The report of printer `n`: several chunks that name their printer.
std::string ReportOf(int n) {
  std::string report;
  for (int line = 0; line < 40; ++line) {
    report += "Printer " + std::to_string(n) + " line " + std::to_string(line) + ": status ok\r\n";
  }
  return report;
}

// The parameter file a backup of `block` holds, encoded here by the core's codec.
std::string EncodedFile(const std::string& block) {
  std::vector<std::uint8_t> image(block.begin(), block.end());
  image.push_back(CheckByte(image));
  std::vector<std::uint8_t> file(kMaxParameterFileLength);
  const std::int32_t n = ParameterCodec(image, file, /*encode=*/true);
  return n > 0 ? std::string(file.begin(), file.begin() + n) : std::string();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The data files one job of a printer received, in order.
std::vector<std::string> SessionWrites(sim::PrinterModel& model, int session) {
  std::vector<std::string> out;
  for (const auto& w : model.Writes()) {
    if (w.session == session) out.push_back(w.bytes);
  }
  return out;
}

class Fleet : public ::testing::Test {
 protected:
  // Starts one printer per address, all on `lpd_port` / `snmp_port`.
  void Start(const std::vector<std::string>& addresses, std::uint16_t lpd_port,
             std::uint16_t snmp_port, const std::vector<sim::SimOptions>& options) {
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      sim::VirtualPrinterConfig config;
      config.address = addresses[i];
      config.lpd_port = lpd_port;
      config.snmp_port = snmp_port;
      config.options = options[i];
      auto printer = std::make_unique<sim::VirtualPrinter>(config);
      std::string error;
      ASSERT_TRUE(printer->Start(error)) << error;
      printers_.push_back(std::move(printer));
    }
    test::WriteAll(dir_ / "empty.ini", "");
    common_ = "--settings " + Quote(dir_ / "empty.ini") + " --lpd-port " +
              std::to_string(lpd_port) + " --snmp-port " + std::to_string(snmp_port) + " ";
  }
  void TearDown() override {
    for (auto& printer : printers_) printer->Stop();
  }
  CliRun Cli(const std::string& args, double interrupt_after = 0) {
    return RunCli(dir_, common_ + args + " </dev/null", interrupt_after);
  }
  sim::PrinterModel& model(std::size_t i) { return printers_[i]->model(); }
  std::string List() const {
    std::string list;
    for (const auto& printer : printers_) list += (list.empty() ? "" : ",") + printer->address();
    return list;
  }

  TempDir dir_;
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers_;
  std::string common_;
};

TEST_F(Fleet, TwelvePrintersBackUpAndReportEachFailureOnceUnderItsHost) {
  constexpr int kRefusing = 3;
  constexpr int kSilent = 6;
  constexpr int kNoHeader = 9;
  std::vector<std::string> addresses;
  std::vector<sim::SimOptions> options(12);
  for (int i = 0; i < 12; ++i) {
    addresses.push_back(Address(240 + i));
    options[i].params = ParamsOf(i);
    options[i].report = ReportOf(i);
  }
  options[kRefusing].lpd.refuse_job = true;
  options[kSilent].snmp.silent = true;
  options[kNoHeader].no_header = true;
  Start(addresses, 18515, 18161, options);

  // One run against the first printer, for the wire bytes a fleet run must repeat.
  const CliRun single =
      Cli("-q --port network --host " + addresses[0] + " get-params " + Quote(dir_ / "single.prm"));
  ASSERT_EQ(single.status, 0) << single.err;
  const std::vector<std::string> single_wire = SessionWrites(model(0), 1);
  ASSERT_EQ(single_wire.size(), 3u);  // access-code line, GET PARAM, closing zero byte

  const auto start = std::chrono::steady_clock::now();
  const CliRun backup = Cli("--timeout 2 --json --hosts " + List() + " get-params " +
                            Quote(dir_.path().string() + "/{host}.prm"));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The time-outs decide the exit status; each host ran at once, not one after the other.
  EXPECT_EQ(backup.status, 3) << backup.err;
  EXPECT_LT(seconds, 6.0);
  // One JSON object per host, in the order given.
  const std::vector<std::string> objects = Lines(backup.out);
  ASSERT_EQ(objects.size(), 12u) << backup.out;
  for (int i = 0; i < 12; ++i) {
    const auto object = nlohmann::json::parse(objects[static_cast<std::size_t>(i)], nullptr, false);
    ASSERT_TRUE(object.is_object()) << objects[static_cast<std::size_t>(i)];
    EXPECT_EQ(object["host"], addresses[static_cast<std::size_t>(i)]);
    EXPECT_EQ(object["command"], "get-params");
    const char* outcome = i == kRefusing                   ? "failed"
                          : i == kSilent || i == kNoHeader ? "timed-out"
                                                           : "success";
    EXPECT_EQ(object["outcome"], outcome) << objects[static_cast<std::size_t>(i)];
    if (i == kRefusing) {
      EXPECT_EQ(object["message_id"], 104);
    }
  }

  const std::vector<std::string> lines = Lines(backup.err);
  ASSERT_EQ(lines.size(), 12u) << backup.err;
  for (int i = 0; i < 12; ++i) {
    const std::string& line = lines[static_cast<std::size_t>(i)];
    const std::string host = addresses[static_cast<std::size_t>(i)] + ": ";
    ASSERT_TRUE(StartsWith(line, host)) << line;
    const std::string file = dir_ / (addresses[static_cast<std::size_t>(i)] + ".prm");
    if (i == kRefusing) {
      EXPECT_TRUE(StartsWith(line, host + "Failed to connect.")) << line;
      EXPECT_GT(line.size(), host.size() + 19) << "no details: " << line;
      EXPECT_EQ(model(i).log().Count("job-refused"), 1u);
    } else if (i == kSilent || i == kNoHeader) {
      EXPECT_TRUE(StartsWith(line, host + "Timed out.")) << line;
    } else {
      EXPECT_EQ(line, host + "Done.");
      // Byte for byte the backup of this printer's own block.
      EXPECT_EQ(test::ReadAll(file), EncodedFile(ParamsOf(i))) << file;
    }
    if (i == kRefusing || i == kSilent || i == kNoHeader) {
      EXPECT_FALSE(std::filesystem::exists(file)) << file;
      // A cancelled or failed exchange sends no closing zero byte.
      EXPECT_EQ(model(i).ClosingZeros(), 0) << line;
    } else {
      EXPECT_EQ(model(i).ClosingZeros(), i == 0 ? 2 : 1) << line;
    }
  }
  // Nothing else was left in the folder: no temporary files of the failed hosts.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 9u + 1u + 1u + 3u);  // 9 backups, single.prm, empty.ini, cli.{out,err,rc}
  // The first printer's job in the fleet run carried exactly the bytes of the single run.
  EXPECT_EQ(SessionWrites(model(0), 2), single_wire);
  EXPECT_EQ(test::ReadAll(dir_ / "single.prm"), EncodedFile(ParamsOf(0)));

  // Reports from a host file with comments, each report byte for byte in its own file.
  std::string host_file = "# the floor\n\n";
  for (const auto& address : addresses) host_file += "  " + address + "   # bay\n";
  test::WriteAll(dir_ / "floor.txt", host_file);
  const CliRun report = Cli("--timeout 2 --hosts @" + Quote(dir_ / "floor.txt") + " --trace " +
                            Quote(dir_.path().string() + "/{host}.trace") + " report -o " +
                            Quote(dir_.path().string() + "/{host}.txt"));
  EXPECT_EQ(report.status, 3) << report.err;
  const std::vector<std::string> report_lines = Lines(report.err);
  ASSERT_EQ(report_lines.size(), 12u) << report.err;
  for (int i = 0; i < 12; ++i) {
    const std::string file = dir_ / (addresses[static_cast<std::size_t>(i)] + ".txt");
    if (i == kRefusing || i == kSilent || i == kNoHeader) {
      EXPECT_FALSE(std::filesystem::exists(file)) << file;
    } else {
      EXPECT_EQ(report_lines[static_cast<std::size_t>(i)],
                addresses[static_cast<std::size_t>(i)] + ": Done.");
      EXPECT_EQ(test::ReadAll(file), ReportOf(i)) << file;
    }
    // Each host's trace holds its own exchange only, and neither access code.
    const std::string trace =
        test::ReadAll(dir_ / (addresses[static_cast<std::size_t>(i)] + ".trace"));
    EXPECT_NE(trace.find("host '" + addresses[static_cast<std::size_t>(i)] + "'"),
              std::string::npos);
    for (int j = 0; j < 12; ++j) {
      if (j != i) {
        EXPECT_EQ(trace.find(addresses[static_cast<std::size_t>(j)] + " "), std::string::npos);
      }
    }
    EXPECT_EQ(trace.find(AccessCodeA()), std::string::npos);
    EXPECT_EQ(trace.find(AccessCodeB()), std::string::npos);
  }
}

TEST_F(Fleet, CtrlCCancelsEveryExchangeAtItsNextStepAndStartsNoOther) {
  // Two printers that answer, four whose header never comes; three at a time.
  std::vector<std::string> addresses;
  std::vector<sim::SimOptions> options(6);
  for (int i = 0; i < 6; ++i) {
    addresses.push_back(Address(246 + i));
    options[i].params = ParamsOf(i);
    options[i].no_header = i >= 2;
  }
  Start(addresses, 18516, 18162, options);

  const auto start = std::chrono::steady_clock::now();
  const CliRun run = Cli(
      "--jobs 3 --hosts " + List() + " get-params " + Quote(dir_.path().string() + "/{host}.prm"),
      /*interrupt_after=*/2.0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_LT(seconds, 3.5);
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 6u) << run.err;
  for (int i = 0; i < 6; ++i) {
    const std::string host = addresses[static_cast<std::size_t>(i)];
    const std::string file = dir_ / (host + ".prm");
    if (i < 2) {
      // Done before the interrupt: the file stays, whole.
      EXPECT_EQ(lines[static_cast<std::size_t>(i)], host + ": Done.");
      EXPECT_EQ(test::ReadAll(file), EncodedFile(ParamsOf(i)));
      EXPECT_EQ(model(i).ClosingZeros(), 1);
    } else if (i < 5) {
      EXPECT_EQ(lines[static_cast<std::size_t>(i)], host + ": Interrupted.");
      EXPECT_FALSE(std::filesystem::exists(file));
      EXPECT_EQ(model(i).log().Count("command"), 1u);
      EXPECT_EQ(model(i).ClosingZeros(), 0);
    } else {
      // Its turn never came: the printer saw nothing.
      EXPECT_EQ(lines[static_cast<std::size_t>(i)], host + ": Not started.");
      EXPECT_EQ(model(i).log().Count("session-started"), 0u);
    }
  }
}

TEST_F(Fleet, ChangingSeveralPrintersIsConfirmedAndItsInputCheckedFirst) {
  std::vector<std::string> addresses = {Address(252), Address(253)};
  std::vector<sim::SimOptions> options(2);
  Start(addresses, 18517, 18163, options);
  const std::string block = ParamsOf(5);
  test::WriteAll(dir_ / "new.prm", EncodedFile(block));
  test::WriteAll(dir_ / "bad.prm", "not a parameter file");
  const std::string put = "--hosts " + List() + " put-params ";
  auto sessions = [&] {
    return model(0).log().Count("session-started") + model(1).log().Count("session-started");
  };

  // Without a terminal to ask on, only --yes lets it go ahead.
  const CliRun refused = Cli(put + Quote(dir_ / "new.prm"));
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;
  // An illegal file is found once, before any printer is asked.
  const CliRun illegal = Cli("--yes " + put + Quote(dir_ / "bad.prm"));
  EXPECT_EQ(illegal.status, 2);
  EXPECT_EQ(illegal.err, "Illegal Parameter File.\n");
  EXPECT_EQ(sessions(), 0u);

  // On a terminal the technician is asked; "n" sends nothing, "y" goes ahead. The answer is
  // typed once the question stands on the screen, ended with the Enter key's carriage return.
  auto on_terminal = [&](const std::string& answer) {
    const std::string command = test::CliCommand() + " " + common_ + put + Quote(dir_ / "new.prm");
    const std::string out = Quote(dir_ / "tty.out");
    // The wait for the question is bounded but long: a Windows build under Wine on a loaded
    // machine may take many seconds to start, and an answer typed before its console exists is
    // lost. A run that still hangs is ended, so the test fails instead of stalling the suite.
    const std::string typist = "for i in $(seq 1800); do sed 's/\\x1b\\[[0-9;?]*[A-Za-z]//g' " +
                               out + " 2>/dev/null | grep -q 'y/N]' && break; sleep 0.05; done; " +
                               "printf '" + answer + "\\r'";
    const std::string script = "rm -f " + out + "; (" + typist +
                               ") | timeout -k 5 150 script -qec " + Quote(command) +
                               " /dev/null >" + out + "; echo $? >" + Quote(dir_ / "tty.rc");
    EXPECT_EQ(std::system(("bash -c " + Quote(script)).c_str()), 0);
    return std::make_pair(std::stoi(test::ReadAll(dir_ / "tty.rc")),
                          test::ScreenLines(test::ReadAll(dir_ / "tty.out")));
  };
  const auto [declined, declined_out] = on_terminal("n");
  EXPECT_EQ(declined, 2) << declined_out;
  EXPECT_NE(declined_out.find("put-params on 2 printers"), std::string::npos) << declined_out;
  EXPECT_EQ(sessions(), 0u);
  const auto [confirmed, confirmed_out] = on_terminal("y");
  EXPECT_EQ(confirmed, 0) << confirmed_out;
  EXPECT_NE(confirmed_out.find(addresses[0] + ": Done."), std::string::npos) << confirmed_out;
  EXPECT_NE(confirmed_out.find(addresses[1] + ": Done."), std::string::npos) << confirmed_out;
  EXPECT_EQ(model(0).Params(), block);
  EXPECT_EQ(model(1).Params(), block);
}

TEST_F(Fleet, HostListsFromTextFilesAndDiscoveryJsonAndWhatIsRefused) {
  const std::string here = Address(254);
  Start({here}, 18519, 18165, {sim::SimOptions{}});
  // What discovery finds is a host list as it stands.
  const CliRun found = Cli("discover --json " + here);
  ASSERT_EQ(found.status, 0) << found.err;
  test::WriteAll(dir_ / "found.json", found.out);
  const CliRun from_discovery = Cli("--hosts @" + Quote(dir_ / "found.json") + " report -o " +
                                    Quote(dir_.path().string() + "/{host}.txt"));
  EXPECT_EQ(from_discovery.status, 0) << from_discovery.err;
  EXPECT_EQ(from_discovery.err, here + ": Done.\n");
  EXPECT_EQ(test::ReadAll(dir_ / (here + ".txt")), model(0).ReportText());

  // The same shape written by hand: a device of another maker (listed with --all) is passed
  // over; a name the resolver refuses fails under its own name, in its place.
  test::WriteAll(dir_ / "hosts.json",
                 R"({"network":[{"address":")" + here + R"(","family":true,"sysName":"bay 1"},)" +
                     R"({"address":"127.0.0.77","family":false},{"address":"no..such.host"}],)" +
                     R"("usb":[{"name":"usb 1-1","used":true}]})");
  const CliRun json = Cli("--hosts @" + Quote(dir_ / "hosts.json") + " report -o " +
                          Quote(dir_.path().string() + "/{host}.txt"));
  EXPECT_EQ(json.status, 1);
  const std::vector<std::string> lines = Lines(json.err);
  ASSERT_EQ(lines.size(), 2u) << json.err;
  EXPECT_EQ(lines[0], here + ": Done.");
  EXPECT_TRUE(StartsWith(lines[1], "no..such.host: Failed to connect. ")) << lines[1];

  // Refused before any printer is contacted, each with exit status 2.
  const std::string two = "--hosts " + here + ",127.0.0.253 ";
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {"--hosts " + Quote(here + ",../etc") + " report -o 'r{host}'", "not a host name"},
      {"--hosts " + Quote(dir_ / "missing.txt") + " report", "not a host name"},
      {"--hosts @" + Quote(dir_ / "missing.txt") + " report", "Could not"},
      {two + "get-params " + Quote(dir_ / "one.prm"), "{host}"},
      {two + "report", "{host}"},
      {two + "--trace " + Quote(dir_ / "one.trace") + " report -o 'r{host}'", "{host}"},
      {"--port usb " + two + "report -o 'r{host}'", "network"},
      {two + "params decode " + Quote(dir_ / "one.prm"), "--hosts works with"},
  };
  for (const auto& [args, text] : refusals) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << args << "\n" << run.err;
    EXPECT_NE(run.err.find(text), std::string::npos) << args << "\n" << run.err;
  }
}

// One printer named twice, by another spelling of its address or twice alike, in a list or a
// host file, is one host: it runs once, and stderr says which entry was left out.
TEST_F(Fleet, OnePrinterSpelledTwiceRunsOnce) {
  const std::vector<std::string> addresses = {"127.0.63.1", "127.0.63.2"};
  Start(addresses, 18523, 18169, {sim::SimOptions{}, sim::SimOptions{}});
  const std::string out = dir_.path().string() + "/{host}.txt";
  const CliRun run =
      Cli("--hosts 127.0.63.1,0177.0.077.01,127.0.63.2,0x7f.0.0x3f.2,127.0.63.2 report -o " +
          Quote(out));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.err),
            (std::vector<std::string>{
                "Hosts 127.0.63.1 and 0177.0.077.01 are the same printer: it runs once, as "
                "127.0.63.1.",
                "Hosts 127.0.63.2 and 0x7f.0.0x3f.2 are the same printer: it runs once, as "
                "127.0.63.2.",
                "Host 127.0.63.2 is listed twice: it runs once.", "127.0.63.1: Done.",
                "127.0.63.2: Done."}));
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    EXPECT_EQ(model(i).log().Count("job-started"), 1u) << addresses[i];
    EXPECT_EQ(test::ReadAll(dir_ / (addresses[i] + ".txt")), model(i).ReportText());
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "0177.0.077.01.txt"));

  // The same from a host file, where one line repeats another.
  test::WriteAll(dir_ / "twice.txt", "127.0.63.1\n# again\n127.0.63.1\n");
  const CliRun file = Cli("--hosts @" + Quote(dir_ / "twice.txt") + " report -o " + Quote(out));
  ASSERT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(Lines(file.err),
            (std::vector<std::string>{"Host 127.0.63.1 is listed twice: it runs once.",
                                      "127.0.63.1: Done."}));
  EXPECT_EQ(model(0).log().Count("job-started"), 2u);
}

}  // namespace
}  // namespace tavi
