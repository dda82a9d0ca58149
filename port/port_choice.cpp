#include "port/port_choice.h"

extern "C" {
#include "driver/port_grant.h"
}

namespace {

constexpr uint32_t kPlatformNt = 2;  // VER_PLATFORM_WIN32_NT

const char kOwnDriverNotRunning[] =
    "No access to the parallel port.\n"
    "The UserPort port driver is not running; start the player once as an administrator.";
const char kBaseNotOpened[] =
    "No access to the parallel port.\n"
    "The UserPort port driver is running but has not opened this port address: after changing "
    "the port, start the player once as an administrator, so that the driver is installed for it.";
const char kBaseRefused[] =
    "No access to the parallel port.\n"
    "The UserPort port driver never opens this port address: it is not a multiple of 8 or it "
    "lies on other system hardware. Set the address of the parallel port itself.";

}  // namespace

WindowsKind windows_kind(bool version_known, uint32_t platform_id, bool wow64) {
    if (!version_known || platform_id != kPlatformNt) return WindowsKind::Win9x;
    return wow64 ? WindowsKind::Wow64 : WindowsKind::Nt32;
}

DriverSetUp driver_set_up(WindowsKind kind, uint32_t driver_flag) {
    if (kind != WindowsKind::Nt32) return DriverSetUp::Nothing;
    return driver_flag != 0 ? DriverSetUp::OpenDevice : DriverSetUp::InstallAndOpen;
}

bool try_direct_access(WindowsKind kind) { return kind != WindowsKind::Wow64; }

PortBackend port_backend(WindowsKind kind, DirectAccess direct, PortLibrary library) {
    if (try_direct_access(kind) && direct == DirectAccess::Granted) return PortBackend::Direct;
    if (!try_direct_access(kind) || direct == DirectAccess::Refused) {
        return library == PortLibrary::Ready ? PortBackend::Library : PortBackend::None;
    }
    return PortBackend::None;  // direct access not tried yet: nothing is known
}

DriverGrant driver_grant(bool device_opens, uint16_t port_base) {
    if (!device_opens) return DriverGrant::NotRunning;
    unsigned short first = 0, last = 0;
    if (userport_inside_legacy(port_base, port_base) ||
        userport_extra_range(port_base, &first, &last))
        return DriverGrant::BaseNotOpened;
    return DriverGrant::BaseRefused;
}

const char* no_access_text(WindowsKind kind, const PortLibraryTable& table, PortLibrary library,
                           DriverGrant driver) {
    switch (library) {
        case PortLibrary::NoExports: return table.without_exports_text;
        case PortLibrary::DriverClosed: return table.driver_closed_text;
        case PortLibrary::Absent:
        case PortLibrary::Ready: break;
    }
    if (kind == WindowsKind::Wow64) return table.missing_text;
    switch (driver) {
        case DriverGrant::BaseNotOpened: return kBaseNotOpened;
        case DriverGrant::BaseRefused: return kBaseRefused;
        case DriverGrant::NotRunning: break;
    }
    return kOwnDriverNotRunning;
}
