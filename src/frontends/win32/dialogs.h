// The sub-windows of the desktop program, each from its template: the About box, the Get Report
// window, Select Port and Set Head Rank. They hold no rules of their own: each binds its
// controls to the core's rules and flows.
#pragma once

#include <cstdint>
#include <string>

#include "core/discovery/discover.h"
#include "core/files/head_rank.h"
#include "core/operations/select_port_rules.h"
#include "core/trace/trace.h"
#include "frontends/win32/native_dialog.h"

namespace tavi {
class Clock;
class FileChooser;
class Messages;
}  // namespace tavi

namespace tavi::win {

// Template 100: the version text in line 1019, the icon, OK.
class AboutBox final : public NativeDialog {
 public:
  explicit AboutBox(std::string version) : NativeDialog(kDlgAbout), version_(std::move(version)) {}

 protected:
  BOOL OnInit() override;

 private:
  std::string version_;
};

// Template 129: the report in the read-only rich edit 1003, "Save" (1001) writes exactly its
// bytes to a file of the user's choice, "OK" closes.
class GetReportWindow final : public NativeDialog {
 public:
  GetReportWindow(std::string report, FileChooser& chooser, Messages& messages)
      : NativeDialog(kDlgGetReport),
        report_(std::move(report)),
        chooser_(chooser),
        messages_(messages) {}

 protected:
  BOOL OnInit() override;
  bool OnCommand(int id, int notification) override;

 private:
  std::string report_;
  FileChooser& chooser_;
  Messages& messages_;
};

// Template 130, mirroring a SelectPortRules object. Restart and Find... run with a progress
// window of their own; closing the window meanwhile is held until they are over. Find... lists
// what the sweep found, and the printer picked goes into the host list with its family.
class SelectPortWindow final : public NativeDialog {
 public:
  SelectPortWindow(const PortSettings& settings, Messages& messages, Clock& clock,
                   discovery::DiscoverRequest discovery, Trace trace = {})
      : NativeDialog(kDlgSelectPort),
        rules_(settings),
        messages_(messages),
        clock_(clock),
        discovery_(std::move(discovery)),
        trace_(trace) {}

  const SelectPortRules& rules() const { return rules_; }

 protected:
  BOOL OnInit() override;
  bool OnCommand(int id, int notification) override;

 private:
  void Mirror() const;
  void MirrorCombo() const;
  void Restart();
  void Find();
  void EndBusy(int button_id);
  void Close(int result);

  SelectPortRules rules_;
  Messages& messages_;
  Clock& clock_;
  discovery::DiscoverRequest discovery_;  // its port is also the port Restart asks
  Trace trace_;
  bool busy_ = false;
  int held_result_ = -1;
};

// Shows Select Port modally over `owner`; OK writes the results into `settings`.
bool RunSelectPort(HWND owner, PortSettings& settings, Messages& messages, Clock& clock,
                   discovery::DiscoverRequest discovery, Trace trace = {});

// Template 132: head number "1".."8", the six rank fields from their defaults, "Reference...",
// "Set" and "Cancel".
class SetHeadRankWindow final : public NativeDialog {
 public:
  SetHeadRankWindow(FileChooser& chooser, Messages& messages)
      : NativeDialog(kDlgSetHeadRank), chooser_(chooser), messages_(messages) {}

  int head_index() const { return head_index_; }
  const HeadRankFields& fields() const { return fields_; }

 protected:
  BOOL OnInit() override;
  bool OnCommand(int id, int notification) override;

 private:
  void ReadFields();
  void ShowFields() const;

  FileChooser& chooser_;
  Messages& messages_;
  int head_index_ = 0;
  HeadRankFields fields_;
};

}  // namespace tavi::win
