// The window system's headers for the desktop program, without the macros that would rename
// the program's own functions (LoadString is the string table's lookup).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef LoadString
