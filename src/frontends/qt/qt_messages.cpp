#include "frontends/qt/qt_messages.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QString>

#include "core/resources/strings.h"
#include "frontends/qt/qt_progress_dialog.h"
#include "frontends/qt/window_placement.h"

namespace tavi {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Room beside the title for the title bar's icon and buttons, in average character widths.
constexpr int kTitleBarRoomChars = 24;

// True when the box was closed with its "Save Trace..." button.
bool Show(QWidget* fallback, QMessageBox::Icon icon, const QString& text, std::string_view details,
          bool offer_trace = false) {
  // The box belongs to the window the person works in: centred over it, blocking only it.
  QWidget* parent = WorkingWindow(fallback);
  QMessageBox box(icon, ToQString(kAppName), text, QMessageBox::Ok, parent);
  if (parent != nullptr) box.setWindowModality(Qt::WindowModal);
  if (!details.empty()) box.setDetailedText(ToQString(details));
  QPushButton* save = nullptr;
  if (offer_trace) save = box.addButton(ToQString(kSaveTraceText), QMessageBox::ActionRole);
  box.setDefaultButton(QMessageBox::Ok);
  // A short text makes a narrow box whose title bar would cut the title off.
  const QFontMetrics metrics(box.font());
  const int width = metrics.horizontalAdvance(box.windowTitle()) +
                    kTitleBarRoomChars * metrics.averageCharWidth();
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  const QtProgressDialog::HoldAll still;
  box.exec();
  return save != nullptr && box.clickedButton() == save;
}

}  // namespace

void QtMessages::ShowMessage(int id, std::string_view details) {
  const bool failure = id != kIdsDone;
  const QMessageBox::Icon icon = failure ? QMessageBox::Warning : QMessageBox::Information;
  const bool offer = failure && trace_available_ && save_trace_ && trace_available_();
  if (Show(parent_, icon, ToQString(LoadString(id)), details, offer)) save_trace_();
}

void QtMessages::ShowFileError(const FileError& error) {
  Show(parent_, QMessageBox::Warning, ToQString(FileErrorText(error)), {});
}

}  // namespace tavi
