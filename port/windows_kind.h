#pragma once

#include "port/port_choice.h"

// What this process runs on: 9x, NT on a 32-bit processor, or 64-bit
// Windows (IsWow64Process, looked up at run time: Windows 2000 lacks it).
WindowsKind this_windows_kind();
