// What the driver set-up tells the user, by the error the system reported.
// Portable, so every case is tested, including those Wine cannot produce.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    kErrorAccessDenied = 5,       // ERROR_ACCESS_DENIED
    kErrorServiceExists = 1073,   // ERROR_SERVICE_EXISTS
};

extern const char kDriverCaption[];

// The message for a failure to open the service manager or to create the
// service, or null when nothing is to be shown (the service exists already).
const char* driver_install_failure_text(uint32_t error);

// "Driver does not exist: <path> ..." into `out`.
void driver_missing_text(const char* path, char* out, size_t size);
