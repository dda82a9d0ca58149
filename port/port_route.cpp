#include "port/port_route.h"

#include "link/c64_link.h"
#include "port/inpout32.h"
#include "port/port_access.h"
#include "port/port_choice.h"
#include "port/port_library.h"
#include "port/windows_kind.h"

namespace {

bool g_kind_known = false;
WindowsKind g_kind = WindowsKind::Win9x;
LibraryPort g_library;
PortLibrary g_library_state = PortLibrary::Absent;
const char* g_refusal = nullptr;

WindowsKind kind() {
    if (!g_kind_known) {
        g_kind = this_windows_kind();
        g_kind_known = true;
    }
    return g_kind;
}

}  // namespace

PortRoute port_route_probe(uint16_t port_base, void* our_module) {
    // A refused direct access costs one guarded fault, so it is tried afresh
    // each time: the port may have moved to a base the driver grants.
    DirectAccess direct = DirectAccess::NotTried;
    if (try_direct_access(kind())) {
        const PortProbe probe = probe_port(port_base);
        if (probe != PortProbe::NoAccess) return PortRoute{probe, PortBackend::Direct};
        direct = DirectAccess::Refused;
    }
    // Looked for again while none is usable: the user may install the
    // library, or start the player once to open its driver, in between.
    if (g_library_state != PortLibrary::Ready)
        g_library_state = port_library_load(kInpOut32, g_library, our_module);
    if (port_backend(kind(), direct, g_library_state) != PortBackend::Library) {
        // Whether our driver runs tells a driver that was never installed
        // from one that was installed for another base.
        const bool own_driver = kind() == WindowsKind::Nt32 && port_driver_device_opens();
        g_refusal = no_access_text(kind(), kInpOut32, g_library_state,
                                   driver_grant(own_driver, port_base));
        return PortRoute{PortProbe::NoAccess, PortBackend::None};
    }
    const uint8_t status = g_library.in8(static_cast<uint16_t>(port_base + 1));
    return PortRoute{status_says_ready(status) ? PortProbe::Ready : PortProbe::NotReady,
                     PortBackend::Library};
}

LibraryPort& port_route_library() { return g_library; }

const char* port_route_refusal() { return g_refusal; }
