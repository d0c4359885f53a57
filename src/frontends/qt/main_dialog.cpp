#include "frontends/qt/main_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "core/connection/printer_connection.h"
#include "core/journal/journal.h"
#include "core/operations/command_runner.h"
#include "core/operations/get_report.h"
#include "core/operations/operation_trace.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/operation_options.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace_sinks.h"
#include "frontends/qt/about_box.h"
#include "frontends/qt/app_icon.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "frontends/qt/history_dialog.h"
#include "frontends/qt/qt_messages.h"

namespace tavi {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MainDialog::MainDialog(PrinterConnection& connection, FileChooser& chooser, Operations operations,
                       QWidget* parent)
    : QDialog(parent),
      connection_(connection),
      chooser_(chooser),
      operations_(std::move(operations)) {
  BuildDialog(*this, *FindDialogTemplate(kDlgMain));

  for (Operation operation : kMainDialogOperations) {
    if (auto* button = FindControlAs<QPushButton>(*this, NamesOf(operation).button)) {
      connect(button, &QPushButton::clicked, this, [this, operation] { RunOperation(operation); });
    }
  }
  if (auto* exit = FindControlAs<QPushButton>(*this, kIdOk)) {
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
  }

  context_menu_ = new QMenu(this);
  RebuildContextMenu(LoadString(kIdsAboutMenu));
  setWindowIcon(AppIcon());

  version_text_ = std::string(ProductVersion());
  CommandRunner::Hooks hooks;
  hooks.enable_commands = [this](bool enable) { EnableCommands(enable); };
  // The keyboard goes back to the button that started the operation, in this window, also when
  // the window that the operation opened took the activation with it.
  hooks.focus = [this](int id) {
    if (isVisible() && QApplication::activeWindow() == nullptr) activateWindow();
    if (QWidget* button = FindControl(*this, id)) button->setFocus(Qt::OtherFocusReason);
  };
  hooks.end = [this](int result) { QDialog::done(result); };
  runner_ = std::make_unique<CommandRunner>(connection_, version_text_, std::move(hooks));
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

void MainDialog::RunOperation(Operation operation) {
  (void)runner_->Run(operation, std::function<bool()>([this, operation] {
                       switch (operation) {
                         case Operation::kSelectPort:
                           return operations_.select_port(*this);
                         case Operation::kGetReport:
                           return FlowOutcome::kSuccess ==
                                  GetReportFlow(
                                      [this](std::string& report) {
                                        return operations_.get_report(*this, report);
                                      },
                                      [this](std::string report) {
                                        GetReportDialog window(noting_, connection_.messages(),
                                                               this);
                                        window.SetReportText(std::move(report));
                                        window.exec();
                                      });
                         case Operation::kGetParameters:
                           return operations_.get_parameters(*this);
                         case Operation::kPutParameters:
                           return operations_.put_parameters(*this, all_option_ != 0);
                         case Operation::kSetHeadRank:
                           return operations_.set_head_rank(*this);
                         case Operation::kFirmwareUpgrade:
                           return operations_.firmware_upgrade(*this);
                         default:
                           return false;
                       }
                     }));
}

void MainDialog::OnSelectPort() {
  RunOperation(Operation::kSelectPort);
}
void MainDialog::OnGetReport() {
  RunOperation(Operation::kGetReport);
}
void MainDialog::OnGetParameters() {
  RunOperation(Operation::kGetParameters);
}
void MainDialog::OnPutParameters() {
  RunOperation(Operation::kPutParameters);
}
void MainDialog::OnSetHeadRank() {
  RunOperation(Operation::kSetHeadRank);
}
void MainDialog::OnFirmwareUpgrade() {
  RunOperation(Operation::kFirmwareUpgrade);
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
  history_ = nullptr;
  if (!about_text_.empty()) {
    context_menu_->addSeparator();
    QAction* about = context_menu_->addAction(ToQString(about_text_));
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(kSysCommandAbout); });
  }
  if (options_ != nullptr) {
    context_menu_->addSeparator();
    QAction* verify = context_menu_->addAction(ToQString(kVerifyRestoreText));
    verify->setCheckable(true);
    verify->setChecked(options_->verify_restore());
    connect(verify, &QAction::toggled, this, [this](bool on) { options_->set_verify_restore(on); });
  }
  if (runner_ != nullptr && runner_->trace_memory() != nullptr) {
    context_menu_->addSeparator();
    save_trace_ = context_menu_->addAction(ToQString(kSaveTraceText));
    connect(save_trace_, &QAction::triggered, this, [this] { SaveTrace(); });
  }
  if (journal_ != nullptr) {
    context_menu_->addSeparator();
    history_ = context_menu_->addAction(ToQString(kHistoryMenuText));
    connect(history_, &QAction::triggered, this, [this] { ShowHistory(); });
  }
}

void MainDialog::set_journal(Journal* journal) {
  journal_ = journal;
  runner_->set_journal(journal, &noting_);
  RebuildContextMenu(about_text_);
}

void MainDialog::ShowHistory() {
  if (journal_ == nullptr) return;
  HistoryDialog window(journal_->ReadAll(), chooser_, connection_.messages(), this);
  window.exec();
}

void MainDialog::set_operation_options(OperationOptions* options) {
  options_ = options;
  RebuildContextMenu(about_text_);
}

bool MainDialog::verify_restore() const {
  return options_ != nullptr && options_->verify_restore();
}

void MainDialog::set_trace_memory(TraceMemory* memory) {
  runner_->set_trace_memory(memory);
  RebuildContextMenu(about_text_);
}

void MainDialog::SaveTrace() {
  if (runner_->trace_memory() == nullptr) return;
  (void)SaveTraceFlow(*runner_->trace_memory(), chooser_, connection_.messages());
}

void MainDialog::done(int result) {
  runner_->Close(result);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  if (context_menu_->isEmpty()) return;
  // There is something to save once an operation ran (and none runs now).
  if (save_trace_ != nullptr)
    save_trace_->setEnabled(!runner_->busy() && !runner_->trace_memory()->empty());
  if (history_ != nullptr) history_->setEnabled(!runner_->busy());
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
