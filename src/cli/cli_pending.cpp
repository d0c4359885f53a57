// Commands whose building blocks are not in the tree yet.
#include <cstdio>

#include "cli/cli_commands.h"
#include "cli/cli_offline.h"
#include "cli/cli_texts.h"

namespace tavi::cli {
namespace {
int NotYet(std::FILE* err) {
  std::fputs("This command is not available in this build yet.\n", err);
  return kExitFailed;
}
}  // namespace
int RunParamsDecode(const Invocation&, std::FILE*, std::FILE* err) {
  return NotYet(err);
}
int RunParamsEncode(const Invocation&, std::FILE* err) {
  return NotYet(err);
}
int RunPorts(std::FILE*, std::FILE* err) {
  return NotYet(err);
}
int RunSetHeadRank(const CommandContext&) {
  return NotYet(stderr);
}
}  // namespace tavi::cli
