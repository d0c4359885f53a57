#include "frontends/qt/dialog_builder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <algorithm>
#include <utility>
#include <vector>

#include "frontends/qt/screen_fit.h"

namespace tavi {
namespace {

constexpr std::string_view kMonospaceDialogFont = "MS Gothic";
// The 52 letters whose mean width is a font's average character width.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* MakeControl(const ControlTemplate& c, QDialog& dialog) {
  const QString text = ToQString(c.text);
  switch (c.kind) {
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton: {
      auto* button = new QPushButton(text, &dialog);
      // Return presses the push button that has the keyboard focus; elsewhere it presses the
      // template's default button.
      button->setAutoDefault(true);
      button->setDefault(c.kind == ControlKind::kDefPushButton);
      return button;
    }
    case ControlKind::kAutoCheckBox:
      return new QCheckBox(text, &dialog);
    case ControlKind::kAutoRadioButton: {
      auto* radio = new QRadioButton(text, &dialog);
      radio->setAutoExclusive(false);
      return radio;
    }
    case ControlKind::kLabel:
    case ControlKind::kIcon:
      return new QLabel(text, &dialog);
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(text, &dialog);
      if (c.max_length > 0) edit->setMaxLength(c.max_length);
      return edit;
    }
    case ControlKind::kRichEdit: {
      auto* pane = new QPlainTextEdit(&dialog);
      pane->setReadOnly((c.style & kStyleReadOnly) != 0);
      pane->setLineWrapMode(QPlainTextEdit::NoWrap);
      return pane;
    }
    case ControlKind::kComboBox:
    case ControlKind::kDropDownList: {
      auto* combo = new QComboBox(&dialog);
      combo->setEditable(c.kind == ControlKind::kComboBox);
      if ((c.style & kStyleSorted) != 0) combo->setInsertPolicy(QComboBox::InsertAlphabetically);
      return combo;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(&dialog);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kGroupBox: {
      auto* group = new QGroupBox(text, &dialog);
      // A frame with the title set into its top line, in every style: some styles draw a group
      // box as a bare title, which leaves the template's controls without their frame.
      const int half_title = QFontMetrics(dialog.font()).height() / 2;
      group->setStyleSheet(QString("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                                   " margin-top: %1px; }"
                                   " QGroupBox::title { subcontrol-origin: margin;"
                                   " subcontrol-position: top left; left: %2px; padding: 0 2px; }")
                               .arg(half_title)
                               .arg(half_title));
      return group;
    }
  }
  return new QWidget(&dialog);
}

Qt::WindowFlags FrameFlags(const DialogTemplate& t) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if ((t.style & kDlgToolWindow) != 0)
    flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if ((t.style & kDlgSysMenu) != 0) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if ((t.style & kDlgMinimizeBox) != 0) flags |= Qt::WindowMinimizeButtonHint;
  return flags;
}

// Controls that Tab visits as one run: one control, the radio buttons of one group, or what a
// group box frames. `area` is where the run sits on screen.
struct TabUnit {
  QRect area;
  std::vector<QWidget*> members;  // in Tab order
};

// Rows from top to bottom, each row from left to right; a row holds the units whose top lies
// above the middle of the row's first unit.
std::vector<QWidget*> InScreenOrder(std::vector<TabUnit> units) {
  std::stable_sort(units.begin(), units.end(),
                   [](const TabUnit& a, const TabUnit& b) { return a.area.y() < b.area.y(); });
  for (auto row = units.begin(); row != units.end();) {
    const int middle = row->area.y() + row->area.height() / 2;
    auto end =
        std::find_if(row, units.end(), [middle](const TabUnit& u) { return u.area.y() >= middle; });
    std::stable_sort(row, end,
                     [](const TabUnit& a, const TabUnit& b) { return a.area.x() < b.area.x(); });
    row = end;
  }
  std::vector<QWidget*> order;
  for (const TabUnit& unit : units)
    order.insert(order.end(), unit.members.begin(), unit.members.end());
  return order;
}

// One unit per control, except that the radio buttons of one group make one unit together.
std::vector<TabUnit> UnitsOf(const std::vector<QWidget*>& controls) {
  std::vector<TabUnit> units;
  std::vector<std::pair<const QButtonGroup*, std::vector<TabUnit>>> radio_groups;
  for (QWidget* w : controls) {
    const auto* radio = qobject_cast<QRadioButton*>(w);
    const QButtonGroup* group = radio != nullptr ? radio->group() : nullptr;
    if (group == nullptr) {
      units.push_back(TabUnit{w->geometry(), {w}});
      continue;
    }
    auto it = std::find_if(radio_groups.begin(), radio_groups.end(),
                           [group](const auto& g) { return g.first == group; });
    if (it == radio_groups.end()) it = radio_groups.insert(radio_groups.end(), {group, {}});
    it->second.push_back(TabUnit{w->geometry(), {w}});
  }
  for (auto& [group, buttons] : radio_groups) {
    QRect area;
    for (const TabUnit& b : buttons) area = area.united(b.area);
    units.push_back(TabUnit{area, InScreenOrder(std::move(buttons))});
  }
  return units;
}

}  // namespace

QFont DialogFont(const DialogTemplate& t) {
  if (t.font.empty()) return QFont();
  QFont font = t.font == kMonospaceDialogFont ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                              : QFont(ToQString(t.font));
  if (t.font_points > 0) font.setPointSize(t.font_points);
  return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int total = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet));
  // Mean over 52 letters, rounded.
  return BaseUnits{(total / 26 + 1) / 2, metrics.height()};
}

BaseUnits BuildDialog(QDialog& dialog, const DialogTemplate& t) {
  dialog.setWindowTitle(ToQString(t.caption));
  dialog.setWindowFlags(FrameFlags(t));
  const QFont font = DialogFont(t);
  dialog.setFont(font);
  const BaseUnits base = BaseUnitsOf(font);
  const PixelRect size = DialogUnitsToPixels(0, 0, t.width, t.height, base);
  dialog.setFixedSize(size.width, size.height);

  QButtonGroup* radio_group = nullptr;
  QWidget* pane = nullptr;
  for (const ControlTemplate& c : t.controls) {
    // A group start ends the radio group before it.
    if ((c.style & kStyleGroup) != 0) radio_group = nullptr;
    QWidget* control = MakeControl(c, dialog);
    if (c.id != kIdStatic) control->setObjectName(ControlName(c.id));
    if (c.kind == ControlKind::kIcon) control->setObjectName(kIconAreaName);
    const PixelRect r = DialogUnitsToPixels(c, base);
    int width = r.width;
    // Labels, radio buttons and check boxes grow to show their whole text when the font we map
    // the dialog font to runs wider than the one the layout was drawn for; they never shrink.
    if (c.kind == ControlKind::kLabel || c.kind == ControlKind::kAutoRadioButton ||
        c.kind == ControlKind::kAutoCheckBox) {
      width = std::max(width, control->sizeHint().width());
    }
    control->setGeometry(r.x, r.y, width, r.height);
    // Every control that takes input is reachable with Tab, radio buttons of groups without a
    // tab stop in the template included.
    if (control->focusPolicy() != Qt::NoFocus) control->setFocusPolicy(Qt::StrongFocus);
    if (c.kind == ControlKind::kAutoRadioButton) {
      if (radio_group == nullptr) {
        radio_group = new QButtonGroup(&dialog);
        radio_group->setExclusive(true);
      }
      radio_group->addButton(qobject_cast<QRadioButton*>(control));
    }
    // A group box frames the controls listed before it; keep it behind them.
    if (c.kind == ControlKind::kGroupBox) control->lower();
    if (c.kind == ControlKind::kRichEdit) pane = control;
  }
  OrderTabsByPosition(dialog);
  KeepOnScreen(dialog, pane, (t.style & kDlgMinimizeBox) != 0);
  return base;
}

void OrderTabsByPosition(QWidget& dialog) {
  std::vector<QWidget*> controls;
  for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if ((w->focusPolicy() & Qt::TabFocus) != 0) controls.push_back(w);
  }
  // The controls a group box frames are one sequence, placed where the box is.
  std::vector<TabUnit> units;
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
    std::vector<QWidget*> framed;
    std::erase_if(controls, [&](QWidget* w) {
      if (!box->geometry().contains(w->geometry().topLeft())) return false;
      framed.push_back(w);
      return true;
    });
    if (!framed.empty()) units.push_back(TabUnit{box->geometry(), InScreenOrder(UnitsOf(framed))});
  }
  for (TabUnit& unit : UnitsOf(controls)) units.push_back(std::move(unit));
  const std::vector<QWidget*> order = InScreenOrder(std::move(units));
  for (std::size_t i = 1; i < order.size(); ++i) {
    QWidget::setTabOrder(order[i - 1], order[i]);
  }
}

QWidget* FindControl(const QWidget& parent, int id) {
  return parent.findChild<QWidget*>(ControlName(id));
}

}  // namespace tavi
