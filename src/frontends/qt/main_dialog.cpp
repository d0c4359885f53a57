#include "frontends/qt/main_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "core/connection/printer_connection.h"
#include "core/operations/operation_trace.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace_sinks.h"
#include "frontends/qt/about_box.h"
#include "frontends/qt/app_icon.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "frontends/qt/qt_messages.h"

namespace tavi {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Re-enables the buttons however the operation ends.
class CommandScope {
 public:
  CommandScope(MainDialog& dialog, bool& busy) : dialog_(dialog), busy_(busy) {
    dialog_.EnableCommands(false);
    busy_ = true;
  }
  ~CommandScope() {
    busy_ = false;
    dialog_.EnableCommands(true);
  }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  MainDialog& dialog_;
  bool& busy_;
};

}  // namespace

MainDialog::MainDialog(PrinterConnection& connection, FileChooser& chooser, Operations operations,
                       QWidget* parent)
    : QDialog(parent),
      connection_(connection),
      chooser_(chooser),
      operations_(std::move(operations)) {
  BuildDialog(*this, *FindDialogTemplate(kDlgMain));

  const std::pair<int, void (MainDialog::*)()> handlers[] = {
      {kIdSelectPort, &MainDialog::OnSelectPort},
      {kIdGetReport, &MainDialog::OnGetReport},
      {kIdGetParameters, &MainDialog::OnGetParameters},
      {kIdPutParameters, &MainDialog::OnPutParameters},
      {kIdSetHeadRank, &MainDialog::OnSetHeadRank},
      {kIdFirmwareUpgrade, &MainDialog::OnFirmwareUpgrade},
  };
  for (const auto& [id, handler] : handlers) {
    if (auto* button = FindControlAs<QPushButton>(*this, id)) {
      connect(button, &QPushButton::clicked, this, handler);
    }
  }
  if (auto* exit = FindControlAs<QPushButton>(*this, kIdOk)) {
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
  }

  context_menu_ = new QMenu(this);
  RebuildContextMenu(LoadString(kIdsAboutMenu));
  setWindowIcon(AppIcon());

  version_text_ = std::string(ProductVersion());
  setWindowTitle(ToQString(kAppName) + QLatin1Char(' ') + ToQString(version_text_));
  EnableCommands(true);
}

MainDialog::~MainDialog() = default;

void MainDialog::EnableCommands(bool enable) {
  for (int id : kCommandButtonIds) {
    if (QWidget* button = FindControl(*this, id)) button->setEnabled(enable);
  }
  auto* all = FindControlAs<QCheckBox>(*this, kIdAllCheck);
  if (all != nullptr) {
    all->setEnabled(false);
    all->setVisible(false);
  }
  all_option_ = 0;
  if (all != nullptr) all->setChecked(all_option_ != 0);
  // The top line says which printer the buttons talk to (the template keeps it empty).
  if (auto* label = FindControlAs<QLabel>(*this, kIdDevelopmentLabel)) {
    const PortSettings& settings = connection_.settings();
    const QString brief = ToQString(PrinterBrief(settings));
    label->setText(label->fontMetrics().elidedText(brief, Qt::ElideMiddle, label->width()));
    label->setToolTip(ToQString(PrinterSummary(settings)));
    label->setAccessibleName(label->toolTip());
  }
}

void MainDialog::RunCommand(int button_id, const std::function<void()>& body) {
  {
    CommandScope scope(*this, busy_);
    if (trace_memory_ != nullptr) {
      const QWidget* button = FindControl(*this, button_id);
      const QString name = button != nullptr ? button->property("text").toString() : QString();
      StartOperationTrace(connection_, *trace_memory_, version_text_, name.toStdString());
    }
    body();
    EndOperationTrace(connection_);
  }
  // The keyboard goes back to the button that started the operation, in this window, also when
  // the window that the operation opened took the activation with it.
  if (isVisible() && QApplication::activeWindow() == nullptr) activateWindow();
  if (QWidget* button = FindControl(*this, button_id)) button->setFocus(Qt::OtherFocusReason);
  if (held_result_ >= 0) {
    const int result = held_result_;
    held_result_ = -1;
    QDialog::done(result);
  }
}

void MainDialog::OnSelectPort() {
  RunCommand(kIdSelectPort, [this] { operations_.select_port(*this); });
}

void MainDialog::OnGetReport() {
  RunCommand(kIdGetReport, [this] {
    std::string report;
    if (!operations_.get_report(*this, report)) return;
    GetReportDialog window(chooser_, connection_.messages(), this);
    window.SetReportText(std::move(report));
    window.exec();
  });
}

void MainDialog::OnGetParameters() {
  RunCommand(kIdGetParameters, [this] { operations_.get_parameters(*this); });
}

void MainDialog::OnPutParameters() {
  RunCommand(kIdPutParameters, [this] { operations_.put_parameters(*this, all_option_ != 0); });
}

void MainDialog::OnSetHeadRank() {
  RunCommand(kIdSetHeadRank, [this] { operations_.set_head_rank(*this); });
}

void MainDialog::OnFirmwareUpgrade() {
  RunCommand(kIdFirmwareUpgrade, [this] { operations_.firmware_upgrade(*this); });
}

bool MainDialog::OnSysCommand(unsigned id) {
  if ((id & ~0xFu) != kSysCommandAbout) return false;
  AboutBox about(this);
  about.SetVersionText(version_text_);
  about.exec();
  return true;
}

void MainDialog::RebuildContextMenu(std::string_view about_text) {
  // `about_text` may view about_text_ itself: copy it first, then read only the member.
  std::string text(about_text);
  about_text_ = std::move(text);
  context_menu_->clear();
  save_trace_ = nullptr;
  if (!about_text_.empty()) {
    context_menu_->addSeparator();
    QAction* about = context_menu_->addAction(ToQString(about_text_));
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kSysCommandAbout); });
  }
  if (trace_memory_ != nullptr) {
    context_menu_->addSeparator();
    save_trace_ = context_menu_->addAction(ToQString(kSaveTraceText));
    connect(save_trace_, &QAction::triggered, this, [this] { SaveTrace(); });
  }
}

void MainDialog::set_trace_memory(TraceMemory* memory) {
  trace_memory_ = memory;
  RebuildContextMenu(about_text_);
}

void MainDialog::SaveTrace() {
  if (trace_memory_ == nullptr) return;
  (void)SaveTraceFlow(*trace_memory_, chooser_, connection_.messages());
}

void MainDialog::done(int result) {
  if (busy_) {
    held_result_ = result;
    return;
  }
  QDialog::done(result);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  if (context_menu_->isEmpty()) return;
  // There is something to save once an operation ran (and none runs now).
  if (save_trace_ != nullptr) save_trace_->setEnabled(!busy_ && !trace_memory_->empty());
  context_menu_->popup(event->globalPos());
}

void MainDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shown_once_) {
    shown_once_ = true;
    emit firstShown();
  }
}

}  // namespace tavi
