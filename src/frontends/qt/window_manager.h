// What the desktop's window manager does with the boxes a window asks for in its frame.
#pragma once

class QWidget;

namespace tavi {

// Keeps the minimise and maximise boxes off `window`'s frame under a window manager that
// ignores the motif hints for them (openbox keeps both on a dialog whatever the hints say, and
// drops them only from toolbar windows). Elsewhere the window flags already say it. Call it
// each time the window is about to be mapped.
void KeepMinimiseBoxOff(QWidget& window);

}  // namespace tavi
