#include "port/windows_kind.h"

#include <windows.h>

namespace {

using IsWow64Process = BOOL(WINAPI*)(HANDLE process, BOOL* wow64);

// GetCurrentProcess's pseudo-handle, a constant on every NT version.
HANDLE const kThisProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

bool runs_under_wow64() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return false;
    auto is_wow64 = reinterpret_cast<IsWow64Process>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return is_wow64 != nullptr && is_wow64(kThisProcess, &wow64) && wow64;
}

}  // namespace

WindowsKind this_windows_kind() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    const bool known = GetVersionExA(&version) != 0;
    const bool nt = known && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    return windows_kind(known, version.dwPlatformId, nt && runs_under_wow64());
}
