// UTF-8 (the core's strings) to UTF-16 (the window calls) and back.
#pragma once

#include <string>
#include <string_view>

namespace tavi::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace tavi::win

namespace tavi::win {

// Bytes as the person reads them: as UTF-8 when they are valid UTF-8, else in the system's code
// page.
std::wstring DisplayText(std::string_view bytes);

}  // namespace tavi::win
