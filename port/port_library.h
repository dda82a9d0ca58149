// A port-I/O library the user installed with its own signed driver, for
// systems where our driver cannot grant direct port access. We never ship,
// fetch or install one: only a copy the user put in place is loaded.
#pragma once

#include "port/library_port.h"
#include "port/port_choice.h"

// Loads `library.file` by full path from beside our own DLL (`our_module`),
// the player's folder or the system folder, and checks its exports and that
// its driver is open. On Ready, `port` calls it and the library stays
// loaded; otherwise nothing stays loaded and `port` is untouched.
PortLibrary port_library_load(const PortLibraryTable& library, LibraryPort& port,
                              void* our_module);
