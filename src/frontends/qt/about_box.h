// The About box (template 100): the program's version text in line 1019.
#pragma once

#include <QDialog>
#include <string_view>

namespace tavi {

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);
  // Replaces the template text of line 1019.
  void SetVersionText(std::string_view version);
};

}  // namespace tavi
