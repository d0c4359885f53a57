#include "core/operations/find_printers.h"

#include <utility>

#include "core/discovery/targets.h"
#include "core/operations/select_port_rules.h"
#include "core/ui/seams.h"

namespace tavi {

FindOutcome FindPrintersFlow(const discovery::DiscoverRequest& request, ProgressDialog& progress,
                             SelectPortRules& rules, const std::function<bool()>& still_open,
                             const PickFoundPrinter& pick) {
  progress.SetProgressRange(100);
  progress.SetProgressPos(0);
  progress.Show(true);
  SteadyClock steady;
  const discovery::Discovered found = discovery::Discover(request, steady, &progress);
  progress.Show(false);
  if (found.sweep.cancelled || !still_open()) return FindOutcome::kCancelled;

  const std::optional<discovery::FoundHost> picked =
      pick(discovery::Listed(found.sweep.hosts, false));
  if (!picked) return FindOutcome::kNothingPicked;
  const bool family_told = rules.PickFoundHost(discovery::AddressText(picked->address),
                                               discovery::MachineTypeOf(*picked));
  return family_told ? FindOutcome::kPicked : FindOutcome::kPickedFamilyUnknown;
}

}  // namespace tavi
