#include "frontends/qt/screen_fit.h"

#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>
#include <vector>

#include "core/resources/window_fit.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/window_manager.h"

namespace tavi {
namespace {

// QLineEdit keeps this many pixels free at each side of its text, inside its contents rect.
constexpr int kEditTextMargin = 2;
// A frame and title bar a window manager typically adds, in device pixels, used until the window
// has been on screen and its real frame is known.
constexpr FrameExtents kTypicalFrame{8, 40, 8, 8};
// The smallest a window whose controls scroll may be made.
constexpr QSize kSmallestScrolled(96, 72);

PixelRect ToPixelRect(const QRect& r) {
  return PixelRect{r.x(), r.y(), r.width(), r.height()};
}

QRect ToQRect(const PixelRect& r) {
  return QRect(r.x, r.y, r.width, r.height);
}

// The width at which `edit` shows its whole text, and room for as many average characters as it
// takes, without scrolling: the text, the cursor and the margins inside the style's contents
// rect, plus what the style puts around that rect.
int EditWidthForText(const QLineEdit& edit) {
  const QFontMetrics metrics = edit.fontMetrics();
  int text = metrics.horizontalAdvance(edit.text());
  if (edit.maxLength() < 256) text = std::max(text, edit.maxLength() * BaseUnitsOf(edit.font()).x);
  QStyleOptionFrame option;
  option.initFrom(&edit);
  option.rect = edit.contentsRect();
  option.lineWidth =
      edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  option.features = QStyleOptionFrame::None;
  const QRect contents = edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
  const QMargins margins = edit.textMargins();
  const int around = edit.width() - contents.width();
  return text + 1 + 2 * kEditTextMargin + margins.left() + margins.right() + around;
}

// The width a control needs to show its text in the style in use; 0 when it has no such need.
int WidthForText(QWidget& control) {
  if (auto* edit = qobject_cast<QLineEdit*>(&control)) return EditWidthForText(*edit);
  if (auto* combo = qobject_cast<QComboBox*>(&control)) {
    // An editable combo box scrolls what is typed; a list shows its widest item.
    return combo->isEditable() ? 0 : combo->sizeHint().width();
  }
  if (auto* group = qobject_cast<QGroupBox*>(&control)) return group->minimumSizeHint().width();
  return 0;
}

class ScreenFitter : public QObject {
 public:
  ScreenFitter(QDialog& dialog, QWidget* pane, bool minimise_box)
      : QObject(&dialog), dialog_(dialog), pane_(pane), minimise_box_(minimise_box) {
    dialog.installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &dialog_) return false;
    switch (event->type()) {
      case QEvent::Polish:
        WidenForText();
        break;
      case QEvent::Show:
        if (!event->spontaneous()) {
          Fit();
          if (!minimise_box_) KeepMinimiseBoxOff(dialog_);
        }
        break;
      case QEvent::Resize:
        Follow();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  QWidget& Content() const { return scroll_ != nullptr ? *scroll_->widget() : dialog_; }

  std::vector<QWidget*> Controls() const {
    std::vector<QWidget*> controls;
    for (QWidget* w : Content().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!w->isWindow() && w != scroll_) controls.push_back(w);
    }
    return controls;
  }

  void WidenForText() {
    const std::vector<QWidget*> controls = Controls();
    // Measured as the style will draw them.
    for (QWidget* w : controls) w->ensurePolished();
    std::vector<PixelRect> rects;
    std::vector<int> needed;
    for (QWidget* w : controls) {
      rects.push_back(ToPixelRect(w->geometry()));
      needed.push_back(WidthForText(*w));
    }
    const int added = WidenForContents(rects, needed);
    // A group box still holds the controls it framed, where they came out taller in this style.
    for (std::size_t i = 0; i < controls.size(); ++i) {
      if (qobject_cast<QGroupBox*>(controls[i]) != nullptr) {
        (void)HoldContents(rects, i, controls[i]->fontMetrics().height() / 2);
      }
    }
    for (std::size_t i = 0; i < controls.size(); ++i) controls[i]->setGeometry(ToQRect(rects[i]));
    if (added > 0) dialog_.setFixedSize(dialog_.width() + added, dialog_.height());
  }

  // The frame around the client area: the real one once the window has been on screen.
  FrameExtents Frame(const QScreen& screen) const {
    const QRect frame = dialog_.frameGeometry();
    const QRect client = dialog_.geometry();
    if (frame != client && frame.contains(client)) {
      return FrameExtents{client.left() - frame.left(), client.top() - frame.top(),
                          frame.right() - client.right(), frame.bottom() - client.bottom()};
    }
    const double ratio = std::max(1.0, screen.devicePixelRatio());
    auto logical = [ratio](int device) { return static_cast<int>(device / ratio + 0.999); };
    return FrameExtents{logical(kTypicalFrame.left), logical(kTypicalFrame.top),
                        logical(kTypicalFrame.right), logical(kTypicalFrame.bottom)};
  }

  void Fit() {
    QWidget* parent =
        dialog_.parentWidget() != nullptr ? dialog_.parentWidget()->window() : nullptr;
    const QScreen* screen = parent != nullptr ? parent->screen() : dialog_.screen();
    if (screen == nullptr) return;
    if (!full_size_.isValid()) {
      full_size_ = dialog_.size();
      if (pane_ != nullptr) {
        const QRect p = pane_->geometry();
        pane_margins_ = QMargins(p.left(), p.top(), dialog_.width() - p.right() - 1,
                                 dialog_.height() - p.bottom() - 1);
      }
    }
    const QRect area = screen->availableGeometry();
    // Over the parent, or in the middle of the screen, unless the program placed it elsewhere.
    QRect wanted(QPoint(), full_size_);
    if (dialog_.testAttribute(Qt::WA_Moved) && dialog_.geometry().topLeft() != placed_at_) {
      wanted.moveTopLeft(dialog_.geometry().topLeft());
    } else {
      const bool over_parent = parent != nullptr && parent->isVisible();
      wanted.moveCenter(over_parent ? parent->geometry().center() : area.center());
    }
    const WindowFit fit = FitWindow(ToPixelRect(wanted), Frame(*screen), ToPixelRect(area));
    if (fit.shrunk) {
      if (pane_ == nullptr && scroll_ == nullptr) Scroll();
      const QSize smallest = pane_ != nullptr
                                 ? QSize(pane_margins_.left() + pane_margins_.right() + 1,
                                         pane_margins_.top() + pane_margins_.bottom() + 1)
                                 : kSmallestScrolled.boundedTo(full_size_);
      dialog_.setMinimumSize(smallest);
      dialog_.setMaximumSize(full_size_);
      dialog_.setSizeGripEnabled(pane_ != nullptr);
    } else if (dialog_.minimumSize() != dialog_.maximumSize()) {
      dialog_.setFixedSize(full_size_);
    }
    dialog_.setGeometry(ToQRect(fit.client));
    placed_at_ = dialog_.geometry().topLeft();
  }

  // Puts the controls on a page that scrolls within the window.
  void Scroll() {
    QWidget* focus = dialog_.focusWidget();
    const std::vector<QWidget*> controls = Controls();
    auto* page = new QWidget;
    page->setObjectName(kScrolledPageName);
    page->setFixedSize(full_size_);
    for (QWidget* w : controls) {
      const bool hidden = w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide);
      w->setParent(page);
      w->setVisible(!hidden);
    }
    scroll_ = new QScrollArea(&dialog_);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidget(page);
    scroll_->setGeometry(dialog_.rect());
    scroll_->show();
    OrderTabsByPosition(*page);
    if (focus != nullptr) focus->setFocus();
  }

  void Follow() {
    if (scroll_ != nullptr) scroll_->setGeometry(dialog_.rect());
    if (pane_ != nullptr && full_size_.isValid()) {
      pane_->setGeometry(dialog_.rect().marginsRemoved(pane_margins_));
    }
  }

  QDialog& dialog_;
  QPointer<QWidget> pane_;
  bool minimise_box_;
  QMargins pane_margins_;
  QSize full_size_;
  QPoint placed_at_{-1, -1};
  QScrollArea* scroll_ = nullptr;
};

}  // namespace

void KeepOnScreen(QDialog& dialog, QWidget* pane, bool minimise_box) {
  new ScreenFitter(dialog, pane, minimise_box);
}

}  // namespace tavi
