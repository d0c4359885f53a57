// set-head-rank HEAD RANK | HEAD --file F: the rank code of one print head.
#include <CLI/CLI.hpp>

#include "core/connection/printer_connection.h"
#include "core/protocol/operations.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet_host.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_texts.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("HEAD", out.head, "Head number 1..8")->required()->check(CLI::Range(1, 8));
  auto* rank_text = command.add_option(
      "RANK", out.rank, "Head rank line, spaced (35 characters) or compact (33 characters)");
  auto* rank_file =
      command.add_option("--file", out.rank_file, "Head rank file to take the rank from")
          ->type_name("F");
  rank_text->excludes(rank_file);
  command.callback([rank_text, rank_file] {
    if (rank_text->count() == 0 && rank_file->count() == 0) {
      throw CLI::ValidationError("set-head-rank", "give RANK or --file F");
    }
  });
}

int Run(const CommandContext& context) {
  std::string head_rank;
  const int loaded =
      LoadHeadRank(context.invocation, context.messages, head_rank, &context.progress);
  if (loaded != kExitSuccess) return loaded;
  PrinterConnection connection = MakeConnection(context);
  // Heads are numbered from 1 on the command line; the printer counts from 0.
  return SetHeadRank(connection, context.invocation.head - 1, head_rank) ? kExitSuccess
                                                                         : kExitFailed;
}

int PrepareOnHosts(const Invocation& invocation, std::size_t /*host_count*/, CliMessages& say,
                   FleetJob& job) {
  // Heads are numbered from 1 on the command line; the printer counts from 0.
  job.head_index = invocation.head - 1;
  return LoadHeadRank(invocation, say, job.head_rank);
}

int RunOnHost(const FleetJob& job, const std::string& /*host*/, PrinterConnection& connection,
              const Trace& /*trace*/, HostResult& /*result*/) {
  return SetHeadRank(connection, job.head_index, job.head_rank) ? kExitSuccess : kExitFailed;
}

}  // namespace

extern const CommandEntry kSetHeadRankCommand{
    .id = Command::kSetHeadRank,
    .operation = Operation::kSetHeadRank,
    .summary =
        "Set the rank code of head HEAD (1..8), from RANK or from a head rank file; prints "
        "\"Done.\"",
    .brief =
        "HEAD 1..8; RANK a head rank line, spaced (35 chars) or compact (33), or --file F, "
        "a head rank file; prints \"Done.\"",
    .man = R"(Set the rank code of head \fIHEAD\fR (1 to 8).
\fIRANK\fR is a head rank line: 35 characters with spaces at positions 15 and 28 (counting
from 0), or the same 33 characters without the spaces; every other character is a digit, a
letter or one of "$%*+-.:".
Quote the spaced form for the shell.
With \fB\-\-file\fR \fIF\fR instead of \fIRANK\fR, the rank is taken from the head rank file
\fIF\fR: its first line that is neither empty nor a "#" comment.
An illegal line gives "Illegal Head Rank File." and sends nothing.
Prints "Done.".
)",
    .reach = Reach::kPrinter,
    .bind = Bind,
    .run_printer = Run,
    .fleet_prepare = PrepareOnHosts,
    .fleet_run = RunOnHost,
    .changes_printer = true,
};

}  // namespace tavi::cli
