// Printer text shown on a terminal: the bytes a terminal would act on (escape sequences that
// retitle the window, clear the screen or write the clipboard) are written visibly instead.
#pragma once

#include <string>
#include <string_view>

namespace tavi {

// `bytes` with every control byte made visible: C0 controls and DEL in caret notation ("^[" for
// ESC, "^G", "^?"), except line feed, tab, and a carriage return that ends a line ("\r\n");
// a C1 control, written either as UTF-8 (U+0080..U+009F) or as a single byte 0x80..0x9F that is
// not part of a UTF-8 character, as "\x9b" and the like. Everything else is kept as it is.
std::string MakeControlsVisible(std::string_view bytes);

}  // namespace tavi
