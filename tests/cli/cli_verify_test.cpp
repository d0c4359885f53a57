// Verified restores through the real tavi-cli against a virtual printer on the network, and the
// offline comparison of parameter files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli_runner.h"
#include "core/resources/strings.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;
using test::TempDir;
using ::testing::HasSubstr;

class CliVerify : public ::testing::Test {
 protected:
  void Start(const char* address, sim::SimOptions options = {}) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.options = std::move(options);
    printer_ = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    ASSERT_TRUE(printer_->Start(error)) << error;
    test::WriteAll(dir_ / "empty.ini", "");
    common_ = "-q --settings " + Quote(dir_ / "empty.ini") + " --port network --host " + address +
              " --lpd-port " + std::to_string(printer_->lpd_port()) + " --snmp-port " +
              std::to_string(printer_->snmp_port()) + " ";
  }
  void TearDown() override {
    if (printer_) printer_->Stop();
  }
  CliRun Cli(const std::string& args, double interrupt_after = 0) {
    return RunCli(dir_, common_ + args, interrupt_after);
  }
  // Writes `block` as the parameter file `name` through params encode.
  std::string Encode(const std::string& block, const std::string& name) {
    test::WriteAll(dir_ / (name + ".bin"), block);
    const CliRun run =
        RunCli(dir_, "params encode " + Quote(dir_ / (name + ".bin")) + " " + Quote(dir_ / name));
    EXPECT_EQ(run.status, 0) << run.err;
    return dir_ / name;
  }
  sim::PrinterModel& model() { return printer_->model(); }

  TempDir dir_;
  std::unique_ptr<sim::VirtualPrinter> printer_;
  std::string common_;
};

TEST_F(CliVerify, ReadBackEqualsAndAPrinterThatKeepsItsBlockIsCaughtAtTheOffsets) {
  Start("127.0.104.1");
  const std::string original = model().Params();
  ASSERT_GT(original.size(), 300u);
  std::string changed = original;
  changed[5] = static_cast<char>(changed[5] ^ 0xFF);
  changed[200] = static_cast<char>(changed[200] ^ 0x01);
  changed[201] = static_cast<char>(changed[201] ^ 0x01);
  const std::string file = Encode(changed, "changed.prm");

  // The printer takes the block: "Done." and the read-back's line, exit 0.
  const CliRun equal = Cli("put-params --verify " + Quote(file));
  EXPECT_EQ(equal.status, 0) << equal.err;
  EXPECT_EQ(equal.out, "Done.\n" + std::string(LoadString(kIdsVerifiedEqual)) + "\n");
  EXPECT_EQ(equal.err, "");
  EXPECT_EQ(model().Params(), changed);
  // The block was read with the normal exchange after the restore: one more GET PARAM, ended.
  EXPECT_EQ(model().log().Count("closing-zero"), 1u);

  // A printer that acknowledges the image but keeps its block: the restore itself still says
  // "Done.", the read-back names each differing range with both sides, and exit status 4.
  sim::SimOptions keeps = model().Options();
  keeps.params_not_stored = true;
  model().SetOptions(keeps);
  const std::string back = Encode(original, "original.prm");
  const CliRun differs = Cli("put-params --verify " + Quote(back));
  EXPECT_EQ(differs.status, 4) << differs.err;
  EXPECT_EQ(differs.out, "Done.\n");
  EXPECT_THAT(differs.err, HasSubstr(std::string(LoadString(kIdsVerifyMismatch))));
  char hex[64];
  std::snprintf(hex, sizeof hex, "offset 5 (0x5), 1 byte: %02X | %02X",
                static_cast<unsigned char>(original[5]), static_cast<unsigned char>(changed[5]));
  EXPECT_THAT(differs.err, HasSubstr(hex));
  EXPECT_THAT(differs.err, HasSubstr("offset 200 (0xC8), 2 bytes: "));
  EXPECT_EQ(model().Params(), changed);
  EXPECT_EQ(model().log().Count("params-not-stored"), 1u);

  // Without --verify nothing is read back: the printer is asked for nothing more.
  const CliRun plain = Cli("put-params " + Quote(back));
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out, "Done.\n");
  EXPECT_EQ(model().log().Count("closing-zero"), 2u);

  // The JSON result carries the mismatch as its own outcome.
  const CliRun json = Cli("--json put-params --verify " + Quote(back));
  EXPECT_EQ(json.status, 4);
  const auto object = nlohmann::json::parse(json.out, nullptr, false);
  ASSERT_TRUE(object.is_object()) << json.out;
  EXPECT_EQ(object["outcome"], "mismatch");
  EXPECT_EQ(object["message_id"], kIdsVerifyMismatch);
  EXPECT_THAT(object["details"].get<std::string>(), HasSubstr("offset 200 (0xC8)"));
}

TEST_F(CliVerify, APrinterSilentAfterTheResetEndsWithTheTimeoutOrSigint) {
  sim::SimOptions silent;
  silent.snmp.silent = true;
  Start("127.0.104.2", silent);
  const std::string file = Encode(model().Params(), "same.prm");

  // The restore takes some 3.6 s; the time-out runs out in the wait that follows it.
  const auto start = std::chrono::steady_clock::now();
  const CliRun timed = Cli("--timeout 6 put-params --verify " + Quote(file));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_EQ(timed.status, 3) << timed.err;
  EXPECT_EQ(timed.out, "Done.\n");
  EXPECT_THAT(timed.err, HasSubstr("Timed out."));
  EXPECT_THAT(timed.err, HasSubstr("no answer from network, host '127.0.104.2'"));
  EXPECT_LT(ms, 8000);
  EXPECT_GE(ms, 5900);

  // Ctrl-C in the same wait ends the run as interrupted, at once.
  const CliRun interrupted = Cli("put-params --verify " + Quote(file), 5.0);
  EXPECT_EQ(interrupted.status, 130) << interrupted.err;
  EXPECT_EQ(interrupted.out, "Done.\n");
  EXPECT_EQ(model().log().Count("closing-zero"), 0u);
}

TEST(ParamsDiff, EqualOneByteApartOtherLengthsRawBlocksAndAnIllegalFile) {
  TempDir dir;
  std::string block(1000, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
  std::string one_apart = block;
  one_apart[700] = static_cast<char>(0xAB);
  const std::string longer = block + "\x01\x02\x03";
  const auto encode = [&](const std::string& bytes, const std::string& name) {
    test::WriteAll(dir / (name + ".bin"), bytes);
    EXPECT_EQ(RunCli(dir, "params encode " + Quote(dir / (name + ".bin")) + " " + Quote(dir / name))
                  .status,
              0);
    return Quote(dir / name);
  };
  const std::string a = encode(block, "a.prm");
  const std::string a2 = encode(block, "a2.prm");
  const std::string b = encode(one_apart, "b.prm");
  const std::string c = encode(longer, "c.prm");

  const CliRun equal = RunCli(dir, "params diff " + a + " " + a2);
  EXPECT_EQ(equal.status, 0) << equal.err;
  EXPECT_EQ(equal.out, "The parameter blocks are equal (1000 bytes).\n");

  char expect[80];
  std::snprintf(expect, sizeof expect, "offset 700 (0x2BC), 1 byte: %02X | AB\n",
                static_cast<unsigned char>(block[700]));
  const CliRun apart = RunCli(dir, "params diff " + a + " " + b);
  EXPECT_EQ(apart.status, 1) << apart.err;
  EXPECT_THAT(apart.out, HasSubstr("differ in 1 range"));
  EXPECT_THAT(apart.out, HasSubstr(expect));

  // The longer block's tail is a range of its own, which the shorter lacks.
  const CliRun lengths = RunCli(dir, "params diff " + c + " " + a);
  EXPECT_EQ(lengths.status, 1) << lengths.err;
  EXPECT_THAT(lengths.out, HasSubstr("The lengths differ: 1003 bytes and 1000 bytes."));
  EXPECT_THAT(lengths.out, HasSubstr("offset 1000 (0x3E8), 3 bytes: 01 02 03 | (none)\n"));

  // A raw block against the file made from it is equal; against the other, one byte apart.
  EXPECT_EQ(RunCli(dir, "params diff --raw-a " + Quote(dir / "a.prm.bin") + " " + a).status, 0);
  const CliRun raw =
      RunCli(dir, "--json params diff --raw-b " + a + " " + Quote(dir / "b.prm.bin"));
  EXPECT_EQ(raw.status, 1) << raw.err;
  const auto object = nlohmann::json::parse(raw.out, nullptr, false);
  ASSERT_TRUE(object.is_object()) << raw.out;
  EXPECT_EQ(object["command"], "params diff");
  EXPECT_EQ(object["outcome"], "different");
  EXPECT_EQ(object["equal"], false);
  EXPECT_EQ(object["length_a"], 1000);
  EXPECT_EQ(object["length_b"], 1000);
  ASSERT_EQ(object["differences"].size(), 1u);
  EXPECT_EQ(object["differences"][0]["offset"], 700);
  EXPECT_EQ(object["differences"][0]["length"], 1);
  EXPECT_EQ(object["differences"][0]["b"], "AB");

  const CliRun tail = RunCli(dir, "--json params diff " + a + " " + c);
  const auto tail_object = nlohmann::json::parse(tail.out, nullptr, false);
  ASSERT_TRUE(tail_object.is_object()) << tail.out;
  EXPECT_TRUE(tail_object["differences"][0]["a"].is_null());
  EXPECT_EQ(tail_object["differences"][0]["b"], "01 02 03");

  // An illegal file (here a raw block taken for a parameter file) is trouble, and named.
  const CliRun illegal = RunCli(dir, "params diff " + a + " " + Quote(dir / "b.prm.bin"));
  EXPECT_EQ(illegal.status, 2);
  EXPECT_EQ(illegal.out, "");
  EXPECT_THAT(illegal.err, HasSubstr(std::string(LoadString(kIdsIllegalParameterFile))));
  EXPECT_THAT(illegal.err, HasSubstr("b.prm.bin"));
  EXPECT_EQ(RunCli(dir, "params diff " + a + " " + Quote(dir / "missing.prm")).status, 2);
}

}  // namespace
}  // namespace tavi
