#include "port/port_library.h"

#include <windows.h>


namespace {

const char kLibraryName[] = "inpout32.dll";

void* find(HMODULE library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

// The copy beside in_zorbin.dll comes first: the user put it there for us.
HMODULE load_copy(HINSTANCE our_module) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(our_module, path, sizeof path);
    if (length > 0 && length < sizeof path) {
        char* name = path + length;
        while (name > path && name[-1] != '\\' && name[-1] != '/') --name;
        if (static_cast<size_t>(name - path) + sizeof kLibraryName <= sizeof path) {
            lstrcpyA(name, kLibraryName);
            if (HMODULE beside = LoadLibraryA(path)) return beside;
        }
    }
    return LoadLibraryA(kLibraryName);
}

}  // namespace

PortLibrary port_library_load(InpOutPort& port, void* our_module) {
    HMODULE library = load_copy(static_cast<HINSTANCE>(our_module));
    if (library == nullptr) return PortLibrary::Absent;
    auto out32 = reinterpret_cast<InpOutOut32>(find(library, "Out32"));
    auto inp32 = reinterpret_cast<InpOutInp32>(find(library, "Inp32"));
    auto driver_open = reinterpret_cast<InpOutIsDriverOpen>(find(library, "IsInpOutDriverOpen"));
    PortLibrary state = PortLibrary::Ready;
    if (out32 == nullptr || inp32 == nullptr || driver_open == nullptr) {
        state = PortLibrary::NoExports;
    } else if (!driver_open()) {
        state = PortLibrary::DriverClosed;  // it may open after an administrator's start
    }
    if (state != PortLibrary::Ready) {
        FreeLibrary(library);
        return state;
    }
    port.out32 = out32;
    port.inp32 = inp32;
    return state;
}
