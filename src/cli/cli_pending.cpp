// Commands whose building blocks are not in the tree yet.
#include <cstdio>

#include "cli/cli_commands.h"
#include "cli/cli_texts.h"

namespace tavi::cli {
int RunSetHeadRank(const CommandContext&) {
  std::fputs("This command is not available in this build yet.\n", stderr);
  return kExitFailed;
}
}  // namespace tavi::cli
