#include "port/port_access.h"

#include <windows.h>

#include <cstdio>

#include "port/driver_grant.h"
#include "port/driver_messages.h"
#include "port/port_choice.h"
#include "port/windows_kind.h"

namespace {

const char kServiceName[] = "UserPort";
// Where the service starts the driver from; the file is written to the same
// place, with the Windows directory for "\SystemRoot".
const char kDriverImagePath[] = "\\SystemRoot\\System32\\Drivers\\UserPort.sys";
constexpr size_t kSystemRootLength = 11;  // "\SystemRoot"
const char kDeviceFile[] = "\\\\.\\UserPort";
constexpr DWORD kAfterDeleteMs = 20;
constexpr DWORD kAfterOpenMs = 10;

void tell(const char* text) {
    if (text != nullptr) MessageBoxA(nullptr, text, kDriverCaption, MB_OK);
}

// The driver file's path into `out` (kDriverPathSize characters). False when
// the system could not give the Windows directory or it does not fit.
constexpr size_t kDriverPathSize = MAX_PATH + sizeof kDriverImagePath;
bool driver_file_path(char* out) {
    const UINT length = GetWindowsDirectoryA(out, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    lstrcatA(out, kDriverImagePath + kSystemRootLength);
    return true;
}

// Writes the driver out of our resources. A file that cannot be created is
// reported by the existence test that follows; one that could not be
// filled (no resource, a short write) is deleted, so that the test reports
// it too instead of the service starting an empty or cut driver.
void write_driver_file(HINSTANCE instance) {
    char path[kDriverPathSize];
    if (!driver_file_path(path)) return;
    std::FILE* file = std::fopen(path, "w+b");
    if (file == nullptr) return;
    HRSRC found = FindResourceA(instance, "USERPORTSYS", "BIN");
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const size_t size = found ? SizeofResource(instance, found) : 0;
    const bool whole = bytes != nullptr && size != 0 && std::fwrite(bytes, 1, size, file) == size;
    std::fclose(file);
    if (!whole) DeleteFileA(path);
}

int remove_driver_service() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return 0;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        CloseServiceHandle(manager);
        return 0;
    }
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    Sleep(kAfterDeleteMs);
    return 1;
}

int install_driver_service(uint16_t port_base) {
    char test_path[kDriverPathSize];
    // Without the Windows directory the driver cannot be found: reported like
    // a missing file, by the path the service would start it from.
    const bool located = driver_file_path(test_path);
    if (!located) lstrcpyA(test_path, kDriverImagePath);
    HANDLE file = located ? CreateFileA(test_path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        char text[1024];
        driver_missing_text(test_path, text, sizeof text);
        tell(text);
        return 0;
    }
    CloseHandle(file);

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        tell(driver_install_failure_text(GetLastError()));
        return 0;
    }
    SC_HANDLE service = CreateServiceA(manager, kServiceName, kServiceName, SERVICE_START,
                                       SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START,
                                       SERVICE_ERROR_NORMAL, kDriverImagePath, nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (service == nullptr) {
        tell(driver_install_failure_text(GetLastError()));
        CloseServiceHandle(manager);
        return 0;
    }
    driver_store_port_base(port_base);  // read by the driver as it starts
    StartServiceA(service, 0, nullptr);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return 1;
}

void open_port_device() {
    port_driver_device_opens();
    Sleep(kAfterOpenMs);
}

}  // namespace

bool port_driver_device_opens() {
    HANDLE device = CreateFileA(kDeviceFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    CloseHandle(device);
    return true;
}

void port_access_setup(HINSTANCE instance, bool only_open_device, uint16_t port_base) {
    // 64-bit Windows cannot load our 32-bit driver: nothing is written or
    // installed there; the session looks for the user's port-I/O library.
    switch (driver_set_up(this_windows_kind(), only_open_device)) {
        case DriverSetUp::Nothing: return;
        case DriverSetUp::OpenDevice: open_port_device(); return;
        case DriverSetUp::InstallAndOpen: break;
    }
    write_driver_file(instance);
    remove_driver_service();
    if (install_driver_service(port_base)) open_port_device();
}
