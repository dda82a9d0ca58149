#include "port/driver_messages.h"

#include <cstdio>

const char kDriverCaption[] = "UserPort";

namespace {
const char kAccessDenied[] =
    "You are not authorized to install drivers.\r\nPlase contact your administrator.";
const char kStartFailure[] = "Unable to start driver!";
}  // namespace

const char* driver_install_failure_text(uint32_t error) {
    switch (error) {
        case kErrorServiceExists: return nullptr;
        case kErrorAccessDenied: return kAccessDenied;
        default: return kStartFailure;
    }
}

void driver_missing_text(const char* path, char* out, size_t size) {
    std::snprintf(out, size,
                  "Driver does not exist:\r\n%s\r\n\r\nYou have to log as user with administrator "
                  "priviledges, so that you can start port access service (UserPort.sys).",
                  path);
}
