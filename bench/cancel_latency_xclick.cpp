// Cancel latency as a person sees it: under an X server (run it through
// bench/cancel_latency.sh, which starts Xvfb), the main dialog runs modally, Get Report waits
// for a header that never comes, and xdotool clicks the progress window's Cancel on the screen.
// For each round it prints the time from the X click (the server's timestamp of the button
// press, which the X server takes from the same monotonic clock) to the progress window being
// hidden, and the time from starting xdotool to the hide; then the mean and the worst of both.
#include <QApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/connection/default_channels.h"
#include "core/connection/printer_connection.h"
#include "frontends/printer_sim/virtual_printer.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/main_dialog.h"
#include "frontends/qt/pumping_clock.h"
#include "frontends/qt/qt_messages.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/wire_operations.h"

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Notes when the Cancel button gets its press, and when the progress window is hidden.
class Watch : public QObject {
 public:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress && object == cancel && press_x_ms < 0) {
      press_x_ms = static_cast<std::int64_t>(static_cast<QMouseEvent*>(event)->timestamp());
    }
    if (event->type() == QEvent::Hide && object == progress && hidden_ms < 0) hidden_ms = NowMs();
    return false;
  }
  QObject* cancel = nullptr;
  QObject* progress = nullptr;
  std::int64_t press_x_ms = -1;
  std::int64_t hidden_ms = -1;
};

void XClick(const QWidget& control, QProcess& xdotool) {
  const QPoint at = control.mapToGlobal(control.rect().center());
  xdotool.start("xdotool",
                {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

class QuietMessages : public tavi::Messages {
 public:
  void ShowMessage(int, std::string_view) override {}
  void ShowFileError(const tavi::FileError&) override {}
};

class NoFiles : public tavi::FileChooser {
 public:
  std::string AskOpenFile(tavi::FileKind) override { return {}; }
  std::string AskSaveFile(tavi::FileKind) override { return {}; }
};

bool Idle(const QWidget& dialog) {
  for (int id : tavi::kCommandButtonIds) {
    if (!tavi::FindControl(dialog, id)->isEnabled()) return false;
  }
  return true;
}

void Report(const char* what, std::vector<std::int64_t> ms) {
  if (ms.empty()) return;
  std::int64_t total = 0;
  for (std::int64_t m : ms) total += m;
  std::sort(ms.begin(), ms.end());
  std::printf("%-28s mean %5.1f ms  median %3lld ms  worst %3lld ms  (%zu rounds)\n", what,
              static_cast<double>(total) / static_cast<double>(ms.size()),
              static_cast<long long>(ms[ms.size() / 2]), static_cast<long long>(ms.back()),
              ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (QGuiApplication::platformName() != "xcb") {
    std::fprintf(stderr, "needs an X server: run bench/cancel_latency.sh\n");
    return 2;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

  tavi::sim::VirtualPrinterConfig config;
  config.address = "127.0.0.116";
  config.options.no_header = true;
  tavi::sim::VirtualPrinter printer(config);
  std::string error;
  if (!printer.Start(error)) {
    std::fprintf(stderr, "virtual printer: %s\n", error.c_str());
    return 1;
  }
  tavi::PortSettings settings;
  settings.port = tavi::kPortNetwork;
  settings.hosts = {config.address};
  QuietMessages messages;
  NoFiles files;
  tavi::QtProgressDialog progress;
  tavi::PumpingClock clock;
  tavi::PrinterConnection connection(
      settings, progress, messages, clock,
      tavi::DefaultChannelFactory({printer.lpd_port(), printer.snmp_port()}));
  tavi::MainDialog dialog(connection, files, tavi::WireOperations(printer.snmp_port()));

  Watch watch;
  watch.cancel = tavi::FindControl(progress, tavi::kIdCancel);
  watch.progress = &progress;
  app.installEventFilter(&watch);

  enum class Step { kIdle, kStarted, kCancelled } step = Step::kIdle;
  QProcess xdotool;
  std::int64_t shown_at = -1;
  std::int64_t spawned_at = -1;
  std::vector<std::int64_t> from_click;
  std::vector<std::int64_t> from_spawn;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (xdotool.state() != QProcess::NotRunning) return;
    switch (step) {
      case Step::kIdle:
        if (!Idle(dialog) || !dialog.windowHandle()->isExposed()) return;
        if (static_cast<int>(from_spawn.size()) == rounds) {
          dialog.reject();
          return;
        }
        XClick(*tavi::FindControl(dialog, tavi::kIdGetReport), xdotool);
        shown_at = -1;
        step = Step::kStarted;
        return;
      case Step::kStarted:
        if (!progress.isVisible() || !progress.windowHandle()->isExposed()) return;
        if (shown_at < 0) shown_at = NowMs();
        if (NowMs() - shown_at < 400) return;  // well inside the header wait
        watch.press_x_ms = -1;
        watch.hidden_ms = -1;
        spawned_at = NowMs();
        XClick(*tavi::FindControl(progress, tavi::kIdCancel), xdotool);
        step = Step::kCancelled;
        return;
      case Step::kCancelled:
        if (watch.hidden_ms < 0 || !Idle(dialog)) return;
        from_spawn.push_back(watch.hidden_ms - spawned_at);
        // The server's 32-bit millisecond time of the press, on the monotonic clock.
        if (watch.press_x_ms >= 0) {
          const std::int64_t now_low = watch.hidden_ms & 0xFFFFFFFF;
          std::int64_t gap = now_low - watch.press_x_ms;
          if (gap < 0) gap += std::int64_t{1} << 32;
          if (gap < 10000) from_click.push_back(gap);
        }
        std::printf("round %2zu: X click -> hidden %s ms, xdotool start -> hidden %lld ms\n",
                    from_spawn.size(),
                    from_click.size() == from_spawn.size()
                        ? std::to_string(from_click.back()).c_str()
                        : "?",
                    static_cast<long long>(from_spawn.back()));
        step = Step::kIdle;
        return;
    }
  });
  timer.start(10);
  dialog.exec();
  printer.Stop();
  Report("X click -> window hidden", from_click);
  Report("xdotool start -> hidden", from_spawn);
  return static_cast<int>(from_spawn.size()) == rounds ? 0 : 1;
}
