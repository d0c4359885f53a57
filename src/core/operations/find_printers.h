// Find... in the Select Port window: sweeps the network for the family's printers under a
// progress window, lets the person pick one, and puts the picked printer first in the host list
// with its family. The windows supply the progress window and the list to pick from.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "core/discovery/discover.h"

namespace tavi {

class ProgressDialog;
class SelectPortRules;

enum class FindOutcome {
  kCancelled,            // the sweep was cancelled, or the window is closing: nothing shown
  kNothingPicked,        // the list was shown and closed without a pick
  kPicked,               // the picked printer is first in the host list, its family chosen
  kPickedFamilyUnknown,  // the picked printer is first; its family could not be told
};

// Shows the printers found and returns the one picked (none: closed without a pick).
using PickFoundPrinter =
    std::function<std::optional<discovery::FoundHost>(std::vector<discovery::FoundHost>)>;

// Runs the sweep of `request` under `progress` (its Cancel ends the sweep; its waits are socket
// waits, measured on real time). Unless it was cancelled or `still_open` says the window is
// closing, the family's printers are offered through `pick`; the picked one goes into `rules`.
[[nodiscard]] FindOutcome FindPrintersFlow(const discovery::DiscoverRequest& request,
                                           ProgressDialog& progress, SelectPortRules& rules,
                                           const std::function<bool()>& still_open,
                                           const PickFoundPrinter& pick);

}  // namespace tavi
