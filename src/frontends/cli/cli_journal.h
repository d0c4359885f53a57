// tavi-cli's part of the service journal: the record of a run (or of one host of a fleet run)
// made from its result, with the files its command line names.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/journal/journal.h"
#include "frontends/cli/cli_args.h"
#include "frontends/cli/cli_json.h"

namespace tavi::cli {

// The journal in the user's state folder; its one warning goes to standard error.
Journal MakeJournal();

// The files the command reads and writes, each with its role; `host` expands "{host}" in an
// output path of a fleet run (empty for one printer).
std::vector<std::pair<std::string, std::string>> JournalFiles(const Invocation& invocation,
                                                              const std::string& host);

// Appends the record of `result`, with `files` described as they are now.
void JournalResult(Journal& journal, const CommandResult& result,
                   const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace tavi::cli
