// tavi-cli without a printer: usage errors, parameter files, a closed printer port.
#include <gtest/gtest.h>

#include <string>

#include "cli_runner.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;

// Large blocks come in runs (as real parameter blocks do), so that their packed form fits in a
// parameter file; small ones are varied.
std::string Block(std::size_t size) {
  std::string block(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    block[i] = static_cast<char>(size > 65536 ? (i / 64) & 0xFF : (i * 7 + i / 300) & 0xFF);
  }
  return block;
}

TEST(CliUsage, BadCommandLinesExitWithTwoAndSayWhy) {
  TempDir dir;
  test::WriteAll(dir / "empty.ini", "");
  const std::string settings = "--settings " + Quote(dir / "empty.ini") + " ";
  const char* cases[] = {
      "",                                                   // no command
      "frobnicate",                                         // unknown command
      "--port serial report",                               // unknown port kind
      "--type 3 report",                                    // unknown family
      "--timeout -1 report",                                // negative time
      "--lpd-port 70000 report",                            // not a port
      "set-head-rank 9 7BZ3E3CVXUWVUQQ2100Y012VTTR40UWJB",  // no head 9
      "set-head-rank 1",                                    // neither RANK nor --file
      "get-params",                                         // FILE missing
      "params",                                             // decode or encode missing
      "--settings /no/such/dir/x.ini report",               // an explicit profile must exist
  };
  for (const char* args : cases) {
    const CliRun run =
        RunCli(dir, (std::string(args).starts_with("--settings") ? "" : settings) + args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_FALSE(run.err.empty()) << args;
    EXPECT_EQ(run.out, "") << args;
  }
  // Restart needs a host: none given, none stored.
  const CliRun restart = RunCli(dir, settings + "restart");
  EXPECT_EQ(restart.status, 2);
  EXPECT_NE(restart.err.find("--host"), std::string::npos) << restart.err;
}

TEST(CliUsage, HelpDocumentsEveryCommandAndOption) {
  TempDir dir;
  const CliRun run = RunCli(dir, "--help");
  EXPECT_EQ(run.status, 0);
  for (const char* word :
       {"--settings", "--port", "--host", "--type", "--lpd-port", "--snmp-port", "--timeout",
        "--quiet", "report", "get-params", "put-params", "set-head-rank", "firmware", "restart",
        "ports", "params decode", "params encode", "130"}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
}

TEST(CliParams, EncodeThenDecodeGivesTheBlockBack) {
  TempDir dir;
  for (std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{131071}}) {
    const std::string block = Block(size);
    test::WriteAll(dir / "in.bin", block);
    const CliRun encode =
        RunCli(dir, "params encode " + Quote(dir / "in.bin") + " " + Quote(dir / "p.prm"));
    ASSERT_EQ(encode.status, 0) << size << encode.err;
    // The file is encoded, not the block with a check byte appended.
    EXPECT_NE(test::ReadAll(dir / "p.prm").substr(0, size), block) << size;
    const CliRun decode =
        RunCli(dir, "params decode " + Quote(dir / "p.prm") + " -o " + Quote(dir / "out.bin"));
    ASSERT_EQ(decode.status, 0) << size << decode.err;
    EXPECT_EQ(decode.out, std::to_string(size) + "\n");
    EXPECT_EQ(test::ReadAll(dir / "out.bin"), block) << size;
  }
}

TEST(CliParams, UnusableFilesAndBlocksExitWithTwo) {
  TempDir dir;
  test::WriteAll(dir / "in.bin", Block(1000));
  ASSERT_EQ(
      RunCli(dir, "params encode " + Quote(dir / "in.bin") + " " + Quote(dir / "p.prm")).status, 0);
  const std::string good = test::ReadAll(dir / "p.prm");

  // A damaged byte, an empty file, a single byte, a cut file: not a parameter file.
  std::string damaged = good;
  damaged[damaged.size() / 2] ^= 0x01;
  for (const std::string& bad :
       {damaged, std::string(), std::string(1, '\x01'), good.substr(0, good.size() - 3)}) {
    test::WriteAll(dir / "bad.prm", bad);
    const CliRun run =
        RunCli(dir, "params decode " + Quote(dir / "bad.prm") + " -o " + Quote(dir / "o.bin"));
    EXPECT_EQ(run.status, 2) << bad.size();
    EXPECT_EQ(run.err, "Illegal Parameter File.\n") << bad.size();
    EXPECT_FALSE(std::filesystem::exists(dir / "o.bin"));
  }
  const CliRun missing = RunCli(dir, "params decode " + Quote(dir / "none.prm"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("none.prm"), std::string::npos) << missing.err;

  // Blocks of 0 and 131,072 bytes do not make parameter files; nothing is written.
  for (std::size_t size : {std::size_t{0}, std::size_t{131072}}) {
    test::WriteAll(dir / "block.bin", Block(size));
    const CliRun run =
        RunCli(dir, "params encode " + Quote(dir / "block.bin") + " " + Quote(dir / "n.prm"));
    EXPECT_EQ(run.status, 2) << size;
    EXPECT_FALSE(std::filesystem::exists(dir / "n.prm")) << size;
  }
}

TEST(CliConnection, ClosedPrinterPortFailsToConnectWithDetails) {
  TempDir dir;
  test::WriteAll(dir / "empty.ini", "");
  // Nothing listens on this address.
  const CliRun run = RunCli(dir, "-q --settings " + Quote(dir / "empty.ini") +
                                     " --port network --host 127.0.0.97 --lpd-port 5515 report");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("Failed to connect.\n")) << run.err;
  EXPECT_NE(run.err.find("  details: "), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(CliConnection, StoredSettingsAreReadAndNeverWritten) {
  TempDir dir;
  const std::string profile =
      "[Port]\nPort=1\nHostSel=0\nNumHost=1\nHost0=127.0.0.98\nMachineType=1\n";
  test::WriteAll(dir / "tavi.ini", profile);
  // The stored port kind and host are used: the connect to the stored host fails.
  const CliRun run =
      RunCli(dir, "-q --settings " + Quote(dir / "tavi.ini") + " --lpd-port 5515 --type 1 report");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("Failed to connect.\n")) << run.err;
  EXPECT_EQ(test::ReadAll(dir / "tavi.ini"), profile);
}

}  // namespace
}  // namespace tavi
