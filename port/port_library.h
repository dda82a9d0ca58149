// The user's own port-I/O library (inpout32.dll with its signed driver),
// for systems where our driver cannot grant direct port access. We never
// ship, fetch or install it: only a copy the user installed is loaded.
#pragma once

#include "port/inpout_port.h"
#include "port/port_choice.h"

// Loads inpout32.dll from beside our own DLL (`our_module`), else from the normal DLL
// search path, and checks its exports and that its driver is open. On
// Ready, `port` calls it and the library stays loaded; otherwise nothing
// stays loaded and `port` is untouched.
PortLibrary port_library_load(InpOutPort& port, void* our_module);
