#include "port/port_library.h"

#include <windows.h>

namespace {

void* find(HMODULE library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

// `path` (MAX_PATH characters) cut after its last backslash: the folder,
// ready for a file name. False when the system gave no usable path.
bool keep_folder(char* path, DWORD length) {
    if (length == 0 || length >= MAX_PATH) return false;
    char* name = path + length;
    while (name > path && name[-1] != '\\' && name[-1] != '/') --name;
    *name = '\0';
    return name > path;
}

bool module_folder(HMODULE module, char* path) {
    return keep_folder(path, GetModuleFileNameA(module, path, MAX_PATH));
}

// On 64-bit Windows a 32-bit process is handed the 32-bit system folder
// here: its accesses to System32 are redirected to SysWOW64.
bool system_folder(char* path) {
    const UINT length = GetSystemDirectoryA(path, MAX_PATH - 1);
    if (length == 0 || length >= MAX_PATH - 1) return false;
    path[length] = '\\';
    path[length + 1] = '\0';
    return true;
}

// Only by full path, from where the user installs it: beside our DLL, the
// player's own folder, the system folder. Never by bare name, which would
// also search the current folder (often the one a tune was opened from)
// and PATH; a DLL's start-up code runs as it loads, before any export is
// looked at.
HMODULE load_by_full_path(const char* file, HINSTANCE our_module) {
    for (int where = 0; where < 3; ++where) {
        char path[MAX_PATH];
        const bool found = where == 0   ? module_folder(our_module, path)
                           : where == 1 ? module_folder(nullptr, path)
                                        : system_folder(path);
        if (!found || lstrlenA(path) + lstrlenA(file) >= MAX_PATH) continue;
        lstrcatA(path, file);
        if (HMODULE library = LoadLibraryA(path)) return library;
    }
    return nullptr;
}

}  // namespace

PortLibrary port_library_load(const PortLibraryTable& table, LibraryPort& port,
                              void* our_module) {
    HMODULE library = load_by_full_path(table.file, static_cast<HINSTANCE>(our_module));
    if (library == nullptr) return PortLibrary::Absent;
    auto write = reinterpret_cast<LibraryWrite>(find(library, table.write));
    auto read = reinterpret_cast<LibraryRead>(find(library, table.read));
    auto is_open = reinterpret_cast<LibraryIsOpen>(find(library, table.is_open));
    PortLibrary state = PortLibrary::Ready;
    if (write == nullptr || read == nullptr || is_open == nullptr) {
        state = PortLibrary::NoExports;
    } else if (!is_open()) {
        state = PortLibrary::DriverClosed;  // it may open after an administrator's start
    }
    if (state != PortLibrary::Ready) {
        FreeLibrary(library);
        return state;
    }
    port.write = write;
    port.read = read;
    return state;
}
