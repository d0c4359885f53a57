#include "frontends/cli/cli_journal.h"

#include "core/resources/constants.h"
#include "frontends/cli/cli_hosts.h"
#include "os/journal_file.h"
#include "os/terminal.h"

namespace tavi::cli {

Journal MakeJournal() {
  return Journal(JournalFolder(), JournalBound(),
                 [](const std::string& text) { (void)WriteText(stderr, text + "\n"); });
}

std::vector<std::pair<std::string, std::string>> JournalFiles(const Invocation& invocation,
                                                              const std::string& host) {
  std::vector<std::pair<std::string, std::string>> files;
  const auto add = [&](const std::string& path, const char* role) {
    if (!path.empty()) files.emplace_back(path, role);
  };
  const auto written = [&](const std::string& path) {
    add(host.empty() ? path : ExpandHostPath(path, host), "written");
  };
  switch (invocation.command) {
    case Command::kReport:
    case Command::kGetParams:
      written(invocation.file);
      break;
    case Command::kPutParams:
    case Command::kFirmware:
      add(invocation.file, "read");
      break;
    case Command::kSetHeadRank:
      add(invocation.rank_file, "read");
      break;
    case Command::kParamsDecode:
      add(invocation.file, "read");
      written(invocation.output);
      break;
    case Command::kParamsEncode:
      add(invocation.block, "read");
      written(invocation.file);
      break;
    default:
      break;
  }
  return files;
}

void JournalResult(Journal& journal, const CommandResult& result,
                   const std::vector<std::pair<std::string, std::string>>& files) {
  JournalRecord record;
  record.time = JournalTimeNow();
  record.program = std::string(kCliProgramName);
  record.version = std::string(ProductVersion());
  record.user = CurrentUserName();
  record.port = result.port.value_or("");
  record.host = result.host.value_or("");
  record.family = result.family;
  record.operation = result.command;
  record.outcome = OutcomeName(result.exit_status);
  record.message_id = result.message_id;
  record.message = result.message;
  record.details = result.details;
  record.duration_ms = result.duration_ms;
  for (const auto& [path, role] : files) record.files.push_back(DescribeFile(path, role));
  (void)journal.Append(record);
}

}  // namespace tavi::cli
