// How the outcome of a file flow becomes tavi-cli's exit status.
#pragma once

#include "core/operations/flow_outcome.h"
#include "frontends/cli/cli_texts.h"

namespace tavi::cli {

constexpr int ExitStatusFor(FlowOutcome outcome) {
  switch (outcome) {
    case FlowOutcome::kSuccess:
      return kExitSuccess;
    case FlowOutcome::kFailed:
    case FlowOutcome::kFileWriteError:
      return kExitFailed;
    case FlowOutcome::kMismatch:
      return kExitMismatch;
    case FlowOutcome::kCancelled:  // only an empty path on the command line gets here
    case FlowOutcome::kIllegalInput:
    case FlowOutcome::kFileReadError:
    case FlowOutcome::kNothingFound:
      return kExitUsage;
  }
  return kExitFailed;
}

}  // namespace tavi::cli
