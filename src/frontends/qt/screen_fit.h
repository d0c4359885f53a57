// Keeps a window built from a dialog template whole and within reach on its screen, in every
// style and at every scale.
#pragma once

class QDialog;
class QWidget;

namespace tavi {

// Makes `dialog` keep itself on screen:
// - once polished, before it is first shown, its edit fields, drop-down lists and group boxes
//   widen to show their whole text in the style in use; the layout widens with them (a column
//   is put in at the edge of each field that needs one, so aligned edges stay aligned);
// - at every show it is placed over its parent (or in the middle of the screen) and moved into
//   the screen's available area. A window larger than that area is cut down to it and becomes
//   resizable up to its full size: `pane`, when given, follows the window's size, keeping its
//   distances to the window's edges; without a pane the controls scroll;
// - a window without a minimise box keeps the window manager from adding one.
// BuildDialog installs it; a pane is the template's rich edit control.
void KeepOnScreen(QDialog& dialog, QWidget* pane = nullptr, bool minimise_box = false);

// The name of the widget that carries the controls when they scroll.
inline constexpr const char* kScrolledPageName = "page";

}  // namespace tavi
