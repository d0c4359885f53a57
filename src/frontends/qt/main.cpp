// tavi: the desktop program. Start-up order: socket layer, settings, printer connection with the
// Qt seams, the main dialog run modally and destroyed, then the settings saved.
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

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
#include "frontends/qt/app_icon.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_file_chooser.h"
#include "frontends/qt/qt_messages.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/wire_operations.h"
#include "os/journal_file.h"
#include "os/socket_startup.h"

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct Options {
  std::string settings_path;
  QString screenshot_path;
  bool exit_after_show = false;
  tavi::NetworkPorts ports;  // 0: the service ports
};

// The program's command line. --help and --version are answered before the window system
// starts, so they work without a display.
class CommandLine {
 public:
  CommandLine() {
    parser_.setApplicationDescription("Maintenance utility for wide-format inkjet printers.");
    parser_.addHelpOption();
    // "-platform xcb" is one of the window system's options, not seven short ones.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption* option :
         {&version_, &settings_, &lpd_port_, &snmp_port_, &screenshot_, &exit_after_show_}) {
      parser_.addOption(*option);
    }
  }

  // Answers --help and --version, and refuses an option that neither the program nor the
  // window system knows, before the window system starts (the window system's own options are
  // taken out by QApplication later). Returns an exit status when the program is to end here,
  // else -1.
  int Early(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    (void)parser_.parse(arguments);
    if (parser_.isSet("help")) {
      // Without an application object the parser cannot name the program.
      QString help = parser_.helpText();
      help.replace(QLatin1String("<executable_name>"), QLatin1String("tavi"));
      std::fputs(help.toLocal8Bit().constData(), stdout);
      return 0;
    }
    if (parser_.isSet(version_)) {
      const std::string_view version = tavi::ProductVersion();
      std::printf("tavi %.*s\n", static_cast<int>(version.size()), version.data());
      return 0;
    }
    bool platform_given = false;
    for (const QString& name : parser_.unknownOptionNames()) {
      if (!IsWindowSystemOption(name)) {
        Fail("unknown option '" + name + "'");
        return 2;
      }
      platform_given = platform_given || name == QLatin1String("platform");
    }
    // Without a display the window system would end the program with an abort.
    const auto set = [](const char* name) {
      const char* value = std::getenv(name);
      return value != nullptr && *value != '\0';
    };
    if (!platform_given && !set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
      std::fputs(
          "tavi: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY "
          "is set); tavi-cli does the same operations in a terminal\n",
          stderr);
      return 1;
    }
    return -1;
  }

  // The whole command line, after QApplication took its own options out. Unknown options and
  // bad values end the program with status 2.
  bool Parse(const QApplication& app, Options& options) {
    if (!parser_.parse(app.arguments())) return Fail(parser_.errorText());
    if (!parser_.positionalArguments().isEmpty()) {
      return Fail("unexpected argument " + parser_.positionalArguments().front());
    }
    if (parser_.isSet(settings_)) {
      options.settings_path = QFile::encodeName(parser_.value(settings_)).toStdString();
    }
    options.screenshot_path = parser_.value(screenshot_);
    options.exit_after_show = parser_.isSet(exit_after_show_);
    return Port(lpd_port_, options.ports.lpd) && Port(snmp_port_, options.ports.snmp);
  }

 private:
  // The options QApplication takes for itself (Qt's platform and widget options).
  static bool IsWindowSystemOption(const QString& name) {
    static constexpr const char* kNames[] = {"platform",      "platformpluginpath",
                                             "platformtheme", "plugin",
                                             "qmljsdebugger", "qwindowgeometry",
                                             "qwindowicon",   "qwindowtitle",
                                             "reverse",       "session",
                                             "display",       "geometry",
                                             "style",         "stylesheet",
                                             "widgetcount",   "nograb",
                                             "dograb",        "sync",
                                             "name",          "title",
                                             "visual",        "ncols",
                                             "cmap",          "fn",
                                             "font",          "bg",
                                             "background",    "fg",
                                             "foreground",    "btn",
                                             "button",        "im",
                                             "inputstyle",    "graphicssystem",
                                             "testability"};
    for (const char* known : kNames) {
      if (name == QLatin1String(known)) return true;
    }
    return false;
  }

  static bool Fail(const QString& why) {
    std::fprintf(stderr, "tavi: %s (see tavi --help)\n", why.toLocal8Bit().constData());
    return false;
  }

  bool Port(const QCommandLineOption& option, std::uint16_t& port) {
    if (!parser_.isSet(option)) return true;
    bool ok = false;
    const unsigned value = parser_.value(option).toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
      return Fail("--" + option.names().front() + " needs a port from 1 to 65535");
    }
    port = static_cast<std::uint16_t>(value);
    return true;
  }

  QCommandLineParser parser_;
  const QCommandLineOption version_{"version", "Print the version and exit."};
  const QCommandLineOption settings_{"settings", "Keep the settings in FILE.", "FILE"};
  const QCommandLineOption lpd_port_{
      "lpd-port", "Send print jobs to LPD port N instead of the printer service port.", "N"};
  const QCommandLineOption snmp_port_{
      "snmp-port", "Ask the SNMP agent on port N instead of the snmp service port.", "N"};
  const QCommandLineOption screenshot_{
      "screenshot", "Save a picture of the main window to FILE once it is shown, then exit.",
      "FILE"};
  const QCommandLineOption exit_after_show_{
      "exit-after-show",
      "Print the time at which the main window was first shown (ms since the epoch), then exit."};
};

}  // namespace

int main(int argc, char** argv) {
  CommandLine command_line;
  if (const int status = command_line.Early(argc, argv); status >= 0) return status;

  QApplication app(argc, argv);
  QApplication::setApplicationName(ToQString(tavi::kAppName));
  QGuiApplication::setDesktopFileName(ToQString(tavi::AppId()));
  Options options;
  if (!command_line.Parse(app, options)) return 2;

  if (!tavi::StartSocketLayer()) {
    QMessageBox::warning(nullptr, ToQString(tavi::kAppName),
                         ToQString(tavi::LoadString(tavi::kIdsSocketInitFailed)));
    return 1;
  }

  const std::string settings_path =
      options.settings_path.empty() ? tavi::DefaultSettingsPath() : options.settings_path;
  QApplication::setWindowIcon(tavi::AppIcon());
  tavi::RecentFolders folders = tavi::RecentFolders::Load(settings_path);
  tavi::OperationOptions operation_options = tavi::OperationOptions::Load(settings_path);

  tavi::QtMessages messages;
  tavi::QtProgressDialog progress;
  tavi::PumpingClock clock;
  tavi::QtFileChooser chooser;
  chooser.set_folders(&folders);
  tavi::LoadedSettings loaded = tavi::LoadSettingsFile(settings_path);
  if (loaded.refused) {
    // The defaults are used for this run, and the file is left as it is at exit.
    QMessageBox::warning(nullptr, ToQString(tavi::kAppName),
                         ToQString(tavi::SettingsRefusedText(*loaded.refused)));
  }
  tavi::PrinterConnection connection(std::move(loaded.settings), progress, messages, clock,
                                     tavi::DefaultChannelFactory(options.ports));
  // The last operation's wire trace, kept in memory for "Save Trace...".
  tavi::TraceMemory trace;
  {
    auto dialog = std::make_unique<tavi::MainDialog>(connection, chooser,
                                                     tavi::WireOperations(options.ports.snmp));
    chooser.set_parent(dialog.get());
    tavi::MainDialog* window = dialog.get();
    window->set_trace_memory(&trace);
    // The service journal; a journal that cannot be written is said once, and fails nothing.
    tavi::Journal journal(
        tavi::JournalFolder(), tavi::JournalBound(), [window](const std::string& text) {
          QMessageBox::warning(window, ToQString(tavi::kAppName), ToQString(text));
        });
    window->set_journal(&journal);
    window->set_operation_options(&operation_options);
    messages.OfferTrace([&trace] { return !trace.empty(); }, [window] { window->SaveTrace(); });
    QObject::connect(window, &tavi::MainDialog::firstShown, window, [&options, window] {
      if (options.exit_after_show) {
        std::printf("%lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        std::fflush(stdout);
      }
      if (options.screenshot_path.isEmpty() && !options.exit_after_show) return;
      // Let the window paint once before it is grabbed.
      QTimer::singleShot(200, window, [&options, window] {
        if (!options.screenshot_path.isEmpty() && !window->grab().save(options.screenshot_path)) {
          std::fprintf(stderr, "tavi: could not save %s\n",
                       QFile::encodeName(options.screenshot_path).constData());
        }
        window->reject();
      });
    });
    dialog->exec();
    messages.OfferTrace({}, {});
    chooser.set_parent(nullptr);
  }
  // A settings file refused at start is left as it is; a failed save is said, with the file and
  // the cause, before the program ends.
  if (!loaded.refused && !tavi::SaveAtExit(settings_path, connection.settings(), folders,
                                           operation_options, messages)) {
    return 1;
  }
  return 0;
}
