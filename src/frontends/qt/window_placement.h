// Which window a new window belongs to: the one the person works in.
#pragma once

class QWidget;

namespace tavi {

// The running modal window, else the active window; a progress window stands for the window it
// was placed over. Null when no window of ours is on screen (`fallback` then, if given).
QWidget* WorkingWindow(QWidget* fallback = nullptr);

}  // namespace tavi
