// tavi.exe end to end under Wine and Xvfb, driven with real input (SendInput) from this separate
// process, against two virtual printers of the Linux build that the calling script started:
// one that answers (TAVI_E2E_HOST_OK) and one whose report header never comes
// (TAVI_E2E_HOST_SILENT), both on TAVI_E2E_LPD_PORT / TAVI_E2E_SNMP_PORT. TAVI_E2E_TAVI is
// tavi.exe, TAVI_E2E_DIR a folder for the settings and the saved report, TAVI_E2E_REPORT the
// file whose bytes the answering printer serves as its report. TAVI_E2E_HOST_FOUND is a third
// printer, of the other family, that only Find... asks; TAVI_E2E_HOST_REFUSED an address where
// nothing listens.
#include <gtest/gtest.h>

#include "frontends/win32/win_api.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/resources/constants.h"
#include "core/resources/dialog_templates.h"
#include "core/resources/strings.h"
#include "core/settings/recent_folders.h"
#include "frontends/win32/main_window.h"
#include "frontends/win32/win_text.h"

namespace tavi::win {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The bytes of the file at `path` (UTF-8), opened by its wide name.
std::string ReadAll(const std::string& path) {
  std::ifstream in(std::filesystem::path(Widen(path)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in `folder`, as the system spells them, in order.
std::vector<std::wstring> NamesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  while (GetTickCount64() < end) {
    if (done()) return true;
    Sleep(20);
  }
  return done();
}

// A visible dialog window of any process titled `title`, or null.
HWND FindDialog(const std::wstring& title) {
  HWND w = FindWindowW(L"#32770", title.c_str());
  return w != nullptr && IsWindowVisible(w) ? w : nullptr;
}

HWND WaitDialog(const std::wstring& title, int timeout_ms = 20000) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindDialog(title)) != nullptr; }, timeout_ms);
  return found;
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 2000, &got);
  text.resize(got);
  return text;
}

// What a person waits for before a click or a key: `window` is the foreground window and its
// thread's active window, and that thread answers a message (it is not busy drawing it), on
// several looks in a row (the window system's own activation news may still be on its way).
bool WaitFront(HWND window, int timeout_ms = 15000) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  int in_a_row = 0;
  return WaitFor(
      [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        DWORD_PTR answer = 0;
        const bool front =
            GetForegroundWindow() == window && GetGUIThreadInfo(thread, &info) &&
            info.hwndActive == window &&
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer) != 0;
        in_a_row = front ? in_a_row + 1 : 0;
        return in_a_row >= 5;
      },
      timeout_ms);
}

// As WaitFront, and the keyboard focus inside `window` (a dialog puts it on a control).
bool WaitFocusIn(HWND window, int timeout_ms = 15000) {
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  return WaitFront(window, timeout_ms) && WaitFor(
                                              [&] {
                                                GUITHREADINFO info{};
                                                info.cbSize = sizeof info;
                                                return GetGUIThreadInfo(thread, &info) &&
                                                       info.hwndFocus != nullptr &&
                                                       IsChild(window, info.hwndFocus);
                                              },
                                              timeout_ms);
}

void Send(INPUT* input, UINT count) {
  SendInput(count, input, sizeof(INPUT));
}

void SendMouse(DWORD flags, int x = 0, int y = 0) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  // Absolute positions run from 0 to 65535 across the primary screen.
  input.mi.dx = MulDiv(x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
  input.mi.dy = MulDiv(y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
  input.mi.dwFlags = flags;
  Send(&input, 1);
}

bool IsButton(HWND control) {
  std::array<wchar_t, 32> name{};
  GetClassNameW(control, name.data(), static_cast<int>(name.size()));
  return lstrcmpiW(name.data(), L"Button") == 0;
}

bool Pushed(HWND button) {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(button, BM_GETSTATE, 0, 0, SMTO_ABORTIFHUNG, 1000, &state);
  return (state & BST_PUSHED) != 0;
}

// As a person clicks: the window in front, the pointer moved onto the middle of `control` (and
// seen there by the window system), the button pressed (a push button shows it down) and
// released. The window system routes each to whatever window is under the pointer.
void Click(HWND control) {
  HWND top = GetAncestor(control, GA_ROOT);
  EXPECT_TRUE(WaitFront(top)) << "the window never came to the front";
  RECT r{};
  GetWindowRect(control, &r);
  const int x = (r.left + r.right) / 2;
  const int y = (r.top + r.bottom) / 2;
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y);
  EXPECT_TRUE(WaitFor(
      [&] {
        POINT at{};
        return GetCursorPos(&at) && PtInRect(&r, at) &&
               GetAncestor(WindowFromPoint(at), GA_ROOT) == top;
      },
      5000))
      << "the pointer did not arrive over the control";
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  if (IsButton(control) && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) <= BS_DEFPUSHBUTTON) {
    EXPECT_TRUE(WaitFor([&] { return Pushed(control); }, 5000)) << "the button did not go down";
  }
  SendMouse(MOUSEEVENTF_LEFTUP);
}

void Key(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  Send(&input, 1);
}

// A key for the active window.
void PressKey(WORD key) {
  Key(key, false);
  Key(key, true);
}

void Type(const std::wstring& text) {
  for (wchar_t ch : text) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wScan = input[1].ki.wScan = static_cast<WORD>(ch);
    input[0].ki.dwFlags = KEYEVENTF_UNICODE;
    input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    Send(input, 2);
  }
}

// The settings a run starts from: the port kind `port` (1: the network) and `host` as the only
// host. No MachineType and no Win9x_ExtraDelay: the save at exit writes them.
void WriteSettings(const std::string& path, const std::string& host, int port) {
  std::ofstream(std::filesystem::path(Widen(path)), std::ios::binary)
      << "[Port]\r\nPort=" << port << "\r\nNumHost=1\r\nHost0=" << host << "\r\nHostSel=0\r\n";
}

// One run of tavi.exe with its own settings file.
class TaviRun {
 public:
  // `port` is the settings' port kind (1: the network); `more` further command-line arguments.
  explicit TaviRun(const std::string& host, int port = 1, const std::string& more = {}) {
    dir_ = Env("TAVI_E2E_DIR");
    settings_ = dir_ + "\\tavi-" + host + "-" + std::to_string(port) + ".ini";
    WriteSettings(settings_, host, port);
    Launch(Widen(Env("TAVI_E2E_TAVI")), L" --settings \"" + Widen(settings_) + L"\"" +
                                            (more.empty() ? L"" : L" " + Widen(more)));
  }
  // The program `exe` (UTF-8) with no --settings: it finds its settings file by itself.
  TaviRun(const std::string& exe, const std::string& settings) : settings_(settings) {
    dir_ = Env("TAVI_E2E_DIR");
    Launch(Widen(exe), L"");
  }
  ~TaviRun() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }

  bool started() const { return started_; }
  // The main window, once it is in front; null when it never came.
  HWND main() const { return main_; }
  HWND item(int id) const { return GetDlgItem(main_, id); }
  long long start_ms() const { return start_ms_; }
  const std::string& settings() const { return settings_; }
  const std::string& dir() const { return dir_; }

  // The exit code once the program ended within `timeout_ms`; -1 if it did not.
  long Ended(int timeout_ms) const {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
      return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }

  // The program's visible windows, each with its title and its message if it has one: what a
  // failure's report shows of the screen.
  std::string Windows() const {
    struct Walk {
      DWORD process;
      std::string text;
    } walk{process_.dwProcessId, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* walk = reinterpret_cast<Walk*>(data);
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          if (process != walk->process || !IsWindowVisible(window)) return TRUE;
          walk->text += "[" + Narrow(TextOf(window)) + "]";
          if (HWND message = GetDlgItem(window, 0xFFFF))
            walk->text += " " + Narrow(TextOf(message));
          walk->text += "\n";
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return walk.text.empty() ? "no window shown" : walk.text;
  }

  bool CommandsEnabled() const {
    for (int id : kCommandButtonIds) {
      if (!IsWindowEnabled(item(id))) return false;
    }
    return true;
  }

 private:
  void Launch(const std::wstring& exe, const std::wstring& settings_argument) {
    std::wstring line = L"\"" + exe + L"\"" + settings_argument + L" --lpd-port " +
                        Widen(Env("TAVI_E2E_LPD_PORT")) + L" --snmp-port " +
                        Widen(Env("TAVI_E2E_SNMP_PORT"));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const ULONGLONG start = GetTickCount64();
    started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_) != FALSE;
    if (!started_) return;
    main_ = WaitDialog(Widen(std::string(kAppName) + " " + std::string(ProductVersion())), 30000);
    start_ms_ = static_cast<long long>(GetTickCount64() - start);
    if (main_ != nullptr && !WaitFront(main_, 30000)) main_ = nullptr;
  }

  std::string dir_;
  std::string settings_;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
  HWND main_ = nullptr;
  long long start_ms_ = 0;
};

void ExpectSettingsSaved(const TaviRun& run, const std::string& host) {
  const std::string saved = ReadAll(run.settings());
  EXPECT_NE(saved.find("MachineType=1"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Win9x_ExtraDelay="), std::string::npos) << saved;
  EXPECT_NE(saved.find("Host0=" + host), std::string::npos) << saved;
}

TEST(TaviExe, MainWindowAboutBoxGetReportWindowWithSaveAndExitSavingTheSettings) {
  const std::string host = Env("TAVI_E2E_HOST_OK");
  TaviRun run(host);
  ASSERT_TRUE(run.started());
  ASSERT_NE(run.main(), nullptr) << "no window titled \"Tavi 3.0\"";
  std::printf("tavi.exe start to main window: %lld ms\n", run.start_ms());
  EXPECT_TRUE(run.CommandsEnabled());
  EXPECT_FALSE(IsWindowVisible(run.item(kIdAllCheck)));
  // The top line names the printer the buttons talk to.
  EXPECT_EQ(TextOf(run.item(kIdDevelopmentLabel)), Widen(host + ", Type2"));

  // The system menu, by keyboard: Alt+Space opens it (the main window is in front).
  Key(VK_MENU, false);
  Key(VK_SPACE, false);
  Key(VK_SPACE, true);
  Key(VK_MENU, true);
  // The system menu is a popup menu window of its own.
  auto menu_open = [] {
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu);
  };
  const DWORD thread = GetWindowThreadProcessId(run.main(), nullptr);
  auto in_menu = [&] {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) &&
           (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) != 0;
  };
  // Open means shown and the window's thread in its menu loop, where a key would go to it.
  ASSERT_TRUE(WaitFor([&] { return menu_open() && in_menu(); }, 10000))
      << "the system menu did not open";
  // Its About entry is picked by the command it carries, never by keys: the menu holds entries
  // of Wine's own ("About Wine" among them) whose place varies, and a menu of another process
  // cannot be read. The menu is closed first, and its thread out of menu mode (which would keep
  // the mouse from the About box).
  SendMessageW(run.main(), WM_CANCELMODE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !menu_open() && !in_menu(); }, 5000))
      << "the system menu stayed open";
  PostMessageW(run.main(), WM_SYSCOMMAND, MainWindow::kSysCommandAbout, 0);
  HWND about = WaitDialog(L"Version of Tavi", 5000);
  ASSERT_NE(about, nullptr) << "the About box did not open";
  EXPECT_EQ(Narrow(TextOf(GetDlgItem(about, kIdVersionText))), std::string(ProductVersion()));
  // A click lands on the box once it is in front.
  ASSERT_TRUE(WaitFront(about)) << "the About box never came to the front";
  Click(GetDlgItem(about, kIdOk));
  ASSERT_TRUE(WaitFor([&] { return FindDialog(L"Version of Tavi") == nullptr; }, 5000));

  Click(run.item(kIdGetReport));
  HWND report = WaitDialog(L"Get Report");
  ASSERT_NE(report, nullptr) << "the Get Report window did not open";
  const std::string served = ReadAll(Env("TAVI_E2E_REPORT"));
  const std::wstring shown = TextOf(GetDlgItem(report, kIdReportText));
  // The pane shows the text (its paragraphs end with CR); the line "Tavi e2e" is in it.
  EXPECT_NE(shown.find(L"Tavi e2e report"), std::wstring::npos) << Narrow(shown);

  // Save: the standard save dialog, a typed path, and exactly the report's bytes in the file,
  // under exactly the name typed, in a folder whose name is not ASCII either.
  const std::wstring folder = Widen(run.dir()) + L"\\Donn\u00e9es";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring saved_name = L"caf\u00e9.txt";
  const std::string saved_path = Narrow(folder + L"\\" + saved_name);
  // A click lands only once the window is in front and settled; under load Wine takes a while.
  ASSERT_TRUE(WaitFront(report)) << "the Get Report window did not come to the front";
  Click(GetDlgItem(report, kIdReportSave));
  HWND save = WaitDialog(L"Save As", 30000);
  ASSERT_NE(save, nullptr) << "no save dialog";
  ASSERT_TRUE(WaitFocusIn(save)) << "the save dialog never took the keyboard";
  Type(Widen(saved_path));
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return FindDialog(L"Save As") == nullptr; }, 10000));
  ASSERT_TRUE(WaitFor([&] { return ReadAll(saved_path).size() == served.size(); }, 5000));
  EXPECT_EQ(ReadAll(saved_path), served);
  EXPECT_EQ(NamesIn(folder), std::vector<std::wstring>{saved_name});
  EXPECT_NE(FindDialog(L"Get Report"), nullptr) << "Save leaves the window open";

  Click(GetDlgItem(report, kIdOk));
  ASSERT_TRUE(WaitFor([&] { return FindDialog(L"Get Report") == nullptr; }, 5000));
  ASSERT_TRUE(WaitFor([&] { return run.CommandsEnabled(); }, 5000));

  Click(run.item(kIdOk));  // Exit
  EXPECT_EQ(run.Ended(15000), 0) << run.Windows();
  ExpectSettingsSaved(run, host);
  // The save's folder is remembered as it is spelled, read back through the system.
  std::array<wchar_t, 1024> remembered{};
  GetPrivateProfileStringW(Widen(kFoldersSection).c_str(), L"Report", L"", remembered.data(),
                           static_cast<DWORD>(remembered.size()), Widen(run.settings()).c_str());
  EXPECT_EQ(std::wstring(remembered.data()), folder);
}

TEST(TaviExe, CancelOnTheProgressWindowEndsAHeaderThatNeverComesAndEscapeSavesTheSettings) {
  const std::string host = Env("TAVI_E2E_HOST_SILENT");
  TaviRun run(host);
  ASSERT_TRUE(run.started());
  ASSERT_NE(run.main(), nullptr);

  Click(run.item(kIdGetReport));
  HWND progress = WaitDialog(L"Communicating...", 10000);
  ASSERT_NE(progress, nullptr) << "the progress window did not show";
  EXPECT_FALSE(IsWindowEnabled(run.item(kIdGetReport)));
  // The header never comes: the operation keeps polling until Cancel. Meanwhile the window shows
  // it is alive: its status label counts the elapsed time.
  HWND status = GetDlgItem(progress, 0x7F00);
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !TextOf(status).empty(); }, 5000)) << "the status stays blank";
  const std::wstring said_first = TextOf(status);
  const LONG_PTR bar_style = GetWindowLongPtrW(GetDlgItem(progress, kIdProgressBar), GWL_STYLE);
  // The elapsed time it counts moves on within a few seconds.
  WaitFor([&] { return TextOf(status) != said_first; }, 5000);
  ASSERT_NE(FindDialog(L"Communicating..."), nullptr);
  const std::wstring said_later = TextOf(status);
  std::printf("status: [%s] then [%s]; bar %s\n", Narrow(said_first).c_str(),
              Narrow(said_later).c_str(), (bar_style & PBS_MARQUEE) != 0 ? "busy" : "plain");
  EXPECT_TRUE(IsWindowVisible(status));
  EXPECT_FALSE(said_first.empty());
  EXPECT_NE(said_first, said_later);
  // No news yet: the bar runs to and fro.
  EXPECT_NE(bar_style & PBS_MARQUEE, 0) << "the bar stands still";
  const ULONGLONG clicked = GetTickCount64();
  Click(GetDlgItem(progress, kIdCancel));
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(progress); }, 5000));
  std::printf("Cancel click to progress window hidden: %llu ms\n", GetTickCount64() - clicked);

  // The operation ends without a message: a Cancel is no failure, also inside a socket call.
  std::wstring said;
  ASSERT_TRUE(WaitFor(
      [&] {
        if (HWND box = FindDialog(Widen(kAppName))) {
          if (said.empty()) said = TextOf(GetDlgItem(box, 0xFFFF));
          PressKey(VK_RETURN);
        }
        return FindDialog(Widen(kAppName)) == nullptr && run.CommandsEnabled();
      },
      10000));
  EXPECT_EQ(Narrow(said), "");
  EXPECT_EQ(FindDialog(L"Get Report"), nullptr);

  ASSERT_TRUE(WaitFront(run.main())) << "the main window did not come back to the front";
  PressKey(VK_ESCAPE);
  EXPECT_EQ(run.Ended(15000), 0) << run.Windows();
  ExpectSettingsSaved(run, host);
}

// A failure message of tavi.exe that offers the trace: its text and its "Save Trace..." button.
struct TraceMessage {
  HWND box = nullptr;
  std::string text;
  HWND save = nullptr;
};

TraceMessage WaitTraceMessage(int timeout_ms) {
  TraceMessage m;
  WaitFor(
      [&] {
        m.box = FindDialog(Widen(kAppName));
        m.save =
            m.box != nullptr ? FindWindowExW(m.box, nullptr, L"Button", L"Save Trace...") : nullptr;
        return m.save != nullptr;
      },
      timeout_ms);
  if (m.box != nullptr) m.text = Narrow(TextOf(GetDlgItem(m.box, 0xFFFF)));
  return m;
}

// Saves through the standard save dialog that `button` opens, to `path`.
void SaveThrough(HWND button, const std::string& path) {
  Click(button);
  HWND save = WaitDialog(L"Save As", 30000);
  ASSERT_NE(save, nullptr) << "no save dialog";
  ASSERT_TRUE(WaitFocusIn(save)) << "the save dialog never took the keyboard";
  Type(Widen(path));
  PressKey(VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return FindDialog(L"Save As") == nullptr; }, 10000));
}

TEST(TaviExe, FindInSelectPortPutsThePickedPrinterFirstInTheHostListWithItsFamily) {
  const std::string host = Env("TAVI_E2E_HOST_OK");
  const std::string found = Env("TAVI_E2E_HOST_FOUND");
  TaviRun run(host, 1, "--find-target " + found);
  ASSERT_TRUE(run.started());
  ASSERT_NE(run.main(), nullptr);
  EXPECT_EQ(TextOf(run.item(kIdDevelopmentLabel)), Widen(host + ", Type2"));

  Click(run.item(kIdSelectPort));
  HWND port = WaitDialog(L"Select Port", 10000);
  ASSERT_NE(port, nullptr) << "Select Port did not open";
  HWND find = GetDlgItem(port, kIdFind);
  ASSERT_TRUE(IsWindowEnabled(find));
  Click(find);
  HWND list_window = WaitDialog(L"Find Printers", 20000);
  ASSERT_NE(list_window, nullptr) << "no list of the printers found";
  HWND list = GetDlgItem(list_window, 0x7F20);
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
  std::wstring line(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, 0, 0)) + 1, L'\0');
  line.resize(static_cast<std::size_t>(
      SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line.data()))));
  std::printf("found: %s\n", Narrow(line).c_str());
  EXPECT_EQ(Narrow(line).rfind(found + "   Type1   e2e-found", 0), 0u) << Narrow(line);

  Click(GetDlgItem(list_window, kIdOk));
  ASSERT_TRUE(WaitFor([&] { return FindDialog(L"Find Printers") == nullptr; }, 5000));
  // The picked printer stands first in the host list, its family marked.
  HWND combo = GetDlgItem(port, kIdHostCombo);
  ASSERT_TRUE(WaitFor([&] { return TextOf(combo) == Widen(found); }, 5000))
      << Narrow(TextOf(combo));
  std::wstring first(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, 0, 0)) + 1,
                     L'\0');
  first.resize(static_cast<std::size_t>(
      SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first.data()))));
  EXPECT_EQ(Narrow(first), found);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(IsDlgButtonChecked(port, kIdType1), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(port, kIdType2), static_cast<UINT>(BST_UNCHECKED));

  Click(GetDlgItem(port, kIdOk));
  ASSERT_TRUE(WaitFor([&] { return FindDialog(L"Select Port") == nullptr; }, 5000));
  ASSERT_TRUE(WaitFor([&] { return run.CommandsEnabled(); }, 5000));
  EXPECT_EQ(TextOf(run.item(kIdDevelopmentLabel)), Widen(found + ", Type1"));
  Click(run.item(kIdOk));  // Exit
  EXPECT_EQ(run.Ended(15000), 0) << run.Windows();
  const std::string saved = ReadAll(run.settings());
  EXPECT_NE(saved.find("Host0=" + found), std::string::npos) << saved;
  EXPECT_NE(saved.find("Host1=" + host), std::string::npos) << saved;
  EXPECT_NE(saved.find("MachineType=0"), std::string::npos) << saved;
}

TEST(TaviExe, ARefusedConnectionShowsItsDetailsAndSaveTraceWritesThatOperationsTrace) {
  const std::string host = Env("TAVI_E2E_HOST_REFUSED");
  TaviRun run(host);
  ASSERT_TRUE(run.started());
  ASSERT_NE(run.main(), nullptr);

  Click(run.item(kIdGetReport));
  TraceMessage message = WaitTraceMessage(30000);
  ASSERT_NE(message.save, nullptr) << "no failure message with \"Save Trace...\"";
  std::printf("message: %s\n", message.text.c_str());
  // The fixed text, then the details on their own lines: where it was refused.
  const std::size_t gap = message.text.find("\n\n");
  ASSERT_NE(gap, std::string::npos) << message.text;
  EXPECT_EQ(message.text.substr(0, gap), std::string(LoadString(kIdsFailedToConnect)));
  EXPECT_NE(message.text.find(host, gap), std::string::npos) << message.text;

  const std::string path = run.dir() + "\\refused-trace.txt";
  SaveThrough(message.save, path);
  ASSERT_TRUE(WaitFor([&] { return !ReadAll(path).empty(); }, 5000));
  const std::string trace = ReadAll(path);
  std::printf("trace:\n%s\n", trace.c_str());
  EXPECT_NE(trace.find("Tavi " + std::string(ProductVersion()) + ": Get Report"), std::string::npos)
      << trace;
  EXPECT_NE(trace.find("connect to " + host), std::string::npos) << trace;
  ASSERT_TRUE(WaitFor([&] { return FindDialog(Widen(kAppName)) == nullptr; }, 5000));
  ASSERT_TRUE(WaitFor([&] { return run.CommandsEnabled(); }, 10000));

  // The next operation's trace starts afresh: the saved one held only the first.
  Click(run.item(kIdGetReport));
  message = WaitTraceMessage(30000);
  ASSERT_NE(message.save, nullptr);
  const std::string again = run.dir() + "\\refused-trace-2.txt";
  SaveThrough(message.save, again);
  ASSERT_TRUE(WaitFor([&] { return !ReadAll(again).empty(); }, 5000));
  const std::string second = ReadAll(again);
  const std::string run_line = ": Get Report";
  ASSERT_NE(second.find(run_line), std::string::npos) << second;
  EXPECT_EQ(second.find(run_line, second.find(run_line) + 1), std::string::npos) << second;

  ASSERT_TRUE(WaitFor([&] { return run.CommandsEnabled(); }, 10000));
  Click(run.item(kIdOk));
  EXPECT_EQ(run.Ended(15000), 0) << run.Windows();
}

// The program copied into a folder named in Cyrillic, as an unzipped copy would be, with the
// settings file beside it: it reads that file (its port kind is USB, unlike the default) and
// saves into it at the end.
TEST(TaviExe, FromAFolderNamedInCyrillicItKeepsTheSettingsBesideItAndAUsbPortSaysWhyItFailed) {
  const std::wstring folder =
      Widen(Env("TAVI_E2E_DIR")) + L"\\\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring exe = folder + L"\\tavi.exe";
  ASSERT_TRUE(CopyFileW(Widen(Env("TAVI_E2E_TAVI")).c_str(), exe.c_str(), TRUE));
  const std::string settings = Narrow(folder + L"\\Tavi.INI");
  WriteSettings(settings, Env("TAVI_E2E_HOST_REFUSED"), 2);
  TaviRun run(Narrow(exe), settings);
  ASSERT_TRUE(run.started());
  ASSERT_NE(run.main(), nullptr);
  Click(run.item(kIdGetReport));
  const TraceMessage message = WaitTraceMessage(30000);
  ASSERT_NE(message.save, nullptr) << "no failure message with \"Save Trace...\"";
  std::printf("message: %s\n", message.text.c_str());
  EXPECT_EQ(message.text, std::string(LoadString(kIdsFailedToOpenPort)) +
                              "\n\nNo USB printer of this family was found.");
  Click(GetDlgItem(message.box, kIdOk));
  ASSERT_TRUE(WaitFor([&] { return run.CommandsEnabled(); }, 10000));
  Click(run.item(kIdOk));
  EXPECT_EQ(run.Ended(15000), 0) << run.Windows();
  const std::string saved = ReadAll(settings);
  EXPECT_NE(saved.find("Port=2"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Win9x_ExtraDelay="), std::string::npos) << saved;
  EXPECT_EQ(NamesIn(folder), (std::vector<std::wstring>{L"Tavi.INI", L"tavi.exe"}));
}

}  // namespace
}  // namespace tavi::win
