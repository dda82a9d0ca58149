// The port operations through a port-I/O library the user installed with
// its own signed driver: a DLL named inpout32.dll whose Out32 and Inp32 do
// the port access in its driver. This is how a 32-bit program reaches the
// parallel port on 64-bit Windows, where our own driver cannot load.
//
// Each operation is one call into the library (and, in it, one request to
// its driver), so the same handshake costs more time per nibble than with
// direct IN/OUT; the protocol and its waits stay exactly the same.
// Portable: the two entry points come in as plain function pointers.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define ZORBIN_INPOUT_CALL __stdcall
#else
#define ZORBIN_INPOUT_CALL
#endif

// The library's exports, as it declares them: ports and values are `short`.
using InpOutOut32 = void(ZORBIN_INPOUT_CALL*)(short port, short value);
using InpOutInp32 = short(ZORBIN_INPOUT_CALL*)(short port);
using InpOutIsDriverOpen = int(ZORBIN_INPOUT_CALL*)();

struct InpOutPort {
    InpOutOut32 out32 = nullptr;
    InpOutInp32 inp32 = nullptr;

    // A base above 0x7FFF (0xD010 on a PCIe card) becomes a negative short;
    // the library hands the bits on to its driver unchanged.
    void out8(uint16_t port, uint8_t value) {
        out32(static_cast<short>(port), static_cast<short>(value));
    }
    uint8_t in8(uint16_t port) { return static_cast<uint8_t>(inp32(static_cast<short>(port))); }
    // The library reads bytes only. The link reads the status register as a
    // word but looks at its low byte alone, which is what a byte read gives.
    uint16_t in16(uint16_t port) { return in8(port); }
};
