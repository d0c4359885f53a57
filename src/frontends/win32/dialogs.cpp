#include "frontends/win32/dialogs.h"

#include <richedit.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "core/discovery/targets.h"
#include "core/operations/find_printers.h"
#include "core/operations/get_report.h"
#include "core/operations/restart.h"
#include "core/operations/set_head_rank.h"
#include "frontends/win32/app_icon.h"
#include "frontends/win32/found_printers_window.h"
#include "frontends/win32/win_progress_dialog.h"
#include "frontends/win32/win_text.h"

namespace tavi::win {
namespace {

constexpr std::array<int, kPortRadioCount> kPortRadioIds = {kIdPortParallel, kIdPortNetwork,
                                                            kIdPortUsb};
constexpr std::array<int, kTypeRadioCount> kTypeRadioIds = {kIdType1, kIdType2};

// Typing into a rank field keeps only rank characters (a pasted text too): whatever else came
// in is taken out again at once, and the caret stays where the typing was. Setting the text
// notifies once more, and then nothing is left to take out.
void KeepRankCharacters(HWND edit) {
  const int length = GetWindowTextLengthW(edit);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), length + 1)));
  DWORD caret = 0;
  SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  std::wstring kept;
  DWORD kept_caret = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c >= 0x80 || !IsRankCharacter(static_cast<char>(c))) continue;
    kept.push_back(c);
    if (i < caret) ++kept_caret;
  }
  if (kept.size() == text.size()) return;
  SetWindowTextW(edit, kept.c_str());
  SendMessageW(edit, EM_SETSEL, kept_caret, kept_caret);
}

template <std::size_t N>
void MarkRadios(HWND dialog, const std::array<int, N>& ids, int index, bool enable) {
  for (std::size_t i = 0; i < N; ++i) {
    const bool marked = static_cast<int>(i) == index;
    CheckDlgButton(dialog, ids[i], marked ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, ids[i]), enable ? TRUE : FALSE);
  }
}

// The index of `id` in `ids`, or -1.
template <std::size_t N>
int IndexOf(const std::array<int, N>& ids, int id) {
  for (std::size_t i = 0; i < N; ++i) {
    if (ids[i] == id) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

BOOL AboutBox::OnInit() {
  SetItemText(kIdVersionText, version_);
  // The template's icon area is the one static without an id that shows a picture.
  for (HWND child = GetWindow(hwnd(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(AppIcon()), 0);
    }
  }
  return TRUE;
}

BOOL GetReportWindow::OnInit() {
  HWND pane = Item(kIdReportText);
  // Plain text: a report that happens to start like rich text is shown as it is, not parsed.
  SendMessageW(pane, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  SendMessageW(pane, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(report_.size() + 1));
  SetWindowTextW(pane, DisplayText(report_).c_str());
  // The keyboard starts on OK, as the default button.
  SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(kIdOk)), TRUE);
  return FALSE;
}

bool GetReportWindow::OnCommand(int id, int notification) {
  if (id == kIdReportSave && notification == BN_CLICKED) {
    SaveReportFlow(report_, chooser_, messages_);
    return true;
  }
  return NativeDialog::OnCommand(id, notification);
}

BOOL SelectPortWindow::OnInit() {
  rules_.Initialise();
  MirrorCombo();
  SetItemText(kIdCommunity, rules_.community_text());
  Mirror();
  return TRUE;
}

void SelectPortWindow::Mirror() const {
  const SelectPortEnables& on = rules_.enables();
  MarkRadios(hwnd(), kPortRadioIds, rules_.checked_port_radio(), on.port_radios);
  MarkRadios(hwnd(), kTypeRadioIds, rules_.checked_type_radio(), on.type_radios);
  EnableItem(kIdHostCombo, on.host_combo);
  EnableItem(kIdDeleteHost, on.delete_host);
  EnableItem(kIdRestart, on.restart);
  EnableItem(kIdCommunity, on.community);
}

void SelectPortWindow::MirrorCombo() const {
  HWND combo = Item(kIdHostCombo);
  const HostCombo& state = rules_.combo();
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : state.entries) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(state.selection), 0);
  SetWindowTextW(combo, Widen(state.edit_text).c_str());
}

bool SelectPortWindow::OnCommand(int id, int notification) {
  if (const int port = IndexOf(kPortRadioIds, id); port >= 0) {
    if (notification == BN_CLICKED) {
      rules_.ClickPortRadio(port);
      Mirror();
    }
    return true;
  }
  if (const int type = IndexOf(kTypeRadioIds, id); type >= 0) {
    if (notification == BN_CLICKED) {
      rules_.ClickTypeRadio(type);
      Mirror();
    }
    return true;
  }
  switch (id) {
    case kIdHostCombo:
      if (notification == CBN_SELCHANGE) {
        rules_.combo().Select(
            static_cast<std::int32_t>(SendMessageW(Item(kIdHostCombo), CB_GETCURSEL, 0, 0)));
      } else if (notification == CBN_EDITCHANGE) {
        rules_.combo().Type(ItemText(kIdHostCombo));
      }
      return true;
    case kIdCommunity:
      if (notification == EN_CHANGE) rules_.TypeCommunity(ItemText(kIdCommunity));
      return true;
    case kIdDeleteHost:
      if (notification == BN_CLICKED) {
        rules_.DeleteHost();
        MirrorCombo();
      }
      return true;
    case kIdRestart:
      if (notification == BN_CLICKED) Restart();
      return true;
    case kIdFind:
      if (notification == BN_CLICKED) Find();
      return true;
    case kIdOk:
      if (const std::optional<std::string> refusal = rules_.OkRefusal()) {
        MessageBoxW(hwnd(), Widen(*refusal).c_str(), Widen(dialog_template().caption).c_str(),
                    MB_OK | MB_ICONWARNING);
        SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(kIdCommunity)), TRUE);
        return true;
      }
      if (!busy_) rules_.Ok();
      Close(IDOK);
      return true;
    case kIdCancel:
      Close(IDCANCEL);
      return true;
    default:
      return false;
  }
}

void SelectPortWindow::Restart() {
  // Restart pumps messages; a second click meanwhile starts nothing.
  if (busy_) return;
  busy_ = true;
  {
    WinProgressDialog progress;
    RestartPrinter(rules_.RestartHost(), progress, messages_, clock_, discovery_.port, trace_,
                   rules_.CurrentCommunity());
  }
  EndBusy(kIdRestart);
}

void SelectPortWindow::Find() {
  if (busy_) return;
  busy_ = true;
  WinProgressDialog progress;
  discovery_.community = rules_.CurrentCommunity();
  const FindOutcome outcome = FindPrintersFlow(
      discovery_, progress, rules_, [this] { return held_result_ < 0; },
      [this](std::vector<discovery::FoundHost> hosts) -> std::optional<discovery::FoundHost> {
        FoundPrintersWindow pick(std::move(hosts));
        const discovery::FoundHost* found = pick.Pick(hwnd());
        if (found == nullptr) return std::nullopt;
        return *found;
      });
  if (outcome == FindOutcome::kPicked || outcome == FindOutcome::kPickedFamilyUnknown) {
    MirrorCombo();
    Mirror();
  }
  if (outcome == FindOutcome::kPickedFamilyUnknown) {
    MessageBoxW(hwnd(), Widen(discovery::kTextFamilyUnknown).c_str(),
                Widen(dialog_template().caption).c_str(), MB_OK | MB_ICONINFORMATION);
  }
  EndBusy(kIdFind);
}

void SelectPortWindow::EndBusy(int button_id) {
  busy_ = false;
  SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(button_id)), TRUE);
  if (held_result_ >= 0) {
    const int result = held_result_;
    held_result_ = -1;
    if (result == IDOK) rules_.Ok();
    End(result);
  }
}

void SelectPortWindow::Close(int result) {
  if (busy_) {
    held_result_ = result;
    return;
  }
  End(result);
}

bool RunSelectPort(HWND owner, PortSettings& settings, Messages& messages, Clock& clock,
                   discovery::DiscoverRequest discovery, Trace trace) {
  SelectPortWindow window(settings, messages, clock, std::move(discovery), trace);
  if (window.RunModal(owner) != IDOK) return false;
  window.rules().ApplyTo(settings);
  return true;
}

BOOL SetHeadRankWindow::OnInit() {
  HWND heads = Item(kIdHeadNumber);
  for (int head = 1; head <= kHeadCount; ++head) {
    SendMessageW(heads, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(head).c_str()));
  }
  SendMessageW(heads, CB_SETCURSEL, 0, 0);
  ShowFields();
  return TRUE;
}

void SetHeadRankWindow::ReadFields() {
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    fields_.f[i] = ItemText(kIdRankField1 + static_cast<int>(i));
  }
}

void SetHeadRankWindow::ShowFields() const {
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    SetItemText(kIdRankField1 + static_cast<int>(i), fields_.f[i]);
  }
}

bool SetHeadRankWindow::OnCommand(int id, int notification) {
  if (id >= kIdRankField1 && id <= kIdRankField6 && notification == EN_CHANGE) {
    KeepRankCharacters(Item(id));
    return true;
  }
  if (id == kIdReference && notification == BN_CLICKED) {
    ReadFields();
    // The flow leaves the fields untouched unless the file's head rank line was legal.
    if (ReferenceHeadRankFlow(fields_, chooser_, messages_) == FlowOutcome::kSuccess) {
      ShowFields();
    }
    return true;
  }
  if (id == kIdOk) {
    head_index_ = static_cast<int>(SendMessageW(Item(kIdHeadNumber), CB_GETCURSEL, 0, 0));
    ReadFields();
    End(IDOK);
    return true;
  }
  return NativeDialog::OnCommand(id, notification);
}

}  // namespace tavi::win
