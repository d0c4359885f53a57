// The window calls' text: UTF-8 (the core's strings) to UTF-16 and back through the system
// layer's one pair of conversions, and a report's bytes as the person reads them.
#pragma once

#include <string>
#include <string_view>

#include "os/windows/wide_text.h"

namespace tavi::win {

using tavi::Narrow;
using tavi::Widen;

// Bytes as the person reads them: as UTF-8 when they are valid UTF-8, else in the system's code
// page.
std::wstring DisplayText(std::string_view bytes);

}  // namespace tavi::win
