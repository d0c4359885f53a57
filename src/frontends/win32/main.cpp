// tavi.exe: the desktop program on Windows. Start-up order: socket layer, control libraries,
// settings, printer connection with the native seams, the main dialog run modally, then the
// settings saved.
#include "frontends/win32/win_api.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "core/journal/journal.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/operation_options.h"
#include "core/settings/recent_folders.h"
#include "core/settings/save_at_exit.h"
#include "core/settings/settings_store.h"
#include "core/trace/trace_sinks.h"
#include "frontends/win32/command_line.h"
#include "frontends/win32/dialog_template_ex.h"
#include "frontends/win32/main_window.h"
#include "frontends/win32/win_clock.h"
#include "frontends/win32/win_progress_dialog.h"
#include "frontends/win32/win_seams.h"
#include "frontends/win32/win_text.h"
#include "os/journal_file.h"
#include "os/socket_startup.h"
#include "os/terminal.h"

namespace {

// The arguments after the program's name, in UTF-8.
std::vector<std::string> Arguments() {
  std::vector<std::string> args = tavi::CommandLineArguments(0, nullptr);
  if (!args.empty()) args.erase(args.begin());
  return args;
}

void Warn(std::string_view text) {
  MessageBoxW(nullptr, tavi::win::Widen(text).c_str(), tavi::win::Widen(tavi::kAppName).c_str(),
              MB_OK | MB_ICONWARNING);
}

}  // namespace

int main() {
  tavi::win::Options options;
  std::string error;
  if (!tavi::win::ParseCommandLine(Arguments(), options, error)) {
    std::fprintf(stderr, "tavi: %s\n%s", error.c_str(), tavi::win::kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(tavi::win::kUsage, stdout);
    return 0;
  }
  if (options.version) {
    const std::string_view version = tavi::ProductVersion();
    std::printf("tavi %.*s\n", static_cast<int>(version.size()), version.data());
    return 0;
  }

  if (!tavi::StartSocketLayer()) {
    Warn(tavi::LoadString(tavi::kIdsSocketInitFailed));
    return 1;
  }
  tavi::win::LoadControlLibraries();

  const std::string settings_path =
      options.settings_path.empty() ? tavi::DefaultSettingsPath() : options.settings_path;
  tavi::RecentFolders folders = tavi::RecentFolders::Load(settings_path);
  tavi::OperationOptions operation_options = tavi::OperationOptions::Load(settings_path);
  tavi::win::WinMessages messages;
  tavi::win::WinProgressDialog progress;
  tavi::win::PumpingClock clock;
  tavi::win::WinFileChooser chooser;
  chooser.set_folders(&folders);
  tavi::LoadedSettings loaded = tavi::LoadSettingsFile(settings_path);
  // A settings file that cannot be used: the defaults for this run, the file left as it is.
  if (loaded.refused) Warn(tavi::SettingsRefusedText(*loaded.refused));
  tavi::PrinterConnection connection(std::move(loaded.settings), progress, messages, clock,
                                     tavi::DefaultChannelFactory(options.ports));
  // The last operation's wire trace, kept in memory for "Save Trace...".
  tavi::TraceMemory trace;
  {
    tavi::win::MainWindow window(connection, chooser, options.ports.snmp);
    window.set_find_targets(options.find_targets);
    window.set_trace_memory(&trace);
    // The service journal; a journal that cannot be written is said once, and fails nothing.
    tavi::Journal journal(tavi::JournalFolder(), tavi::JournalBound(),
                          [](const std::string& text) { Warn(text); });
    window.set_journal(&journal);
    window.set_operation_options(&operation_options);
    messages.OfferTrace([&trace] { return !trace.empty(); }, [&window] { window.SaveTrace(); });
    window.RunModal(nullptr);
    messages.OfferTrace({}, {});
  }
  if (!loaded.refused && !tavi::SaveAtExit(settings_path, connection.settings(), folders,
                                           operation_options, messages)) {
    return 1;
  }
  return 0;
}
