// The link a session drives. The fixed build goes straight to IN/OUT; the
// full build goes the way port_route chose, over the same protocol code.
#pragma once

#include <cstdint>

#include "link/c64_link.h"
#include "plugin/session.h"
#include "port/library_port.h"
#include "port/port_guard.h"
#include "port/port_route.h"
#include "port/win32_tick_clock.h"
#include "port/x86_port.h"
#include "profile/build_profile.h"

inline PortRoute session_port_probe(uint16_t port_base) {
    if constexpr (kProfileFindsPortLibrary) return port_route_probe(port_base, g_module.instance);
    return PortRoute{probe_port(port_base), PortBackend::Direct};
}

// Runs `work(link)` with the link over the route's port operations.
template <class Work>
bool with_session_link(const PortRoute& route, uint16_t port_base, Work work) {
    TickClock clock;
    if constexpr (kProfileFindsPortLibrary) {
        if (route.backend == PortBackend::Library) {
            C64Link<LibraryPort, TickClock> link(port_route_library(), clock, port_base,
                                                kProfileLink);
            return work(link);
        }
    }
    X86Port port;
    C64Link<X86Port, TickClock> link(port, clock, port_base, kProfileLink);
    return work(link);
}
