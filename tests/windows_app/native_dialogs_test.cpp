// The native windows under Wine: every template built in memory shows its caption, frame, font
// and every control by id at its place in dialog units; the progress window takes real mouse
// and keyboard input through the message pump.
#include <gtest/gtest.h>

#include "frontends/win32/win_api.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <thread>

#include "core/resources/strings.h"
#include "frontends/win32/dialog_template_ex.h"
#include "frontends/win32/message_pump.h"
#include "frontends/win32/native_dialog.h"
#include "frontends/win32/win_progress_dialog.h"
#include "frontends/win32/win_seams.h"
#include "frontends/win32/win_text.h"

namespace tavi::win {
namespace {

constexpr int kTemplateIds[] = {kDlgAbout,      kDlgMain,     kDlgGetReport,
                                kDlgSelectPort, kDlgProgress, kDlgSetHeadRank};

class Modeless final : public NativeDialog {
 public:
  explicit Modeless(int id) : NativeDialog(id) {}
};

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring ExpectedClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::kEdit:
      return L"Edit";
    case ControlKind::kRichEdit:
      return kRichEditClass;
    case ControlKind::kComboBox:
    case ControlKind::kDropDownList:
      return L"ComboBox";
    case ControlKind::kProgressBar:
      return PROGRESS_CLASSW;
    case ControlKind::kLabel:
    case ControlKind::kIcon:
      return L"Static";
    default:
      return L"Button";
  }
}

// The control's rectangle in the dialog's client coordinates.
RECT PlaceOf(HWND dialog, HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT DialogRect(HWND dialog, int x, int y, int width, int height) {
  RECT r{x, y, x + width, y + height};
  MapDialogRect(dialog, &r);
  return r;
}

TEST(NativeDialogs, EveryTemplateBuildsWithItsCaptionFrameFontAndEveryControlInPlace) {
  ASSERT_TRUE(LoadControlLibraries());
  for (int id : kTemplateIds) {
    const DialogTemplate& t = TemplateOf(id);
    SCOPED_TRACE("template " + std::to_string(id));
    Modeless dialog(id);
    ASSERT_TRUE(dialog.CreateModeless());
    HWND hwnd = dialog.hwnd();
    EXPECT_FALSE(IsWindowVisible(hwnd));

    wchar_t caption[128] = {};
    GetWindowTextW(hwnd, caption, 128);
    EXPECT_EQ(Narrow(caption), std::string(t.caption));

    RECT client{};
    GetClientRect(hwnd, &client);
    const RECT size = DialogRect(hwnd, 0, 0, t.width, t.height);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    const LONG ex_style = GetWindowLongW(hwnd, GWL_EXSTYLE);
    EXPECT_EQ((style & WS_SYSMENU) != 0, (t.style & kDlgSysMenu) != 0);
    EXPECT_EQ((style & WS_MINIMIZEBOX) != 0, (t.style & kDlgMinimizeBox) != 0);
    EXPECT_EQ((ex_style & WS_EX_TOOLWINDOW) != 0, (t.style & kDlgToolWindow) != 0);

    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    ASSERT_NE(handle, nullptr);
    GetObjectW(handle, sizeof font, &font);
    EXPECT_EQ(std::wstring(font.lfFaceName),
              t.font.empty() ? std::wstring(kShellDialogFont) : Widen(t.font));

    int children = 0;
    for (HWND c = GetWindow(hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
      ++children;
    }
    EXPECT_EQ(children, static_cast<int>(t.controls.size()));

    for (const ControlTemplate& c : t.controls) {
      if (c.id == kIdStatic) continue;
      SCOPED_TRACE("control " + std::to_string(c.id));
      HWND control = GetDlgItem(hwnd, c.id);
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(lstrcmpiW(ClassName(control).c_str(), ExpectedClass(c.kind).c_str()), 0)
          << Narrow(ClassName(control));
      // Position and size are converted each on its own, as the window system does.
      const RECT at = DialogRect(hwnd, c.x, c.y, 0, 0);
      const RECT size = DialogRect(hwnd, 0, 0, c.width, c.height);
      const RECT got = PlaceOf(hwnd, control);
      EXPECT_EQ(got.left, at.left);
      EXPECT_EQ(got.top, at.top);
      EXPECT_EQ(got.right - got.left, size.right);
      // A closed combo box is one line high; the template's height includes its list.
      if (c.kind != ControlKind::kComboBox && c.kind != ControlKind::kDropDownList) {
        EXPECT_EQ(got.bottom - got.top, size.bottom);
      }
      const LONG cs = GetWindowLongW(control, GWL_STYLE);
      EXPECT_EQ((cs & WS_GROUP) != 0, (c.style & kStyleGroup) != 0);
      EXPECT_EQ((cs & WS_TABSTOP) != 0, (c.style & kStyleTabStop) != 0);
      if (c.kind == ControlKind::kPushButton || c.kind == ControlKind::kDefPushButton) {
        EXPECT_EQ(cs & BS_TYPEMASK,
                  c.kind == ControlKind::kDefPushButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      }
      if (c.kind == ControlKind::kAutoRadioButton) {
        EXPECT_EQ(cs & BS_TYPEMASK, BS_AUTORADIOBUTTON);
      }
      if (c.kind == ControlKind::kRichEdit) {
        constexpr LONG kPane = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_WANTRETURN;
        EXPECT_EQ(cs & kPane, kPane);
        // The control shows its scroll bar only once the text needs it.
        EXPECT_NE(ControlStyle(c) & WS_VSCROLL, 0u);
      }
      if (c.kind == ControlKind::kComboBox) {
        EXPECT_EQ(cs & 3, CBS_DROPDOWN);
      }
      if (c.kind == ControlKind::kDropDownList) {
        EXPECT_EQ(cs & 3, CBS_DROPDOWNLIST);
        EXPECT_NE(cs & CBS_SORT, 0);
      }
      if (c.kind == ControlKind::kEdit) {
        EXPECT_EQ(SendMessageW(control, EM_GETLIMITTEXT, 0, 0), c.max_length);
        EXPECT_NE(cs & ES_AUTOHSCROLL, 0);
      }
      if (c.kind != ControlKind::kRichEdit && c.kind != ControlKind::kProgressBar &&
          c.kind != ControlKind::kComboBox && c.kind != ControlKind::kDropDownList) {
        EXPECT_EQ(dialog.ItemText(c.id), std::string(c.text));
      }
    }
  }
}

// Real input: the mouse at the middle of `control`, a press and a release.
void ClickAt(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT input[2] = {};
  input[0].type = INPUT_MOUSE;
  input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[1].type = INPUT_MOUSE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, input, sizeof(INPUT));
}

void PressKey(WORD key) {
  INPUT input[2] = {};
  input[0].type = INPUT_KEYBOARD;
  input[0].ki.wVk = key;
  input[1].type = INPUT_KEYBOARD;
  input[1].ki.wVk = key;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

// Pumps the way an operation does, until `done` or 5 s.
template <typename Done>
bool PumpUntil(ProgressDialog& progress, Done done) {
  const ULONGLONG end = GetTickCount64() + 5000;
  while (GetTickCount64() < end) {
    progress.PumpMessages(false);
    if (done()) return true;
    Sleep(10);
  }
  return false;
}

TEST(NativeDialogs, ProgressWindowTakesCancelFromTheMouseAndEscapeWhileMessagesArePumped) {
  ASSERT_TRUE(LoadControlLibraries());
  WinProgressDialog progress;
  ASSERT_NE(progress.hwnd(), nullptr);
  EXPECT_FALSE(IsWindowVisible(progress.hwnd()));
  HWND bar = progress.Item(kIdProgressBar);
  progress.SetProgressRange(70000);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 4464);  // a 16-bit upper bound

  for (const bool by_mouse : {true, false}) {
    SCOPED_TRACE(by_mouse ? "mouse on Cancel" : "Escape");
    progress.SetProgressPos(30);
    progress.Show(true);
    EXPECT_TRUE(IsWindowVisible(progress.hwnd()));
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);  // showing puts the bar at 0
    EXPECT_FALSE(progress.IsCancelled());
    ASSERT_TRUE(PumpUntil(progress, [&] { return GetForegroundWindow() == progress.hwnd(); }));
    if (by_mouse) {
      ClickAt(progress.Item(kIdCancel));
    } else {
      PressKey(VK_ESCAPE);
    }
    ASSERT_TRUE(PumpUntil(progress, [&] { return progress.IsCancelled(); }));
    EXPECT_FALSE(IsWindowVisible(progress.hwnd()));
    // The operation's own hide request does not clear the flag of a window Cancel hid.
    progress.Show(false);
    EXPECT_TRUE(progress.IsCancelled());
  }
  // The next show clears it.
  progress.Show(true);
  EXPECT_FALSE(progress.IsCancelled());
  progress.Show(false);
}

// The processor time of this process so far, in milliseconds.
double ProcessCpuMs() {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

// A message box over an operation that has no news yet holds the window: the busy bar stops and
// the elapsed time stands; OK, pressed with the Return key, lets both go on.
TEST(NativeDialogs, ProgressWindowStandsStillWhileAMessageBoxIsUp) {
  ASSERT_TRUE(LoadControlLibraries());
  WinProgressDialog progress;
  HWND bar = progress.Item(kIdProgressBar);
  HWND status = GetDlgItem(progress.hwnd(), 0x7F00);  // the label below Cancel
  ASSERT_NE(status, nullptr);
  auto marquee = [&] { return (GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE) != 0; };
  auto status_text = [&] {
    wchar_t text[256] = {};
    GetWindowTextW(status, text, 256);
    return std::wstring(text);
  };
  progress.Show(true);
  progress.NamePrinter("USB");
  ASSERT_TRUE(PumpUntil(progress, [&] { return GetForegroundWindow() == progress.hwnd(); }));
  EXPECT_TRUE(marquee());
  // Unheld, the elapsed time moves on within a second and a half.
  const std::wstring first = status_text();
  const double cpu_before = ProcessCpuMs();
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(PumpUntil(progress, [&] { return status_text() != first; })) << Narrow(first);
  std::printf(
      "processor time while the bar runs: %.1f %%\n",
      (ProcessCpuMs() - cpu_before) * 100.0 / static_cast<double>(GetTickCount64() - start));

  bool box_seen = false;
  bool ran_under_box = true;
  std::wstring under_box_before;
  std::wstring under_box_after;
  double cpu_percent = -1;
  std::thread watcher([&] {
    for (int i = 0; i < 500 && !box_seen; ++i) {
      HWND front = GetForegroundWindow();
      box_seen = front != nullptr && front != progress.hwnd() && ClassName(front) == L"#32770";
      if (!box_seen) Sleep(10);
    }
    ran_under_box = marquee();
    under_box_before = status_text();
    const double cpu = ProcessCpuMs();
    Sleep(1500);
    cpu_percent = (ProcessCpuMs() - cpu) / 15.0;
    under_box_after = status_text();
    PressKey(VK_RETURN);
  });
  WinMessages messages;
  messages.ShowMessage(kIdsDone);
  watcher.join();
  EXPECT_TRUE(box_seen);
  EXPECT_FALSE(ran_under_box);
  EXPECT_EQ(Narrow(under_box_after), Narrow(under_box_before));
  EXPECT_FALSE(under_box_before.empty());
  std::printf("processor time while the message box was up: %.1f %%\n", cpu_percent);
  // Let go: the bar runs again and the elapsed time moves on.
  EXPECT_TRUE(marquee());
  EXPECT_FALSE(progress.state().held());
  const std::wstring released = status_text();
  EXPECT_TRUE(PumpUntil(progress, [&] { return status_text() != released; }));
  progress.Show(false);
}

TEST(NativeDialogs, PumpServingASocketWaitLeavesSocketNotificationsQueued) {
  WinProgressDialog progress;
  PostMessageW(progress.hwnd(), kSocketNotifyFirst, 0, 0);
  PostMessageW(progress.hwnd(), WM_NULL, 0, 0);
  progress.PumpMessages(true);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, kSocketNotifyFirst);
  progress.PumpMessages(false);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

}  // namespace
}  // namespace tavi::win
