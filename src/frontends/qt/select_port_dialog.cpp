#include "frontends/qt/select_port_dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <array>

#include "core/discovery/discover.h"
#include "core/discovery/targets.h"
#include "core/operations/find_printers.h"
#include "core/operations/restart.h"
#include "core/ui/seams.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/found_printers_dialog.h"
#include "frontends/qt/qt_progress_dialog.h"

namespace tavi {
namespace {

constexpr std::array<int, kPortRadioCount> kPortRadioIds = {kIdPortParallel, kIdPortNetwork,
                                                            kIdPortUsb};
constexpr std::array<int, kTypeRadioCount> kTypeRadioIds = {kIdType1, kIdType2};

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Marks the radio at `index` of a group and clears the others; an index outside the group
// leaves every button of it unmarked.
template <std::size_t N>
void MarkRadio(const QWidget& dialog, const std::array<int, N>& ids, int index) {
  QButtonGroup* group = nullptr;
  for (int id : ids) {
    if (auto* button = FindControlAs<QAbstractButton>(dialog, id)) group = button->group();
  }
  // An exclusive group keeps one button marked; release it while the marks are set.
  if (group != nullptr) group->setExclusive(false);
  for (std::size_t i = 0; i < N; ++i) {
    if (auto* button = FindControlAs<QAbstractButton>(dialog, ids[i])) {
      button->setChecked(static_cast<int>(i) == index);
    }
  }
  if (group != nullptr) group->setExclusive(true);
  // One tab stop per group, as the person expects of radio buttons: the marked one (the first
  // when none is marked); the arrow keys move within the group.
  const int stop = index >= 0 && index < static_cast<int>(N) ? index : 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (auto* button = FindControlAs<QAbstractButton>(dialog, ids[i])) {
      button->setFocusPolicy(static_cast<int>(i) == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
  }
}

template <std::size_t N>
void EnableRadios(const QWidget& dialog, const std::array<int, N>& ids, bool enable) {
  for (int id : ids) {
    if (QWidget* button = FindControl(dialog, id)) button->setEnabled(enable);
  }
}

void EnableControl(const QWidget& dialog, int id, bool enable) {
  if (QWidget* control = FindControl(dialog, id)) control->setEnabled(enable);
}

}  // namespace

SelectPortDialog::SelectPortDialog(const PortSettings& settings, Messages& messages, Clock& clock,
                                   std::uint16_t snmp_port, QWidget* parent)
    : QDialog(parent), rules_(settings), messages_(messages), clock_(clock), snmp_port_(snmp_port) {
  discovery_.port = snmp_port;
  BuildDialog(*this, *FindDialogTemplate(kDlgSelectPort));
  setModal(true);

  for (int i = 0; i < kPortRadioCount; ++i) {
    if (auto* radio = FindControlAs<QAbstractButton>(*this, kPortRadioIds[i])) {
      connect(radio, &QAbstractButton::clicked, this, [this, i] {
        rules_.ClickPortRadio(i);
        Mirror();
      });
    }
  }
  for (int i = 0; i < kTypeRadioCount; ++i) {
    if (auto* radio = FindControlAs<QAbstractButton>(*this, kTypeRadioIds[i])) {
      connect(radio, &QAbstractButton::clicked, this, [this, i] {
        rules_.ClickTypeRadio(i);
        Mirror();
      });
    }
  }
  if (auto* combo = FindControlAs<QComboBox>(*this, kIdHostCombo)) {
    // The list holds exactly the rules' entries: Return adds nothing, nothing is completed.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    // The template's height includes the dropped-down list; the closed box is one line high.
    combo->resize(combo->width(), combo->sizeHint().height());
    connect(combo, &QComboBox::activated, this,
            [this](int index) { rules_.combo().Select(index); });
    if (QLineEdit* edit = combo->lineEdit()) {
      connect(edit, &QLineEdit::textEdited, this,
              [this](const QString& text) { rules_.combo().Type(text.toStdString()); });
    }
  }
  if (auto* community = FindControlAs<QLineEdit>(*this, kIdCommunity)) {
    community->setText(ToQString(rules_.community_text()));
    connect(community, &QLineEdit::textEdited, this,
            [this](const QString& text) { rules_.TypeCommunity(text.toStdString()); });
  }
  const std::pair<int, void (SelectPortDialog::*)()> buttons[] = {
      {kIdDeleteHost, &SelectPortDialog::OnDeleteHost},
      {kIdRestart, &SelectPortDialog::OnRestart},
      {kIdFind, &SelectPortDialog::OnFind},
      {kIdOk, &SelectPortDialog::accept},
      {kIdCancel, &SelectPortDialog::reject},
  };
  for (const auto& [id, handler] : buttons) {
    if (auto* button = FindControlAs<QPushButton>(*this, id)) {
      connect(button, &QPushButton::clicked, this, handler);
    }
  }

  rules_.Initialise();
  MirrorCombo();
  Mirror();
}

void SelectPortDialog::Mirror() {
  MarkRadio(*this, kPortRadioIds, rules_.checked_port_radio());
  MarkRadio(*this, kTypeRadioIds, rules_.checked_type_radio());
  const SelectPortEnables& on = rules_.enables();
  EnableRadios(*this, kPortRadioIds, on.port_radios);
  EnableRadios(*this, kTypeRadioIds, on.type_radios);
  EnableControl(*this, kIdHostCombo, on.host_combo);
  EnableControl(*this, kIdDeleteHost, on.delete_host);
  EnableControl(*this, kIdRestart, on.restart);
  EnableControl(*this, kIdCommunity, on.community);
}

void SelectPortDialog::MirrorCombo() {
  auto* combo = FindControlAs<QComboBox>(*this, kIdHostCombo);
  if (combo == nullptr) return;
  const HostCombo& state = rules_.combo();
  combo->clear();
  for (const std::string& entry : state.entries) combo->addItem(ToQString(entry));
  combo->setCurrentIndex(state.selection);
  combo->setEditText(ToQString(state.edit_text));
}

void SelectPortDialog::OnDeleteHost() {
  rules_.DeleteHost();
  MirrorCombo();
}

void SelectPortDialog::OnRestart() {
  // Restart runs its own event pumping; a second click meanwhile starts nothing.
  if (busy_) return;
  busy_ = true;
  {
    // A progress window of Restart's own, apart from the printer connection's, over this one.
    QtProgressDialog progress(this);
    progress.set_clock(&clock_);
    RestartPrinter(rules_.RestartHost(), progress, messages_, clock_, snmp_port_, trace_,
                   rules_.CurrentCommunity());
  }
  EndBusy(kIdRestart);
}

void SelectPortDialog::EndBusy(int button_id) {
  busy_ = false;
  if (QWidget* button = FindControl(*this, button_id)) button->setFocus(Qt::OtherFocusReason);
  if (held_result_ >= 0) {
    const int result = held_result_;
    held_result_ = -1;
    QDialog::done(result);
  }
}

void SelectPortDialog::done(int result) {
  // OK, Cancel or the close box while Restart or Find... runs: the window closes once it is over.
  if (busy_) {
    held_result_ = result;
    return;
  }
  QDialog::done(result);
}

void SelectPortDialog::OnFind() {
  if (busy_) return;
  busy_ = true;
  QtProgressDialog progress(this);
  discovery_.community = rules_.CurrentCommunity();
  const FindOutcome outcome = FindPrintersFlow(
      discovery_, progress, rules_, [this] { return held_result_ < 0; },
      [this](std::vector<discovery::FoundHost> hosts) -> std::optional<discovery::FoundHost> {
        FoundPrintersDialog pick(std::move(hosts), this);
        if (pick.exec() != QDialog::Accepted || pick.picked() == nullptr) return std::nullopt;
        return *pick.picked();
      });
  if (outcome == FindOutcome::kPicked || outcome == FindOutcome::kPickedFamilyUnknown) {
    MirrorCombo();
    Mirror();
  }
  if (outcome == FindOutcome::kPickedFamilyUnknown) {
    const std::string_view text = discovery::kTextFamilyUnknown;
    QMessageBox::information(this, windowTitle(),
                             QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
  EndBusy(kIdFind);
}

void SelectPortDialog::accept() {
  if (const std::optional<std::string> refusal = rules_.OkRefusal()) {
    QMessageBox::warning(this, windowTitle(), ToQString(*refusal));
    // The keyboard goes back to the field to correct.
    activateWindow();
    if (QWidget* community = FindControl(*this, kIdCommunity)) {
      community->setFocus(Qt::OtherFocusReason);
    }
    return;
  }
  rules_.Ok();
  QDialog::accept();
}

bool RunSelectPort(PortSettings& settings, Messages& messages, Clock& clock,
                   std::uint16_t snmp_port, QWidget* parent, Trace trace) {
  SelectPortDialog dialog(settings, messages, clock, snmp_port, parent);
  dialog.set_trace(trace);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.rules().ApplyTo(settings);
  return true;
}

}  // namespace tavi
