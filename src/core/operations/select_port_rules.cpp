#include "core/operations/select_port_rules.h"

#include <utility>

namespace tavi {
namespace {

// The radio of a group whose index equals `value`, or none.
int RadioFor(std::int32_t value, int count) {
  return value >= 0 && value < count ? value : -1;
}

}  // namespace

void HostCombo::Select(std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) {
    selection = -1;
    return;
  }
  selection = index;
  edit_text = entries[static_cast<std::size_t>(index)];
}

void HostCombo::Type(std::string text) {
  edit_text = std::move(text);
  selection = -1;
}

SelectPortRules::SelectPortRules(const PortSettings& settings)
    : port_value_(IsPortKind(settings.port) ? settings.port : -1),
      machine_type_value_(settings.machine_type),
      selected_index_(settings.host_sel),
      hosts_(settings.hosts),
      community_(settings.community),
      community_text_(settings.community) {}

void SelectPortRules::Initialise() {
  checked_port_ = RadioFor(port_value_, kPortRadioCount);
  checked_type_ = RadioFor(machine_type_value_, kTypeRadioCount);
  combo_ = HostCombo{};
  combo_.entries = hosts_;
  combo_.Select(selected_index_);
  ApplyEnableRule();
  enables_.type_radios = true;
}

void SelectPortRules::ApplyEnableRule() {
  enables_.port_radios = true;
  bool host_controls = false;
  switch (port_value_) {
    case kPortParallel:
    case kPortUsb:
      host_controls = false;
      break;
    case kPortNetwork:
      host_controls = true;
      break;
    default:
      return;  // any other value leaves the host controls as they are
  }
  enables_.host_combo = host_controls;
  enables_.delete_host = host_controls;
  enables_.restart = host_controls;
  enables_.community = host_controls;
}

void SelectPortRules::ClickPortRadio(int index) {
  if (index < 0 || index >= kPortRadioCount) return;
  port_value_ = index;
  checked_port_ = index;
  ApplyEnableRule();
}

void SelectPortRules::ClickTypeRadio(int index) {
  if (index < 0 || index >= kTypeRadioCount) return;
  checked_type_ = index;
}

void SelectPortRules::DeleteHost() {
  std::int32_t s = combo_.selection;
  if (s < 0 || static_cast<std::size_t>(s) >= combo_.entries.size()) return;
  combo_.entries.erase(combo_.entries.begin() + s);
  const auto n = static_cast<std::int32_t>(combo_.entries.size());
  if (s >= n) --s;
  combo_.Select(s);
}

bool SelectPortRules::PickFoundHost(const std::string& host, std::int32_t machine_type) {
  std::erase(combo_.entries, host);
  combo_.entries.insert(combo_.entries.begin(), host);
  combo_.Select(0);
  ClickPortRadio(kPortNetwork);
  if (machine_type < 0 || machine_type >= kTypeRadioCount) return false;
  ClickTypeRadio(machine_type);
  return true;
}

void SelectPortRules::Ok() {
  hosts_.clear();
  selected_index_ = combo_.selection;
  if (selected_index_ == -1) {
    // A typed name (verbatim, even empty) goes first and becomes the selected host.
    hosts_.push_back(combo_.edit_text);
    selected_index_ = 0;
  }
  hosts_.insert(hosts_.end(), combo_.entries.begin(), combo_.entries.end());
  port_value_ = checked_port_;
  machine_type_value_ = checked_type_;
  // A community that cannot be sent never reaches the settings (the window refuses OK with it;
  // this holds also for an OK held while Restart ran).
  if (!CommunityFault(community_text_)) community_ = community_text_;
  accepted_ = true;
}

std::optional<std::string> SelectPortRules::OkRefusal() const {
  return CommunityFault(community_text_);
}

std::string SelectPortRules::CurrentCommunity() const {
  return CommunityFault(community_text_) ? community_ : community_text_;
}

void SelectPortRules::ApplyTo(PortSettings& settings) const {
  if (!accepted_) return;
  if (IsPortKind(port_value_)) settings.port = port_value_;
  settings.hosts = hosts_;
  settings.host_sel = selected_index_;
  settings.machine_type = machine_type_value_;
  settings.community = community_;
}

std::string SelectPortRules::RestartHost() const {
  if (combo_.selection >= 0 && static_cast<std::size_t>(combo_.selection) < combo_.entries.size()) {
    return combo_.entries[static_cast<std::size_t>(combo_.selection)];
  }
  return combo_.edit_text;
}

}  // namespace tavi
