// UTF-8 (the program's text everywhere inside) to UTF-16 (the system's wide calls) and back: the
// one pair of conversions that every Windows boundary of the program goes through.
#pragma once

#include <string>
#include <string_view>

namespace tavi {

// Invalid UTF-8 comes out with U+FFFD in place of each bad sequence.
std::wstring Widen(std::string_view utf8);
// An unpaired surrogate comes out as U+FFFD, encoded in UTF-8.
std::string Narrow(std::wstring_view wide);

// True when `bytes` is UTF-8 throughout (the empty text included).
bool IsUtf8(std::string_view bytes);

}  // namespace tavi
