// The head rank of set-head-rank (one printer or many): from the command line or a head rank
// file, checked before anything is sent.
#include <optional>
#include <string>
#include <utility>

#include "core/files/head_rank.h"
#include "core/operations/set_head_rank.h"
#include "core/resources/strings.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_outcome.h"
#include "frontends/cli/cli_texts.h"

namespace tavi::cli {

int LoadHeadRank(const Invocation& invocation, CliMessages& messages, std::string& head_rank,
                 ProgressDialog* progress) {
  HeadRankFields fields;
  if (!invocation.rank_file.empty()) {
    PathChooser chooser(invocation.rank_file);
    const FlowOutcome outcome = ReferenceHeadRankFlow(fields, chooser, messages, progress);
    if (outcome == FlowOutcome::kNothingFound) messages.ShowText(kTextNoHeadRankLine);
    if (outcome != FlowOutcome::kSuccess) return ExitStatusFor(outcome);
  } else if (ApplyHeadRankLine(invocation.rank, fields) != HeadRankLoad::kApplied) {
    messages.ShowMessage(kIdsIllegalHeadRankFile);
    return kExitUsage;
  }
  // Whichever way the fields came, only a rank that passes as a head rank line is sent.
  std::optional<std::string> checked = TypedHeadRankString(fields);
  if (!checked) {
    messages.ShowMessage(kIdsIllegalHeadRankFile);
    return kExitUsage;
  }
  head_rank = std::move(*checked);
  return kExitSuccess;
}

}  // namespace tavi::cli
