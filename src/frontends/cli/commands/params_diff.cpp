// params diff A B: two parameter blocks compared byte by byte, without a printer.
#include <CLI/CLI.hpp>

#include "frontends/cli/cli_offline.h"
#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("A", out.file, "First parameter file")->required();
  command.add_option("B", out.file_b, "Second parameter file")->required();
  command.add_flag("--raw-a", out.raw_a, "A is a raw block (as params decode -o writes it)");
  command.add_flag("--raw-b", out.raw_b, "B is a raw block (as params decode -o writes it)");
}

}  // namespace

extern const CommandEntry kParamsDiffCommand{
    .id = Command::kParamsDiff,
    .operation = Operation::kCompareParameters,
    .summary = "Compare the parameter blocks of two files; exits like cmp",
    .brief = "offline: compare two parameter files byte by byte; exits like cmp",
    .man =
        R"(Decode the parameter files \fIA\fR and \fIB\fR without a printer and compare their parameter
blocks byte by byte (with \fB\-\-raw\-a\fR or \fB\-\-raw\-b\fR that file is a raw block, as
\fBparams decode \-o\fR writes it).
Prints each range of offsets where they differ with both files' bytes in hexadecimal (at most
32 bytes a side; \fB\-\-json\fR gives them all, in "differences"), a tail that only the longer
block has showing \fI(none)\fR for the other.
Exits like \fBcmp\fR(1): 0 equal, 1 different, 2 trouble (an illegal or unreadable file, which
is named).
)",
    .reach = Reach::kOffline,
    .bind = Bind,
    .run_offline = RunParamsDiff,
};

}  // namespace tavi::cli
