// The Select Port window (template 130): port kind, host list with Delete Host and Restart, and
// printer family. The window holds no rules of its own: it mirrors a SelectPortRules object into
// its controls and forwards every click and edit to it.
#pragma once

#include <QDialog>
#include <cstdint>

#include "core/discovery/discover.h"
#include "core/operations/select_port_rules.h"
#include "core/trace/trace.h"

namespace tavi {

class Clock;
class Messages;

class SelectPortDialog : public QDialog {
  Q_OBJECT

 public:
  // Works on copies of `settings`. Restart reports through `messages`, waits on `clock` and asks
  // the SNMP agent on `snmp_port` (0: the "snmp" service port).
  SelectPortDialog(const PortSettings& settings, Messages& messages, Clock& clock,
                   std::uint16_t snmp_port = 0, QWidget* parent = nullptr);

  const SelectPortRules& rules() const { return rules_; }

  // "Delete Host": removes the selected entry; the selection moves to the entry that took its
  // place, or to the new last one.
  void OnDeleteHost();
  // "Restart": asks the printer named in the combo box (the selected entry, else the typed text)
  // to restart, with a progress window of its own. The window stays open.
  void OnRestart();
  // Restart's wire trace (off by default): the host, the request, the answer or the failure,
  // the wait and how it ended.
  void set_trace(Trace trace) { trace_ = trace; }

  // "Find...": runs discovery with a progress window of its own (Cancel ends it and nothing is
  // shown), then lists the family's printers found; the one picked enters the host list at the
  // front, selected, and the port becomes the network.
  void OnFind();
  // What Find... asks: by default every interface's broadcast address on the SNMP port.
  void SetDiscoveryRequest(discovery::DiscoverRequest request) { discovery_ = std::move(request); }

  // OK: the rules take the combo box's state and the radio marks; then the window closes.
  void accept() override;
  // Closing while Restart or Find... runs is held until it is over.
  void done(int result) override;

 private:
  void Mirror();
  // Restart or Find... is over: focus its button, and close if that was asked meanwhile.
  void EndBusy(int button_id);
  void MirrorCombo();

  SelectPortRules rules_;
  Messages& messages_;
  Clock& clock_;
  std::uint16_t snmp_port_;
  bool busy_ = false;     // Restart or Find... runs
  int held_result_ = -1;  // the result of a close asked for during Restart; -1 for none
  discovery::DiscoverRequest discovery_;
  Trace trace_;
};

// Shows the Select Port window modally on `settings`; OK writes the results back into them
// (in memory only), Cancel leaves them as they were. True when OK was pressed. Restart writes
// to `trace`.
bool RunSelectPort(PortSettings& settings, Messages& messages, Clock& clock,
                   std::uint16_t snmp_port, QWidget* parent, Trace trace = {});

}  // namespace tavi
