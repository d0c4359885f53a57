// params decode FILE [-o BLOCK]: a parameter file checked and unpacked, without a printer.
#include <CLI/CLI.hpp>

#include "frontends/cli/cli_offline.h"
#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("FILE", out.file, "Parameter file")->required();
  command
      .add_option("-o,--output", out.output,
                  "Raw block to write (replaced atomically; - for stdout, the length then on "
                  "stderr)")
      ->type_name("BLOCK");
}

}  // namespace

extern const CommandEntry kParamsDecodeCommand{
    .id = Command::kParamsDecode,
    .operation = Operation::kDecodeParameters,
    .summary = "Check a parameter file, print the block length, write the raw block",
    .brief = "offline: check a parameter file, print the block length, write the raw block",
    .man =
        R"(Check the parameter file \fIFILE\fR without a printer, print the length of its parameter block
in bytes, and with \fB\-o\fR write the raw block (without its check byte) to \fIBLOCK\fR
(with \fB\-o \-\fR to standard output, the length then on standard error).
)",
    .reach = Reach::kOffline,
    .bind = Bind,
    .run_offline = RunParamsDecode,
};

}  // namespace tavi::cli
