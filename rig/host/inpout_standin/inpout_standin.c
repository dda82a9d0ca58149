/*
 * A stand-in for the user's port-I/O library, built only for the player rig
 * and never shipped. Its Out32 and Inp32 execute real OUT and IN
 * instructions, which the rig's port trap serves like any other, so the
 * plug-in's library route reaches the simulated receiver while the trap
 * refuses the plug-in's own IN/OUT. Variants, by compile definition:
 *   STANDIN_DRIVER_OPEN=1  a working copy
 *   STANDIN_DRIVER_OPEN=0  a copy whose driver is not open
 *   STANDIN_NO_EXPORTS     a DLL of that name without the library's exports
 */
#include <windows.h>

#ifndef STANDIN_NO_EXPORTS
__declspec(dllexport) void __stdcall Out32(short port, short value) {
    __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
}

__declspec(dllexport) short __stdcall Inp32(short port) {
    unsigned char value;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
    return value;
}

__declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen(void) { return STANDIN_DRIVER_OPEN; }
#else
__declspec(dllexport) BOOL __stdcall SomethingElse(void) { return TRUE; }
#endif
