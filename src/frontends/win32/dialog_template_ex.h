// The program's dialog templates (core/resources/dialog_templates) in the form the window system
// builds dialogs from: an extended dialog template (DLGTEMPLATEEX) in memory, with the caption,
// the frame, the font the template names (the shell dialog font when it names none) and every
// control by id at its position in dialog units.
#pragma once

#include "frontends/win32/win_api.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/resources/dialog_templates.h"

namespace tavi::win {

// The shell's dialog font, for templates that name no font.
inline constexpr wchar_t kShellDialogFont[] = L"MS Shell Dlg";
inline constexpr int kShellDialogPoints = 8;

// The window class of the rich edit control (msftedit.dll), loaded before the first dialog that
// holds one.
inline constexpr wchar_t kRichEditClass[] = L"RICHEDIT50W";

// Window styles of a dialog and of each control kind.
DWORD DialogStyle(const DialogTemplate& t);
DWORD DialogExStyle(const DialogTemplate& t);
DWORD ControlStyle(const ControlTemplate& c);

// An extended dialog template in memory; the buffer is suitably aligned for the calls that take
// it (DialogBoxIndirectParam, CreateDialogIndirectParam).
class DialogBytes {
 public:
  explicit DialogBytes(const DialogTemplate& t);

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }
  std::size_t size() const { return size_; }
  // The bytes, for inspection.
  const std::byte* data() const { return reinterpret_cast<const std::byte*>(words_.data()); }

 private:
  void Word(std::uint16_t w);
  void Dword(std::uint32_t d);
  void Text(const std::wstring& text);
  void AlignDword();

  std::vector<std::uint32_t> words_;  // DWORD storage: the template must be DWORD aligned
  std::size_t size_ = 0;              // bytes written
};

// After WM_INITDIALOG: the edit limits the template gives (the most characters of each edit).
void ApplyControlLimits(HWND dialog, const DialogTemplate& t);

// Loads the common controls (progress bar) and the rich edit library once; false when either is
// missing.
bool LoadControlLibraries();

}  // namespace tavi::win
