// The list of printers that Find... found, one line each; the user picks one (OK or a double
// click) or none (Cancel). Only Select Port opens it.
#pragma once

#include <QDialog>
#include <vector>

#include "core/discovery/answers.h"
#include "core/discovery/discover.h"

class QListWidget;

namespace tavi {

inline constexpr const char* kFoundPrintersCaption = discovery::kFindPrintersCaption;

class FoundPrintersDialog : public QDialog {
  Q_OBJECT

 public:
  FoundPrintersDialog(std::vector<discovery::FoundHost> hosts, QWidget* parent = nullptr);

  // The host picked, or null when none was (Cancel, or nothing found).
  const discovery::FoundHost* picked() const;
  QListWidget* list() const { return list_; }

 private:
  std::vector<discovery::FoundHost> hosts_;
  QListWidget* list_ = nullptr;
};

}  // namespace tavi
