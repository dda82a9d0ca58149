// The port operations through a port-I/O library the user installed with
// its own signed driver (port/inpout32.cpp names the one we know): a DLL
// whose write and read exports do the port access in its driver. This is
// how a 32-bit program reaches the parallel port on 64-bit Windows, where
// our own driver cannot load.
//
// Each operation is one call into the library (and, in it, one request to
// its driver), so the same handshake costs more time per nibble than with
// direct IN/OUT; the protocol and its waits stay exactly the same.
// Portable: the entry points come in as plain function pointers.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define ZORBIN_LIBRARY_CALL __stdcall
#else
#define ZORBIN_LIBRARY_CALL
#endif

// The exports as such a library declares them: ports and values are `short`.
using LibraryWrite = void(ZORBIN_LIBRARY_CALL*)(short port, short value);
using LibraryRead = short(ZORBIN_LIBRARY_CALL*)(short port);
using LibraryIsOpen = int(ZORBIN_LIBRARY_CALL*)();

// A library: its file, the names of its three exports, and what the
// refused-port message says when it is missing or unusable.
struct PortLibraryTable {
    const char* file;
    const char* write;
    const char* read;
    const char* is_open;  // nonzero when the library's driver is open
    const char* missing_text;          // on 64-bit Windows, where nothing else can help
    const char* without_exports_text;  // a file of that name without the exports
    const char* driver_closed_text;
};

struct LibraryPort {
    LibraryWrite write = nullptr;
    LibraryRead read = nullptr;

    // A base above 0x7FFF (0xD010 on a PCIe card) becomes a negative short;
    // the library hands the bits on to its driver unchanged.
    void out8(uint16_t port, uint8_t value) {
        write(static_cast<short>(port), static_cast<short>(value));
    }
    uint8_t in8(uint16_t port) { return static_cast<uint8_t>(read(static_cast<short>(port))); }
    // The library reads bytes only. The link reads the status register as a
    // word but looks at its low byte alone, which is what a byte read gives.
    uint16_t in16(uint16_t port) { return in8(port); }
};
