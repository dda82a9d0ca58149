#pragma once

#include <windows.h>

#include <cstdint>

// On NT-family Windows: writes the UserPort driver out, registers and starts
// it (or, with the driver flag set, only opens its device), so that the
// link's IN/OUT instructions work in this process. Elsewhere: nothing.
// The driver comes from the resources of `instance`; a driver it installs
// also grants `port_base`'s eight registers.
void port_access_setup(HINSTANCE instance, bool only_open_device, uint16_t port_base);

// Opens and closes the driver's device: true when our driver runs. One open
// gives this process the ports the driver grants for the rest of its life.
bool port_driver_device_opens();
