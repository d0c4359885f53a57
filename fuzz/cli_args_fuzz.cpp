// Feeds tavi-cli's command-line parser argument vectors made of the input's NUL-separated pieces,
// with the help and error texts going nowhere, and checks that whatever it accepts is a command
// with values in their ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "frontends/cli/cli_args.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Swallows what the parser prints.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

constexpr std::size_t kMaxArguments = 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullBuffer null_buffer;
  std::streambuf* const old_out = std::cout.rdbuf(&null_buffer);
  std::streambuf* const old_err = std::cerr.rdbuf(&null_buffer);

  std::vector<std::string> pieces{"tavi-cli"};
  std::string piece;
  for (std::size_t i = 0; i < size && pieces.size() < kMaxArguments; ++i) {
    if (data[i] == 0) {
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece += static_cast<char>(data[i]);
    }
  }
  if (!piece.empty() && pieces.size() < kMaxArguments) pieces.push_back(piece);
  std::vector<const char*> argv;
  for (const std::string& p : pieces) argv.push_back(p.c_str());
  argv.push_back(nullptr);

  tavi::cli::Invocation invocation;
  const tavi::cli::ParseResult result =
      tavi::cli::ParseArguments(static_cast<int>(pieces.size()), argv.data(), invocation);
  std::cout.rdbuf(old_out);
  std::cerr.rdbuf(old_err);

  using tavi::cli::Command;
  if (!result.run) {
    Check(result.exit_status == 0 || result.exit_status == 2);
    return 0;
  }
  Check(invocation.command != Command::kNone);
  Check(invocation.timeout_seconds >= 0);
  if (invocation.port) Check(*invocation.port >= 0 && *invocation.port <= 2);
  if (invocation.machine_type)
    Check(*invocation.machine_type == 0 || *invocation.machine_type == 1);
  if (invocation.command == Command::kSetHeadRank) {
    Check(invocation.head >= 1 && invocation.head <= 8);
    Check(!invocation.rank.empty() || !invocation.rank_file.empty());
  }
  if (invocation.command == Command::kGetParams || invocation.command == Command::kPutParams ||
      invocation.command == Command::kFirmware) {
    Check(!invocation.file.empty());
  }
  return 0;
}
