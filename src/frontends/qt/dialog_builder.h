// Builds a Qt window from a dialog template: every control at its converted position, named by
// its id (objectName "1001"), so that windows and tests find controls the way the templates
// number them.
#pragma once

#include <QFont>
#include <QString>

#include "core/resources/dialog_templates.h"

class QDialog;
class QWidget;

namespace tavi {

// The template's font: "MS Gothic" maps to the system's monospace font; an empty name is the
// application's font.
QFont DialogFont(const DialogTemplate& t);

// Average character width and character height of `font`, in pixels.
BaseUnits BaseUnitsOf(const QFont& font);

// Gives `dialog` the template's caption, font, frame and fixed client size, and creates every
// control as a child. Radio buttons of one template group share an exclusive button group.
// Returns the base units used for the conversion.
BaseUnits BuildDialog(QDialog& dialog, const DialogTemplate& t);

// Tab order of the dialog's controls as they appear on screen: rows from top to bottom, each
// row from left to right. What a group box frames is one run, in the same order inside, taken
// where the box stands; so are the radio buttons of one group. BuildDialog applies it.
void OrderTabsByPosition(QWidget& dialog);

// The object name of a template's icon area.
inline constexpr const char* kIconAreaName = "icon";

// The object name a control of id `id` carries.
inline QString ControlName(int id) {
  return QString::number(id);
}

// The control with id `id` below `parent`, or null.
QWidget* FindControl(const QWidget& parent, int id);

template <typename T>
T* FindControlAs(const QWidget& parent, int id) {
  return qobject_cast<T*>(FindControl(parent, id));
}

}  // namespace tavi
