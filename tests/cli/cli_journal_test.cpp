// The service journal as tavi-cli writes it and reads it back, against virtual printers on
// 127.0.105.x: one whole record per operation (also from fleet runs of two processes at once),
// rotation at the bound, an unwritable state folder, no secret in it, the history's filters, and
// the safety copy before a restore.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "core/resources/constants.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::TempDir;

constexpr std::uint16_t kLpdPort = 18705;
constexpr std::uint16_t kSnmpPort = 18706;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ParamsOf(int n) {
  std::string block(400 + 11 * n, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<char>((i * 13 + static_cast<std::size_t>(n) * 31) ^ (i >> 2));
  }
  return block;
}

class Journal : public ::testing::Test {
 protected:
  void SetUp() override {
    // tavi-cli.exe keeps its journal in the known local application-data folder, which every
    // test under the one Wine prefix shares; these tests need a state folder of their own.
    if (test::CliIsWindows()) GTEST_SKIP() << "the journal's folder is the prefix's own";
    state_ = dir_ / "state";
    test::WriteAll(dir_ / "empty.ini", "");
  }
  void TearDown() override {
    for (auto& printer : printers_) printer->Stop();
  }
  void Start(int first, int count) {
    for (int i = 0; i < count; ++i) {
      sim::VirtualPrinterConfig config;
      config.address = "127.0.105." + std::to_string(first + i);
      config.lpd_port = kLpdPort;
      config.snmp_port = kSnmpPort;
      config.options.params = ParamsOf(i);
      auto printer = std::make_unique<sim::VirtualPrinter>(config);
      std::string error;
      ASSERT_TRUE(printer->Start(error)) << error;
      printers_.push_back(std::move(printer));
    }
  }
  std::string Hosts() const {
    std::string list;
    for (const auto& printer : printers_) list += (list.empty() ? "" : ",") + printer->address();
    return list;
  }
  // tavi-cli with the test's state folder, as a shell command.
  std::string Command(const std::string& args) const {
    return "XDG_STATE_HOME=" + Quote(state_) + " " + test::CliCommand() + " --settings " +
           Quote(dir_ / "empty.ini") + " --lpd-port " + std::to_string(kLpdPort) + " --snmp-port " +
           std::to_string(kSnmpPort) + " " + args + " </dev/null";
  }
  // tavi-cli with the test's state folder, or `state` when given; `bound` sets the journal's.
  CliRun Cli(const std::string& args, const std::string& bound = {},
             const std::string& state = {}) {
    ::setenv("XDG_STATE_HOME", (state.empty() ? state_ : state).c_str(), 1);
    if (bound.empty()) {
      ::unsetenv("TAVI_JOURNAL_BOUND");
    } else {
      ::setenv("TAVI_JOURNAL_BOUND", bound.c_str(), 1);
    }
    return test::RunCli(dir_, "--settings " + Quote(dir_ / "empty.ini") + " --lpd-port " +
                                  std::to_string(kLpdPort) + " --snmp-port " +
                                  std::to_string(kSnmpPort) + " " + args + " </dev/null");
  }
  std::string JournalText(const char* name = "journal.jsonl") const {
    return test::ReadAll(state_ + "/tavi/" + name);
  }
  // Every line of the journal file, each parsed (a line that is not a whole object fails).
  std::vector<nlohmann::json> Records(const char* name = "journal.jsonl") const {
    std::vector<nlohmann::json> records;
    for (const std::string& line : Lines(JournalText(name))) {
      nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
      EXPECT_TRUE(record.is_object()) << "not a whole record: " << line;
      records.push_back(std::move(record));
    }
    return records;
  }

  TempDir dir_;
  std::string state_;
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers_;
};

TEST_F(Journal, EachOperationAppendsOneRecordWithItsFilesAndNoSecret) {
  Start(2, 1);
  const std::string host = printers_[0]->address();
  const std::string file = dir_ / "backup.prm";
  const CliRun get = Cli("--port network --host " + host + " get-params " + Quote(file));
  ASSERT_EQ(get.status, 0) << get.err;
  const CliRun put = Cli("--port network --host " + host + " put-params " + Quote(file));
  ASSERT_EQ(put.status, 0) << put.err;
  const CliRun bad = Cli("params decode " + Quote(dir_ / "missing.prm"));
  EXPECT_EQ(bad.status, 2);

  const std::vector<nlohmann::json> records = Records();
  ASSERT_EQ(records.size(), 3u) << JournalText();
  const nlohmann::json& backup = records[0];
  EXPECT_EQ(backup["program"], "tavi-cli");
  EXPECT_EQ(backup["version"], std::string(ProductVersion()));
  EXPECT_FALSE(backup["user"].get<std::string>().empty());
  EXPECT_EQ(backup["operation"], "get-params");
  EXPECT_EQ(backup["port"], "network");
  EXPECT_EQ(backup["host"], host);
  EXPECT_EQ(backup["family"], 2);
  EXPECT_EQ(backup["outcome"], "success");
  EXPECT_GE(backup["duration_ms"].get<std::int64_t>(), 300);  // the exchange's fixed wait
  const std::string time = backup["time"];
  ASSERT_EQ(time.size(), 20u) << time;
  EXPECT_EQ(time[10], 'T');
  EXPECT_EQ(time.back(), 'Z');
  ASSERT_EQ(backup["files"].size(), 1u);
  const std::string bytes = test::ReadAll(file);
  EXPECT_EQ(backup["files"][0]["path"], std::filesystem::path(file).lexically_normal().string());
  EXPECT_EQ(backup["files"][0]["role"], "written");
  EXPECT_EQ(backup["files"][0]["size"], bytes.size());
  EXPECT_EQ(backup["files"][0]["sha256"].get<std::string>().size(), 64u);

  const nlohmann::json& restore = records[1];
  EXPECT_EQ(restore["operation"], "put-params");
  EXPECT_EQ(restore["message_id"], 111);
  EXPECT_EQ(restore["message"], "Done.");
  EXPECT_EQ(restore["files"][0]["role"], "read");
  // The file read back is the one written: the same digest.
  EXPECT_EQ(restore["files"][0]["sha256"], backup["files"][0]["sha256"]);

  const nlohmann::json& refused = records[2];
  EXPECT_EQ(refused["operation"], "params decode");
  EXPECT_EQ(refused["outcome"], "invalid-input");
  EXPECT_TRUE(refused["files"][0]["size"].is_null());

  // The access code went over the wire on every exchange, and never into the journal.
  const std::string text = JournalText();
  EXPECT_EQ(text.find(AccessCodeA()), std::string::npos);
  EXPECT_EQ(text.find(AccessCodeB()), std::string::npos);
  EXPECT_EQ(text.find(std::string(AccessCodeB()).substr(0, 40)), std::string::npos);
  EXPECT_EQ(text.find("public"), std::string::npos);
}

TEST_F(Journal, ThirtyTwoHostsOfTwoFleetRunsAtOnceLeaveThirtyTwoWholeRecords) {
  Start(10, 32);
  std::string first;
  std::string second;
  for (std::size_t i = 0; i < printers_.size(); ++i) {
    std::string& list = i % 2 == 0 ? first : second;
    list += (list.empty() ? "" : ",") + printers_[i]->address();
  }
  const std::string out = Quote(dir_.path().string() + "/{host}.prm");
  // Two programs, sixteen hosts each, every host's record appended by its own worker.
  const std::string script = Command("--hosts " + first + " get-params " + out) + " 2>" +
                             Quote(dir_ / "a.err") + " & a=$!; " +
                             Command("--hosts " + second + " get-params " + out) + " 2>" +
                             Quote(dir_ / "b.err") + "; b=$?; wait $a; a=$?; exit $((a + b))";
  ASSERT_EQ(std::system(("bash -c " + Quote(script)).c_str()), 0)
      << test::ReadAll(dir_ / "a.err") << test::ReadAll(dir_ / "b.err");

  const std::vector<nlohmann::json> records = Records();
  ASSERT_EQ(records.size(), 32u);
  std::vector<std::string> hosts;
  for (const nlohmann::json& record : records) {
    EXPECT_EQ(record["outcome"], "success") << record.dump();
    EXPECT_EQ(record["files"][0]["path"],
              (dir_.path() / (record["host"].get<std::string>() + ".prm")).string());
    hosts.push_back(record["host"]);
  }
  std::sort(hosts.begin(), hosts.end());
  EXPECT_EQ(std::unique(hosts.begin(), hosts.end()), hosts.end()) << "a host twice";

  // The history answers "what was done to this printer, and when".
  const std::string one = printers_[7]->address();
  const CliRun history = Cli("history --json --host " + one);
  ASSERT_EQ(history.status, 0) << history.err;
  const std::vector<std::string> lines = Lines(history.out);
  ASSERT_EQ(lines.size(), 1u) << history.out;
  EXPECT_EQ(nlohmann::json::parse(lines[0])["host"], one);
  EXPECT_EQ(Lines(Cli("history --operation GET-PARAMS").out).size(), 32u);
  EXPECT_EQ(Lines(Cli("history --operation put-params").out).size(), 0u);
  EXPECT_EQ(Lines(Cli("history --since 2000-01-01 --until 2999-12-31").out).size(), 32u);
  EXPECT_EQ(Lines(Cli("history --until 2000-01-01T00:00").out).size(), 0u);
  const CliRun wrong = Cli("history --since yesterday");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("--since"), std::string::npos) << wrong.err;
}

TEST_F(Journal, RotatesAtTheBoundAndTheHistoryReadsBothGenerations) {
  const std::string block = dir_ / "block.bin";
  test::WriteAll(block, std::string(200, 'x'));
  const std::string bound = "1500";
  for (int i = 0; i < 8; ++i) {
    const CliRun run = Cli(
        "params encode " + Quote(block) + " " + Quote(dir_ / ("p" + std::to_string(i) + ".prm")),
        bound);
    ASSERT_EQ(run.status, 0) << run.err;
  }
  const std::string current = JournalText();
  const std::string previous = JournalText("journal.1.jsonl");
  ASSERT_FALSE(previous.empty()) << "never rotated";
  EXPECT_LE(current.size(), 1500u);
  EXPECT_LE(previous.size(), 1500u);
  EXPECT_GT(current.size() + previous.size(), 1500u);
  // Nothing but the two generations.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(state_ + "/tavi")) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2u);
  // The newest record is the last one of the current file, and the history lists it last.
  const std::vector<nlohmann::json> records = Records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back()["files"][1]["path"], dir_ / "p7.prm");
  const std::vector<std::string> history = Lines(Cli("history", bound).out);
  EXPECT_EQ(history.size(), Records().size() + Records("journal.1.jsonl").size());
  ASSERT_FALSE(history.empty());
  EXPECT_NE(history.back().find("p7.prm"), std::string::npos) << history.back();
}

TEST_F(Journal, AnUnwritableStateFolderFailsNoOperationAndIsSaidOnce) {
  Start(50, 3);
  // The state folder is a plain file: nothing can be made under it.
  test::WriteAll(state_, "not a folder");
  const CliRun run =
      Cli("--hosts " + Hosts() + " get-params " + Quote(dir_.path().string() + "/{host}.prm"));
  EXPECT_EQ(run.status, 0) << run.err;
  std::size_t warnings = 0;
  for (const std::string& line : Lines(run.err)) {
    if (line.find("service journal") != std::string::npos) ++warnings;
  }
  EXPECT_EQ(warnings, 1u) << run.err;
  for (const auto& printer : printers_) {
    EXPECT_TRUE(std::filesystem::exists(dir_ / (printer->address() + ".prm")));
  }
}

TEST_F(Journal, SafetyCopyKeepsTheBlockThePrinterHeldBeforeTheRestore) {
  Start(60, 1);
  const std::string host = printers_[0]->address();
  const std::string earlier = dir_ / "earlier.prm";
  ASSERT_EQ(Cli("--port network --host " + host + " get-params " + Quote(earlier)).status, 0);
  // A different block to restore.
  test::WriteAll(dir_ / "other.bin", ParamsOf(5));
  ASSERT_EQ(
      Cli("params encode " + Quote(dir_ / "other.bin") + " " + Quote(dir_ / "other.prm")).status,
      0);
  const CliRun put = Cli("--port network --host " + host + " put-params --safety-copy " +
                         Quote(dir_ / "other.prm"));
  ASSERT_EQ(put.status, 0) << put.err;
  const nlohmann::json restore = Records().back();
  ASSERT_EQ(restore["files"].size(), 2u) << restore.dump();
  EXPECT_EQ(restore["files"][1]["role"], "safety-copy");
  const std::string kept = restore["files"][1]["path"];
  EXPECT_EQ(std::filesystem::path(kept).parent_path(), std::filesystem::path(state_ + "/tavi"));
  EXPECT_NE(kept.find(host), std::string::npos) << kept;
  EXPECT_EQ(test::ReadAll(kept), test::ReadAll(earlier));
  // The restore went through after the copy: the printer now answers with the new block.
  ASSERT_EQ(Cli("--port network --host " + host + " get-params " + Quote(dir_ / "now.prm")).status,
            0);
  EXPECT_EQ(test::ReadAll(dir_ / "now.prm"), test::ReadAll(dir_ / "other.prm"));

  // A copy that cannot be made stops the restore: nothing is written to the printer.
  const std::size_t writes = printers_[0]->model().Writes().size();
  test::WriteAll(dir_ / "blocked", "");
  const CliRun stopped = Cli(
      "--port network --host " + host + " put-params --safety-copy " + Quote(dir_ / "other.prm"),
      {}, dir_ / "blocked");
  EXPECT_EQ(stopped.status, 1) << stopped.err;
  EXPECT_NE(stopped.err.find("could not be kept as a safety copy"), std::string::npos)
      << stopped.err;
  for (std::size_t i = writes; i < printers_[0]->model().Writes().size(); ++i) {
    EXPECT_EQ(printers_[0]->model().Writes()[i].bytes.find("PUT PARAM"), std::string::npos);
  }
}

}  // namespace
}  // namespace tavi
