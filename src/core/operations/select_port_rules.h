// The rules of the Select Port window, kept apart from the window itself: the copies of the
// port settings, the two radio groups, the host combo box as plain data, the enable rule,
// Delete Host, OK and the copy-back. The window binds its controls to this object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/port_settings.h"

namespace tavi {

// The host combo box: a drop-down list with an edit field.
struct HostCombo {
  std::vector<std::string> entries;
  std::int32_t selection = -1;  // index of the selected entry, -1 for none
  std::string edit_text;

  // Selects entry `index` and shows its text in the edit field; an index outside the list
  // selects nothing and leaves the edit field as it is.
  void Select(std::int32_t index);
  // The user types into the edit field: the text changes and no list entry stays selected.
  void Type(std::string text);
};

// Which controls can be used.
struct SelectPortEnables {
  bool port_radios = true;  // "via Parallel Port", "via Network", "via USB"
  bool host_combo = true;
  bool delete_host = true;
  bool restart = true;
  bool community = true;    // the SNMP community field, with the host controls
  bool type_radios = true;  // "Type1", "Type2"
};

inline constexpr int kPortRadioCount = 3;  // index = port kind
inline constexpr int kTypeRadioCount = 2;  // index = machine type

class SelectPortRules {
 public:
  // Copy-in: port value (the port kind if 0..2, else -1), the host list, the selected index and
  // the machine type value (the machine type, whatever it is).
  explicit SelectPortRules(const PortSettings& settings);

  // Opening the window: marks the radio buttons from the two values, fills the combo box,
  // selects the entry at the selected index, applies the enable rule and enables the type radios.
  void Initialise();

  // Clicks: a port radio sets the port value to its index, moves the mark and applies the
  // enable rule; a type radio only moves the mark (its value is read at OK). Indexes outside
  // the group are ignored.
  void ClickPortRadio(int index);
  void ClickTypeRadio(int index);

  // Deletes the selected entry; the selection moves to the entry that took its place, or to the
  // new last entry. Nothing happens without a selection.
  void DeleteHost();

  // A printer that discovery found and the user picked: it enters the list as a typed host does
  // on OK (at the front, selected) at once, an equal entry further down goes, the port becomes
  // the network, as a click on "via Network" makes it, and a `machine_type` of 0 or 1 (the
  // family the printer told) marks its type radio. Returns false when the family could not be
  // told (any other `machine_type`): the marked type then stays as the person chose it.
  [[nodiscard]] bool PickFoundHost(const std::string& host, std::int32_t machine_type);

  // OK: the new host list (a typed name first and selected, then every entry) and the values read
  // back from the radio marks (-1 where none is marked).
  void Ok();

  // Why OK cannot close the window now, or nothing: the typed community cannot be sent (in the
  // words of CommunityFault). The window shows it and stays open.
  [[nodiscard]] std::optional<std::string> OkRefusal() const;

  // The user types into the community field.
  void TypeCommunity(std::string text) { community_text_ = std::move(text); }
  const std::string& community_text() const { return community_text_; }
  // The community Restart and Find... use: the typed one when it can be sent, else the one the
  // window opened with.
  std::string CurrentCommunity() const;

  // Writes the results into `settings` after OK; does nothing when OK was not pressed (Cancel).
  // The port kind changes only for a port value of 0..2; the machine type takes the machine type
  // value as it is, -1 included; the community is the typed one if it can be sent, else unchanged.
  void ApplyTo(PortSettings& settings) const;

  // The host Restart talks to: the selected entry's text, or the edit field's text.
  std::string RestartHost() const;

  HostCombo& combo() { return combo_; }
  const HostCombo& combo() const { return combo_; }
  const SelectPortEnables& enables() const { return enables_; }
  // The marked radio of each group, -1 for none.
  int checked_port_radio() const { return checked_port_; }
  int checked_type_radio() const { return checked_type_; }
  std::int32_t port_value() const { return port_value_; }
  std::int32_t machine_type_value() const { return machine_type_value_; }
  std::int32_t selected_index() const { return selected_index_; }
  const std::vector<std::string>& hosts() const { return hosts_; }
  bool accepted() const { return accepted_; }

 private:
  void ApplyEnableRule();

  std::int32_t port_value_ = -1;
  std::int32_t machine_type_value_ = -1;
  std::int32_t selected_index_ = 0;
  std::vector<std::string> hosts_;
  std::string community_;       // the community OK stores
  std::string community_text_;  // the community field's text
  HostCombo combo_;
  SelectPortEnables enables_;
  int checked_port_ = -1;
  int checked_type_ = -1;
  bool accepted_ = false;
};

}  // namespace tavi
