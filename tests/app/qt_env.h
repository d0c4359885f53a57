// A QApplication for the window tests, made once by a gtest environment on the offscreen
// platform, and a helper to act on a modal window while it runs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tavi::test {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      runtime_dir_ = std::make_unique<QTemporaryDir>();
      qputenv("XDG_RUNTIME_DIR", runtime_dir_->path().toLocal8Bit());
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[8] = "tavi";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QTemporaryDir> runtime_dir_;
  std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Once a modal window is running, calls `act` with it and then closes it (if `act` did not).
// Gives up after `timeout_ms` so that a window that never opens cannot hang a test.
inline void WhenModalShown(std::function<void(QWidget*)> act, int timeout_ms = 5000) {
  auto* timer = new QTimer;
  auto elapsed = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, elapsed, act, timeout_ms] {
    *elapsed += 10;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && *elapsed < timeout_ms) return;
    timer->stop();
    timer->deleteLater();
    if (modal == nullptr) return;
    act(modal);
    if (QApplication::activeModalWidget() == modal) modal->close();
  });
  timer->start(10);
}

// True when every printable ASCII glyph of `font` advances by the same width, which is what a
// fixed-pitch pane needs (fontconfig's spacing flag says nothing reliable about it).
inline bool AllGlyphsAdvanceAlike(const QFont& font) {
  const QFontMetrics metrics(font);
  const int advance = metrics.horizontalAdvance(QLatin1Char('M'));
  for (char c = ' '; c <= '~'; ++c) {
    if (metrics.horizontalAdvance(QLatin1Char(c)) != advance) return false;
  }
  return advance > 0;
}

}  // namespace tavi::test
