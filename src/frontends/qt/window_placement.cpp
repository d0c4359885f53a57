#include "frontends/qt/window_placement.h"

#include <QApplication>
#include <QWidget>

#include "frontends/qt/qt_progress_dialog.h"

namespace tavi {

QWidget* WorkingWindow(QWidget* fallback) {
  QWidget* window = QApplication::activeModalWidget();
  if (window == nullptr) window = QApplication::activeWindow();
  // A progress window is no place for a message: take the window it stands over.
  while (window != nullptr && qobject_cast<QtProgressDialog*>(window) != nullptr) {
    window = window->parentWidget() != nullptr ? window->parentWidget()->window() : nullptr;
  }
  return window != nullptr ? window : fallback;
}

}  // namespace tavi
