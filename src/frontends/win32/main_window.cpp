#include "frontends/win32/main_window.h"

#include "core/connection/printer_connection.h"
#include "core/files/head_rank.h"
#include "core/operations/firmware_upgrade.h"
#include "core/operations/get_parameters.h"
#include "core/operations/get_report.h"
#include "core/operations/operation_trace.h"
#include "core/operations/put_parameters.h"
#include "core/operations/set_head_rank.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/operation_options.h"
#include "core/settings/port_settings.h"
#include "frontends/win32/app_icon.h"
#include "frontends/win32/dialogs.h"
#include "frontends/win32/win_text.h"
#include "os/journal_file.h"

namespace tavi::win {

MainWindow::MainWindow(PrinterConnection& connection, FileChooser& chooser,
                       std::uint16_t restart_snmp_port)
    : NativeDialog(kDlgMain),
      connection_(connection),
      chooser_(chooser),
      restart_snmp_port_(restart_snmp_port),
      version_text_(ProductVersion()),
      runner_(connection, version_text_,
              {.enable_commands = [this](bool enable) { EnableCommands(enable); },
               // The keyboard goes back to the button that started the operation.
               .focus =
                   [this](int id) {
                     if (IsWindowVisible(hwnd())) SetActiveWindow(hwnd());
                     SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
                   },
               .end = [this](int result) { End(result); }}) {}

BOOL MainWindow::OnInit() {
  const std::string about = std::string(LoadString(kIdsAboutMenu));
  if (!about.empty()) {
    if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, kSysCommandAbout, Widen(about).c_str());
    }
  }
  if (options_ != nullptr) {
    if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING | (options_->verify_restore() ? MF_CHECKED : MF_UNCHECKED),
                  kSysCommandVerify, Widen(std::string(kVerifyRestoreText)).c_str());
    }
  }
  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon(SM_CXICON)));
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(AppIcon(SM_CXSMICON)));
  SetWindowTextW(hwnd(), Widen(std::string(kAppName) + ' ' + version_text_).c_str());
  EnableCommands(true);
  return TRUE;
}

void MainWindow::EnableCommands(bool enable) {
  for (int id : kCommandButtonIds) EnableItem(id, enable);
  if (HWND all = Item(kIdAllCheck)) {
    EnableWindow(all, FALSE);
    ShowWindow(all, SW_HIDE);
  }
  all_option_ = 0;
  CheckDlgButton(hwnd(), kIdAllCheck, all_option_ != 0 ? BST_CHECKED : BST_UNCHECKED);
  // The top line names the printer the buttons talk to.
  SetItemText(kIdDevelopmentLabel, PrinterBrief(connection_.settings()));
}

bool MainWindow::OnCommand(int id, int notification) {
  if (Operation operation{}; MainDialogOperation(id, operation)) {
    if (notification == BN_CLICKED) {
      (void)runner_.Run(operation, [this, operation] { RunOperation(operation); });
    }
    return true;
  }
  switch (id) {
    case IDOK:      // Exit
    case IDCANCEL:  // Escape, Close
      runner_.Close(id);
      return true;
    default:
      return false;
  }
}

void MainWindow::SaveTrace() {
  if (runner_.trace_memory() == nullptr) return;
  (void)SaveTraceFlow(*runner_.trace_memory(), chooser_, connection_.messages());
}

void MainWindow::RunOperation(Operation operation) {
  PrinterConnection& c = connection_;
  switch (operation) {
    case Operation::kSelectPort:
      RunSelectPort(hwnd(), c.settings(), c.messages(), c.clock(),
                    {find_targets_, restart_snmp_port_, 0, c.settings().community}, c.trace());
      return;
    case Operation::kGetReport:
      (void)GetReportFlow(c, [this](std::string report) {
        GetReportWindow window(std::move(report), noting_, connection_.messages());
        window.RunModal(hwnd());
      });
      return;
    case Operation::kGetParameters:
      (void)GetParametersFlow(c, noting_);
      return;
    case Operation::kPutParameters:
      // With SafetyCopy=1 in the settings, the printer's block is kept before it is replaced.
      (void)PutParametersFlow(c, noting_, all_option_ != 0,
                              options_ != nullptr && options_->verify_restore(),
                              c.settings().safety_copy ? JournalFolder() : std::string());
      return;
    case Operation::kSetHeadRank: {
      // A new window each time, so every opening starts from the defaults and head "1".
      SetHeadRankWindow window(noting_, c.messages());
      if (window.RunModal(hwnd()) != IDOK) return;
      // A rank that would not pass as a head rank line is refused before the printer is reached.
      (void)SetTypedHeadRankFlow(c, window.head_index(), window.fields());
      return;
    }
    case Operation::kFirmwareUpgrade:
      (void)FirmwareUpgradeFlow(c, noting_);
      return;
    default:
      return;
  }
}

bool MainWindow::OnMessage(UINT message, WPARAM wparam, LPARAM /*lparam*/, INT_PTR& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      // The low four bits are the system's own.
      if (options_ != nullptr && (static_cast<unsigned>(wparam) & ~0xFu) == kSysCommandVerify) {
        options_->set_verify_restore(!options_->verify_restore());
        CheckMenuItem(GetSystemMenu(hwnd(), FALSE), kSysCommandVerify,
                      MF_BYCOMMAND | (options_->verify_restore() ? MF_CHECKED : MF_UNCHECKED));
        result = 0;
        return true;
      }
      if ((static_cast<unsigned>(wparam) & ~0xFu) != kSysCommandAbout) return false;
      {
        AboutBox about(version_text_);
        about.RunModal(hwnd());
      }
      result = 0;
      return true;
    case WM_PAINT:
      if (!IsIconic(hwnd())) return false;
      PaintMinimised();
      result = 0;
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(AppIcon());
      return true;
    default:
      return false;
  }
}

void MainWindow::PaintMinimised() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd(), &paint);
  SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(hwnd(), &client);
  const int cx = GetSystemMetrics(SM_CXICON);
  const int cy = GetSystemMetrics(SM_CYICON);
  const int x = (client.right - client.left - cx + 1) / 2;
  const int y = (client.bottom - client.top - cy + 1) / 2;
  DrawIcon(dc, x, y, AppIcon());
  EndPaint(hwnd(), &paint);
}

}  // namespace tavi::win
