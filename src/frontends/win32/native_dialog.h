// A window built from one of the program's dialog templates: modal (DialogBoxIndirectParam) or
// modeless (CreateDialogIndirectParam). A subclass handles initialisation, commands and any
// other message; the control ids are the template's.
#pragma once

#include "frontends/win32/win_api.h"

#include <string>
#include <string_view>

#include "frontends/win32/dialog_template_ex.h"

namespace tavi::win {

class NativeDialog {
 public:
  explicit NativeDialog(int template_id);
  // A window of a template of its own (which outlives the window).
  explicit NativeDialog(const DialogTemplate& t);
  virtual ~NativeDialog();
  NativeDialog(const NativeDialog&) = delete;
  NativeDialog& operator=(const NativeDialog&) = delete;

  // Runs the window modally over `owner` and returns the result EndDialog gave (-1 when the
  // window could not be made).
  INT_PTR RunModal(HWND owner);
  // Makes the window modeless and hidden, without an owner; false when it could not be made.
  bool CreateModeless();

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  const DialogTemplate& dialog_template() const { return template_; }

  // The text of control `id` (UTF-8), and setting it.
  std::string ItemText(int id) const;
  void SetItemText(int id, std::string_view text) const;
  void EnableItem(int id, bool enable) const;

 protected:
  // WM_INITDIALOG, after the edit limits are set. Returns what WM_INITDIALOG returns (TRUE: the
  // system gives the focus to the first tab stop).
  virtual BOOL OnInit() { return TRUE; }
  // WM_COMMAND from control `id`; true when handled. Unhandled OK and Cancel end a modal run.
  virtual bool OnCommand(int id, int notification);
  // Any other message; true when handled (then `result` is the message's result).
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result);

  void End(INT_PTR result) { EndDialog(hwnd_, result); }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  const DialogTemplate& template_;
  DialogBytes bytes_;
  HWND hwnd_ = nullptr;
  bool modeless_ = false;
};

// The template with number `id`; the program's ids always have one.
const DialogTemplate& TemplateOf(int id);

}  // namespace tavi::win
