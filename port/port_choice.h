// Which way this process reaches the parallel port, decided from what the
// system is, the driver flag, whether direct IN/OUT was refused and what
// became of the port-I/O library. Portable, so every combination is tested
// natively, including those no test machine here can be.
#pragma once

#include <cstdint>

#include "port/library_port.h"

enum class WindowsKind {
    Win9x,  // IN/OUT work at once; also where the platform cannot be told
    Nt32,   // NT family on a 32-bit processor: our UserPort driver grants the ports
    Wow64,  // a 32-bit process on 64-bit Windows: a 32-bit driver cannot load
};

// From GetVersionExA's platform id (when the call worked) and IsWow64Process
// (false where the system lacks it, as Windows 2000 does).
WindowsKind windows_kind(bool version_known, uint32_t platform_id, bool wow64);

enum class DriverSetUp {
    Nothing,         // no driver file, no service, no device
    OpenDevice,      // the driver flag is set: only open the installed driver's device
    InstallAndOpen,  // write, (re)register, start, then open
};
DriverSetUp driver_set_up(WindowsKind kind, uint32_t driver_flag);

// Whether direct IN/OUT is worth a (guarded) try: never on 64-bit Windows,
// where no driver can grant it to a 32-bit process.
bool try_direct_access(WindowsKind kind);

enum class DirectAccess { Granted, Refused, NotTried };

// What loading the port-I/O library gave: none found, a copy without the
// three exports, a copy whose driver is not open, or one ready to use.
enum class PortLibrary { Absent, NoExports, DriverClosed, Ready };

enum class PortBackend { Direct, Library, None };
PortBackend port_backend(WindowsKind kind, DirectAccess direct, PortLibrary library);

// Why our driver gave this process no access to the configured base, from
// whether its device opens and what the driver would do with the base.
enum class DriverGrant {
    NotRunning,     // no device: the driver is not installed or not started
    BaseNotOpened,  // running, but not started with this base stored (or not ours)
    BaseRefused,    // a base the driver never opens (driver/port_grant.h)
};
DriverGrant driver_grant(bool device_opens, uint16_t port_base);

// The refused-port message: what is wrong and what the user can do instead;
// what became of `table`'s library is `library`.
const char* no_access_text(WindowsKind kind, const PortLibraryTable& table, PortLibrary library,
                           DriverGrant driver);
