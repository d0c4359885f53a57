// params encode BLOCK FILE: a parameter file made from a raw block, without a printer.
#include <CLI/CLI.hpp>

#include "frontends/cli/cli_offline.h"
#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("BLOCK", out.block, "Raw parameter block, 1 to 131,071 bytes")->required();
  command.add_option("FILE", out.file, "Parameter file to write (replaced atomically)")->required();
}

int Run(const Invocation& invocation, std::FILE* /*out*/, CliMessages& messages,
        CommandResult& /*result*/) {
  return RunParamsEncode(invocation, messages);
}

}  // namespace

extern const CommandEntry kParamsEncodeCommand{
    .id = Command::kParamsEncode,
    .operation = Operation::kEncodeParameters,
    .summary = "Make a parameter file from a raw block",
    .brief = "offline: make a parameter file from a raw block",
    .man =
        R"(Make the parameter file \fIFILE\fR from the raw parameter block \fIBLOCK\fR (1 to 131,071
bytes).
)",
    .reach = Reach::kOffline,
    .bind = Bind,
    .run_offline = Run,
};

}  // namespace tavi::cli
