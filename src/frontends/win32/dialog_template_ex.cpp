#include "frontends/win32/dialog_template_ex.h"

#include <commctrl.h>

#include <cstring>
#include <string>

#include "frontends/win32/win_text.h"

namespace tavi::win {
namespace {

// Predefined window classes by atom.
constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kEditAtom = 0x0081;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;

// The class of a control: an atom, or a class name.
struct ControlClass {
  std::uint16_t atom = 0;
  const wchar_t* name = nullptr;
};

ControlClass ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton:
    case ControlKind::kAutoCheckBox:
    case ControlKind::kAutoRadioButton:
    case ControlKind::kGroupBox:
      return {kButtonAtom, nullptr};
    case ControlKind::kLabel:
    case ControlKind::kIcon:
      return {kStaticAtom, nullptr};
    case ControlKind::kEdit:
      return {kEditAtom, nullptr};
    case ControlKind::kRichEdit:
      return {0, kRichEditClass};
    case ControlKind::kComboBox:
    case ControlKind::kDropDownList:
      return {kComboBoxAtom, nullptr};
    case ControlKind::kProgressBar:
      return {0, PROGRESS_CLASSW};
  }
  return {kStaticAtom, nullptr};
}

bool Has(std::uint32_t style, std::uint32_t bit) {
  return (style & bit) != 0;
}

}  // namespace

DWORD DialogStyle(const DialogTemplate& t) {
  // Every window of the program is created hidden and shown by its owner (the modal runs show
  // theirs at once); a dialog centres itself over its owner or the screen.
  DWORD style = WS_POPUP | WS_CAPTION | DS_SETFONT | DS_CENTER;
  if (t.font.empty()) style |= DS_FIXEDSYS;  // with DS_SETFONT: the shell dialog font
  if (!Has(t.style, kDlgToolWindow)) style |= DS_MODALFRAME;
  if (Has(t.style, kDlgSysMenu)) style |= WS_SYSMENU;
  if (Has(t.style, kDlgMinimizeBox)) style |= WS_MINIMIZEBOX;
  return style;
}

DWORD DialogExStyle(const DialogTemplate& t) {
  return Has(t.style, kDlgToolWindow) ? WS_EX_TOOLWINDOW : 0;
}

DWORD ControlStyle(const ControlTemplate& c) {
  DWORD style = WS_CHILD | WS_VISIBLE;
  if (Has(c.style, kStyleGroup)) style |= WS_GROUP;
  if (Has(c.style, kStyleTabStop)) style |= WS_TABSTOP;
  if (Has(c.style, kStyleBorder)) style |= WS_BORDER;
  if (Has(c.style, kStyleVScroll)) style |= WS_VSCROLL;
  switch (c.kind) {
    case ControlKind::kPushButton:
      return style | BS_PUSHBUTTON;
    case ControlKind::kDefPushButton:
      return style | BS_DEFPUSHBUTTON;
    case ControlKind::kAutoCheckBox:
      return style | BS_AUTOCHECKBOX;
    case ControlKind::kAutoRadioButton:
      return style | BS_AUTORADIOBUTTON;
    case ControlKind::kGroupBox:
      return style | BS_GROUPBOX;
    case ControlKind::kLabel:
      return style | SS_LEFT;
    case ControlKind::kIcon:
      return style | SS_ICON;
    case ControlKind::kEdit:
    case ControlKind::kRichEdit:
      if (Has(c.style, kStyleReadOnly)) style |= ES_READONLY;
      if (Has(c.style, kStyleAutoHScroll)) style |= ES_AUTOHSCROLL;
      // A multi-line pane scrolls down with its text and keeps Return for itself.
      if (Has(c.style, kStyleMultiLine)) style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
      return style;
    case ControlKind::kComboBox:
      return style | CBS_DROPDOWN | (Has(c.style, kStyleSorted) ? CBS_SORT : 0);
    case ControlKind::kDropDownList:
      return style | CBS_DROPDOWNLIST | (Has(c.style, kStyleSorted) ? CBS_SORT : 0);
    case ControlKind::kProgressBar:
      return style;
  }
  return style;
}

void DialogBytes::Word(std::uint16_t w) {
  if (size_ % 4 == 0) words_.push_back(0);
  std::memcpy(reinterpret_cast<std::byte*>(words_.data()) + size_, &w, sizeof w);
  size_ += sizeof w;
}

void DialogBytes::Dword(std::uint32_t d) {
  Word(static_cast<std::uint16_t>(d & 0xFFFF));
  Word(static_cast<std::uint16_t>(d >> 16));
}

void DialogBytes::Text(const std::wstring& text) {
  for (wchar_t ch : text) Word(static_cast<std::uint16_t>(ch));
  Word(0);
}

void DialogBytes::AlignDword() {
  if (size_ % 4 != 0) Word(0);
}

DialogBytes::DialogBytes(const DialogTemplate& t) {
  const bool shell_font = t.font.empty();
  // DLGTEMPLATEEX header.
  Word(1);       // dlgVer
  Word(0xFFFF);  // signature
  Dword(0);      // helpID
  Dword(DialogExStyle(t));
  Dword(DialogStyle(t));
  Word(static_cast<std::uint16_t>(t.controls.size()));
  Word(0);  // x, y: DS_CENTER places the window
  Word(0);
  Word(static_cast<std::uint16_t>(t.width));
  Word(static_cast<std::uint16_t>(t.height));
  Word(0);  // no menu
  Word(0);  // the standard dialog class
  Text(Widen(t.caption));
  Word(static_cast<std::uint16_t>(shell_font ? kShellDialogPoints : t.font_points));
  Word(FW_NORMAL);
  Word(static_cast<std::uint16_t>(DEFAULT_CHARSET) << 8);  // italic 0, charset
  Text(shell_font ? std::wstring(kShellDialogFont) : Widen(t.font));

  for (const ControlTemplate& c : t.controls) {
    // DLGITEMTEMPLATEEX, each on a DWORD boundary.
    AlignDword();
    Dword(0);  // helpID
    Dword(0);  // exStyle
    Dword(ControlStyle(c));
    Word(static_cast<std::uint16_t>(c.x));
    Word(static_cast<std::uint16_t>(c.y));
    Word(static_cast<std::uint16_t>(c.width));
    Word(static_cast<std::uint16_t>(c.height));
    Dword(static_cast<std::uint32_t>(c.id));
    const ControlClass cls = ClassOf(c.kind);
    if (cls.name != nullptr) {
      Text(cls.name);
    } else {
      Word(0xFFFF);
      Word(cls.atom);
    }
    Text(Widen(c.text));
    Word(0);  // no creation data
  }
}

void ApplyControlLimits(HWND dialog, const DialogTemplate& t) {
  for (const ControlTemplate& c : t.controls) {
    if (c.kind != ControlKind::kEdit || c.max_length <= 0) continue;
    SendDlgItemMessageW(dialog, c.id, EM_LIMITTEXT, static_cast<WPARAM>(c.max_length), 0);
  }
}

bool LoadControlLibraries() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  const bool common = InitCommonControlsEx(&controls) != FALSE;
  // Stays loaded for the life of the process, as the control class it registers must.
  static const HMODULE rich_edit = LoadLibraryW(L"msftedit.dll");
  return common && rich_edit != nullptr;
}

}  // namespace tavi::win
