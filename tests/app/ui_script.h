// Drives windows the way a person does while the program's own modal loops run: a list of steps,
// each waiting for its condition and then acting with real input events (QTest mouse and key
// events at a control's position). A script that does not reach its end in time fails the test
// and ends every modal loop, so that a window that ignores its input cannot hang the test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/qt_progress_dialog.h"

namespace tavi::test {

class UiScript {
 public:
  using Condition = std::function<bool()>;
  using Action = std::function<void()>;

  explicit UiScript(int timeout_ms = 15000) : timeout_ms_(timeout_ms) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  }

  // Adds a step: once `ready` holds, `act` runs.
  UiScript& Then(std::string name, Condition ready, Action act) {
    steps_.push_back({std::move(name), std::move(ready), std::move(act)});
    return *this;
  }

  // Starts looking at the steps, every 10 ms of event processing.
  void Start() {
    clock_.start();
    timer_.start(10);
  }

  bool finished() const { return next_ == steps_.size(); }
  // The name of the step that is waiting, or "" when all ran.
  std::string waiting_for() const { return finished() ? std::string() : steps_[next_].name; }
  // Milliseconds since Start() at which each step acted.
  const std::vector<qint64>& acted_at() const { return acted_at_; }

 private:
  struct Step {
    std::string name;
    Condition ready;
    Action act;
  };

  void Tick() {
    if (finished()) {
      timer_.stop();
      return;
    }
    if (clock_.elapsed() > timeout_ms_) {
      timer_.stop();
      ADD_FAILURE() << "the window never reached: " << steps_[next_].name;
      EndEverything();
      return;
    }
    Step& step = steps_[next_];
    if (!step.ready()) return;
    ++next_;
    acted_at_.push_back(clock_.elapsed());
    // The action runs from a timer of its own: an action that starts an operation runs a nested
    // event loop, and this timer must keep ticking inside it.
    QTimer::singleShot(0, step.act);
  }

  // Cancels every progress window and ends every modal loop.
  static void EndEverything() {
    for (QWidget* w : QApplication::allWidgets()) {
      if (auto* progress = qobject_cast<QtProgressDialog*>(w)) progress->reject();
    }
    for (int i = 0; i < 10; ++i) {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) break;
      modal->close();
    }
  }

  int timeout_ms_;
  QTimer timer_;
  QElapsedTimer clock_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  std::vector<qint64> acted_at_;
};

// A left click at `point` of `widget`, as the mouse does it: the press and the release reach the
// window system's queue of the widget's window, so a window that the modal state blocks ignores
// them as it would ignore the person's.
inline void ClickAt(const QWidget& widget, QPoint point) {
  const QWidget* top = widget.window();
  ASSERT_NE(top->windowHandle(), nullptr);
  QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget.mapTo(top, point));
}

// A left click at the middle of control `id` of `window`.
inline void ClickControl(const QWidget& window, int id) {
  QWidget* control = FindControl(window, id);
  ASSERT_NE(control, nullptr) << id;
  ClickAt(*control, control->rect().center());
}

// Shows `window` and waits until the window system has put it on screen, as it is before a
// person can reach it.
[[nodiscard]] inline bool ShowOnScreen(QWidget& window) {
  window.show();
  return QTest::qWaitForWindowExposed(&window);
}

// With TAVI_SCREENSHOT_DIR set (scripts/screenshots), the window as it is on screen is saved
// there as NAME.png, at the screen's scale; a picture that cannot be saved fails the test.
inline void SaveScreenshot(QWidget& window, const QString& name) {
  const QString dir = qEnvironmentVariable("TAVI_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  ASSERT_TRUE(window.isVisible() || ShowOnScreen(window));
  QTest::qWait(100);  // one paint after the last change
  EXPECT_TRUE(window.grab().save(dir + "/" + name + ".png")) << name.toStdString();
}

// A key pressed and released on the keyboard: it goes to the window that has the keyboard.
inline void PressKey(Qt::Key key) {
  QWindow* focus = QGuiApplication::focusWindow();
  ASSERT_NE(focus, nullptr);
  QTest::keyClick(focus, key);
}

// The visible progress window, if one is on screen.
inline QtProgressDialog* VisibleProgress() {
  for (QWidget* w : QApplication::allWidgets()) {
    auto* progress = qobject_cast<QtProgressDialog*>(w);
    if (progress != nullptr && progress->isVisible()) return progress;
  }
  return nullptr;
}

// True once a progress window has been on screen for `ms` (a wait is under way).
inline UiScript::Condition ProgressShownFor(int ms) {
  auto since = std::make_shared<QElapsedTimer>();
  return [since, ms] {
    if (VisibleProgress() == nullptr) return false;
    if (!since->isValid()) since->start();
    return since->elapsed() >= ms;
  };
}

}  // namespace tavi::test
