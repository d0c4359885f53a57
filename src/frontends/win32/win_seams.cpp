#include "frontends/win32/win_seams.h"

#include "frontends/win32/win_api.h"

#include <commdlg.h>

#include <array>

#include "core/resources/strings.h"
#include "core/settings/recent_folders.h"
#include "frontends/win32/message_window.h"
#include "frontends/win32/win_progress_dialog.h"
#include "frontends/win32/win_text.h"

namespace tavi::win {
namespace {

void Box(std::string_view text, UINT icon) {
  const WinProgressDialog::HoldAll still;
  MessageBoxW(GetActiveWindow(), Widen(text).c_str(), Widen(kAppName).c_str(), MB_OK | icon);
}

}  // namespace

void WinMessages::ShowMessage(int id, std::string_view details) {
  std::string text(LoadString(id));
  if (!details.empty()) {
    text += "\n\n";
    text += details;
  }
  const bool failure = id != kIdsDone;
  if (failure && trace_available_ && save_trace_ && trace_available_()) {
    const WinProgressDialog::HoldAll still;
    TraceMessageWindow box(std::move(text));
    if (box.Run(GetActiveWindow())) save_trace_();
    return;
  }
  Box(text, failure ? MB_ICONWARNING : MB_ICONINFORMATION);
}

void WinMessages::ShowFileError(const FileError& error) {
  Box(FileErrorText(error), MB_ICONWARNING);
}

std::string WinFileChooser::Ask(FileKind kind, bool save) {
  std::array<wchar_t, 32768> path{};  // the longest path the dialogs hand back
  std::wstring folder;
  if (folders_ != nullptr) folder = Widen(folders_->Folder(kind));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_PATHMUSTEXIST;
  if (save) ofn.Flags |= OFN_OVERWRITEPROMPT;
  const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!chosen) return {};
  std::string utf8 = Narrow(path.data());
  if (folders_ != nullptr) folders_->Remember(kind, utf8);
  return utf8;
}

std::string WinFileChooser::AskOpenFile(FileKind kind) {
  return Ask(kind, false);
}

std::string WinFileChooser::AskSaveFile(FileKind kind) {
  return Ask(kind, true);
}

void WinFileChooser::SaveFailed(FileKind kind) {
  if (folders_ != nullptr) folders_->ForgetLast(kind);
}

}  // namespace tavi::win
