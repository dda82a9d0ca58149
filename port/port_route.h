// Which way a session's port traffic goes in the full build: direct IN/OUT
// where the system grants it, else (and on 64-bit Windows from the start)
// the user's port-I/O library, when there is a usable one.
#pragma once

#include <cstdint>

#include "port/library_port.h"
#include "port/port_choice.h"
#include "port/port_guard.h"

struct PortRoute {
    PortProbe probe;      // the ready probe's answer, over the way chosen
    PortBackend backend;  // None with NoAccess
};

// The ready probe over the way this process may use; NoAccess when neither
// works. Loads the library (looked for beside `our_module` first) on the
// first need and keeps a working one.
PortRoute port_route_probe(uint16_t port_base, void* our_module);
// The library's port operations; valid after a probe that chose it.
LibraryPort& port_route_library();
// The refused-port message for the last NoAccess answer.
const char* port_route_refusal();
