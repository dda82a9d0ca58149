#include "port/port_choice.h"

namespace {

constexpr uint32_t kPlatformNt = 2;  // VER_PLATFORM_WIN32_NT

const char kOwnDriverNotRunning[] =
    "No access to the parallel port.\n"
    "The UserPort port driver is not running; start the player once as an administrator.";
const char kSixtyFourBit[] =
    "No access to the parallel port.\n"
    "64-bit Windows cannot load the plug-in's own port driver. Install the InpOut32 library "
    "with its signed driver and put its 32-bit inpout32.dll beside in_zorbin.dll.";
const char kLibraryWithoutExports[] =
    "No access to the parallel port.\n"
    "The inpout32.dll found is not the InpOut32 library (Out32, Inp32 or IsInpOutDriverOpen "
    "is missing). Put the library's 32-bit inpout32.dll beside in_zorbin.dll.";
const char kLibraryDriverClosed[] =
    "No access to the parallel port.\n"
    "inpout32.dll is there, but its driver is not open: start the player once as an "
    "administrator, so that the library can install its driver.";

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

const char* no_access_text(WindowsKind kind, PortLibrary library) {
    switch (library) {
        case PortLibrary::NoExports: return kLibraryWithoutExports;
        case PortLibrary::DriverClosed: return kLibraryDriverClosed;
        case PortLibrary::Absent:
        case PortLibrary::Ready: break;
    }
    return kind == WindowsKind::Wow64 ? kSixtyFourBit : kOwnDriverNotRunning;
}
