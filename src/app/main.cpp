// tavi: the desktop program. Start-up order: socket layer, settings, printer connection with the
// Qt seams, the main dialog run modally and destroyed, then the settings saved.
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/app_icon.h"
#include "app/main_dialog.h"
#include "app/pumping_clock.h"
#include "app/qt_file_chooser.h"
#include "app/qt_messages.h"
#include "app/qt_progress_dialog.h"
#include "app/wire_operations.h"
#include "config/settings_store.h"
#include "connection/default_channels.h"
#include "connection/printer_connection.h"
#include "platform/socket_startup.h"
#include "resources/strings.h"
#include "trace/trace_sinks.h"

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct Options {
  std::string settings_path;
  QString screenshot_path;
  bool exit_after_show = false;
};

Options ParseOptions(const QApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription("Maintenance utility for wide-format inkjet printers.");
  parser.addHelpOption();
  const QCommandLineOption settings("settings", "Keep the port settings in FILE.", "FILE");
  const QCommandLineOption screenshot(
      "screenshot", "Save a picture of the main window to FILE once it is shown, then exit.",
      "FILE");
  const QCommandLineOption exit_after_show(
      "exit-after-show",
      "Print the time at which the main window was first shown (ms since the epoch), then exit.");
  parser.addOption(settings);
  parser.addOption(screenshot);
  parser.addOption(exit_after_show);
  parser.process(app);
  Options options;
  if (parser.isSet(settings))
    options.settings_path = QFile::encodeName(parser.value(settings)).toStdString();
  options.screenshot_path = parser.value(screenshot);
  options.exit_after_show = parser.isSet(exit_after_show);
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(ToQString(tavi::kAppName));
  const Options options = ParseOptions(app);

  if (!tavi::StartSocketLayer()) {
    QMessageBox::warning(nullptr, ToQString(tavi::kAppName),
                         ToQString(tavi::LoadString(tavi::kIdsSocketInitFailed)));
    return 1;
  }

  const std::string settings_path =
      options.settings_path.empty() ? tavi::DefaultSettingsPath() : options.settings_path;
  QApplication::setWindowIcon(tavi::AppIcon());

  tavi::QtMessages messages;
  tavi::QtProgressDialog progress;
  tavi::PumpingClock clock;
  tavi::QtFileChooser chooser;
  tavi::LoadedSettings loaded = tavi::LoadSettingsFile(settings_path);
  if (loaded.refused) {
    // The defaults are used for this run, and the file is left as it is at exit.
    QMessageBox::warning(nullptr, ToQString(tavi::kAppName),
                         ToQString(tavi::SettingsRefusedText(*loaded.refused)));
  }
  tavi::PrinterConnection connection(std::move(loaded.settings), progress, messages, clock,
                                     tavi::DefaultChannelFactory());
  // The last operation's wire trace, kept in memory for "Save Trace...".
  tavi::TraceMemory trace;
  {
    auto dialog = std::make_unique<tavi::MainDialog>(connection, chooser, tavi::WireOperations());
    chooser.set_parent(dialog.get());
    tavi::MainDialog* window = dialog.get();
    window->set_trace_memory(&trace);
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
  tavi::FileError error;
  if (!loaded.refused && !tavi::SaveSettings(settings_path, connection.settings(), error)) {
    std::fprintf(stderr, "tavi: the settings were not saved. %s\n",
                 tavi::FileErrorText(error).c_str());
  }
  return 0;
}
