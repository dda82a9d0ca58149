#include "port/driver_grant.h"

#include <windows.h>

extern "C" {
#include "driver/port_grant.h"
}

namespace {
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\UserPort";
}

void driver_store_port_base(uint16_t port_base) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    unsigned short first = 0, last = 0;
    if (userport_extra_range(port_base, &first, &last)) {
        const DWORD value = port_base;
        RegSetValueExA(key, USERPORT_BASE_VALUE_A, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&value), sizeof value);
    } else {
        // A value left from an earlier base would keep those registers open
        // after the port moved back to a legacy base.
        RegDeleteValueA(key, USERPORT_BASE_VALUE_A);
    }
    RegCloseKey(key);
}
