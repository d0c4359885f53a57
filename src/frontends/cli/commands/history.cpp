// history: what was done to which printer, and when, from the service journal.
#include <CLI/CLI.hpp>

#include "core/journal/journal.h"
#include "frontends/cli/cli_journal.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_texts.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("--operation", out.operation_filter,
                     "Only this operation (get-params, put-params, firmware, ...)");
  command.add_option("--since", out.since, "Only records at or after this UTC time (ISO 8601)");
  command.add_option("--until", out.until, "Only records at or before this UTC time (ISO 8601)");
}

// A time bound in the journal's form; false (said on `err`) for text that is no such time.
bool Bound(const std::string& text, const char* option, std::string& out, std::FILE* err) {
  if (text.empty()) return true;
  const std::optional<std::string> normal = NormalizeJournalTime(text);
  if (!normal) {
    (void)WriteText(err, std::string(option) + ": '" + text +
                             "' is not a UTC time such as 2026-12-10 or 2026-12-10T07:35:12Z\n");
    return false;
  }
  // An --until without seconds or without a time of day takes in the whole minute or day.
  out = *normal;
  return true;
}

int RunHistory(const Invocation& invocation, std::FILE* out, std::FILE* err) {
  JournalFilter filter;
  filter.host = invocation.host.value_or("");
  filter.operation = invocation.operation_filter;
  if (!Bound(invocation.since, "--since", filter.since, err) ||
      !Bound(invocation.until, "--until", filter.until, err)) {
    return kExitUsage;
  }
  if (!invocation.until.empty()) {
    const std::size_t given = invocation.until.size() - (invocation.until.back() == 'Z' ? 1 : 0);
    if (given == 10) filter.until = filter.until.substr(0, 11) + "23:59:59Z";
    if (given == 16) filter.until = filter.until.substr(0, 17) + "59Z";
  }
  const Journal journal = MakeJournal();
  for (const JournalRecord& record : journal.ReadAll()) {
    if (!Matches(record, filter)) continue;
    const std::string line = invocation.json ? EncodeJournalLine(record) : JournalLineText(record);
    if (!WriteText(out, line + "\n")) return kExitFailed;
  }
  return std::fflush(out) == 0 ? kExitSuccess : kExitFailed;
}

}  // namespace

extern const CommandEntry kHistoryCommand{
    .id = Command::kHistory,
    .operation = Operation::kHistory,
    .summary = "List the service journal: what was done to which printer, and when",
    .brief = "list the service journal",
    .man =
        R"(List the service journal, oldest first: every operation of tavi and tavi-cli with its time
(UTC), program, user, printer, outcome and the files it read or wrote.
\fB--host\fR keeps one printer's records, \fB--operation\fR one operation's,
\fB--since\fR and \fB--until\fR a span of time; \fB--json\fR writes each record as the
journal holds it, one JSON object per line.
)",
    .reach = Reach::kJournal,
    .bind = Bind,
    .run_own = RunHistory,
};

}  // namespace tavi::cli
