#include "frontends/win32/native_dialog.h"

#include <cstdlib>
#include <vector>

#include "frontends/win32/win_text.h"

namespace tavi::win {

const DialogTemplate& TemplateOf(int id) {
  const DialogTemplate* t = FindDialogTemplate(id);
  if (t == nullptr) std::abort();  // a program id without a template is a build fault
  return *t;
}

NativeDialog::NativeDialog(int template_id)
    : template_(TemplateOf(template_id)), bytes_(template_) {}

NativeDialog::NativeDialog(const DialogTemplate& t) : template_(t), bytes_(template_) {}

NativeDialog::~NativeDialog() {
  if (modeless_ && hwnd_ != nullptr) DestroyWindow(hwnd_);
}

INT_PTR NativeDialog::RunModal(HWND owner) {
  const INT_PTR result =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), bytes_.get(), owner, &NativeDialog::Proc,
                              reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  return result;
}

bool NativeDialog::CreateModeless() {
  modeless_ = true;
  hwnd_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), bytes_.get(), nullptr,
                                     &NativeDialog::Proc, reinterpret_cast<LPARAM>(this));
  return hwnd_ != nullptr;
}

std::string NativeDialog::ItemText(int id) const {
  HWND item = Item(id);
  if (item == nullptr) return {};
  const int length = GetWindowTextLengthW(item);
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(item, buffer.data(), length + 1);
  return Narrow(std::wstring_view(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0)));
}

void NativeDialog::SetItemText(int id, std::string_view text) const {
  SetDlgItemTextW(hwnd_, id, Widen(text).c_str());
}

void NativeDialog::EnableItem(int id, bool enable) const {
  if (HWND item = Item(id)) EnableWindow(item, enable ? TRUE : FALSE);
}

bool NativeDialog::OnCommand(int id, int /*notification*/) {
  if ((id == IDOK || id == IDCANCEL) && !modeless_) {
    End(id);
    return true;
  }
  return false;
}

bool NativeDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) {
  return false;
}

INT_PTR CALLBACK NativeDialog::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<NativeDialog*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->hwnd_ = hwnd;
    ApplyControlLimits(hwnd, self->template_);
    return self->OnInit();
  }
  auto* self = reinterpret_cast<NativeDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_COMMAND) {
    return self->OnCommand(LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
  }
  INT_PTR result = 0;
  if (!self->OnMessage(message, wparam, lparam, result)) return FALSE;
  // A handled message's result goes through DWLP_MSGRESULT, except for the messages whose
  // result the dialog procedure returns itself.
  switch (message) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_QUERYDRAGICON:
      return result;
    default:
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

}  // namespace tavi::win
