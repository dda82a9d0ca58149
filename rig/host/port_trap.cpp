#include "rig/host/port_trap.h"

#include <windows.h>

#include "rig/c64/parallel_cable.h"

extern "C" {
#include "driver/port_grant.h"
}

namespace {

C64ReceiverSim g_sim(0x378);
ParallelCable* g_cable = nullptr;
CRITICAL_SECTION g_lock;
volatile LONG g_enabled = 1;
PortTrapCounts g_counts{};
volatile DWORD g_refused_begin = 0, g_refused_end = 0;  // [begin, end) of a refused module
volatile LONG g_stored_base = 0;  // the base the driver was started with (0: none)

enum : uint8_t {
    kOperandSize = 0x66,
    kInAlImm = 0xE4, kInAxImm = 0xE5, kOutImmAl = 0xE6, kOutImmAx = 0xE7,
    kInAlDx = 0xEC, kInAxDx = 0xED, kOutDxAl = 0xEE, kOutDxAx = 0xEF,
};

// What driver/userport.c opens in the I/O permission map.
bool granted(uint16_t port) {
    return userport_opens(port, static_cast<unsigned long>(g_stored_base)) != 0;
}

// Emulates one port instruction at `ip`; returns its length, 0 if it is none
// or if the system would refuse it.
DWORD emulate(CONTEXT& context, const uint8_t* ip) {
    DWORD length = 0;
    bool wide = false;
    if (ip[0] == kOperandSize) {
        wide = true;
        ++ip;
        ++length;
    }
    uint16_t port = static_cast<uint16_t>(context.Edx);
    const uint8_t opcode = ip[0];
    if (opcode >= kInAlImm && opcode <= kOutImmAx) {
        port = ip[1];
        length += 2;
    } else if (opcode >= kInAlDx && opcode <= kOutDxAx) {
        length += 1;
    } else {
        return 0;
    }
    const bool in = opcode == kInAlImm || opcode == kInAxImm || opcode == kInAlDx || opcode == kInAxDx;
    const bool byte = opcode == kInAlImm || opcode == kOutImmAl || opcode == kInAlDx || opcode == kOutDxAl;
    // While a module is refused, the instructions served stand for a port-I/O
    // library's driver, which reaches every port; otherwise our driver's
    // ranges apply.
    const bool library_driver = g_refused_end != 0;
    if (!library_driver && (!granted(port) || (!byte && !granted(static_cast<uint16_t>(port + 1)))))
        return 0;
    EnterCriticalSection(&g_lock);
    if (in && byte) {
        const uint8_t value = g_cable ? g_cable->in8(port) : g_sim.io_read8(port);
        context.Eax = (context.Eax & ~0xFFu) | value;
        ++g_counts.in8;
    } else if (in) {
        const uint16_t word = g_cable ? g_cable->in16(port) : g_sim.io_read16(port);
        context.Eax = wide ? (context.Eax & ~0xFFFFu) | word : word;  // no dword device here
        ++g_counts.in16;
    } else {
        const uint8_t value = static_cast<uint8_t>(context.Eax);  // the low byte drives the lines
        if (g_cable) g_cable->out8(port, value);
        else g_sim.io_write(port, value);
        ++g_counts.out8;
    }
    LeaveCriticalSection(&g_lock);
    return length;
}

LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (code != EXCEPTION_PRIV_INSTRUCTION && code != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT& context = *info->ContextRecord;
    if (!g_enabled || (context.Eip >= g_refused_begin && context.Eip < g_refused_end)) {
        InterlockedIncrement(reinterpret_cast<volatile LONG*>(&g_counts.refused));
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const DWORD length = emulate(context, reinterpret_cast<const uint8_t*>(context.Eip));
    if (length == 0) return EXCEPTION_CONTINUE_SEARCH;
    context.Eip += length;
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void port_trap_install() {
    InitializeCriticalSection(&g_lock);
    AddVectoredExceptionHandler(1, on_exception);
}

void port_trap_grant_base(uint16_t base) { InterlockedExchange(&g_stored_base, base); }

void port_trap_enable(bool on) { InterlockedExchange(&g_enabled, on ? 1 : 0); }
C64ReceiverSim& port_trap_sim() { return g_sim; }

void port_trap_attach_cable(ParallelCable* cable) {
    SimLock lock;
    g_cable = cable;
}
void port_trap_refuse_module(HMODULE module) {
    DWORD begin = 0, size = 0;
    if (module != nullptr) {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            reinterpret_cast<const uint8_t*>(module) + dos->e_lfanew);
        begin = reinterpret_cast<DWORD>(module);
        size = nt->OptionalHeader.SizeOfImage;
    }
    SimLock lock;  // set between tests, while no port instruction runs
    g_refused_begin = begin;
    g_refused_end = begin + size;
}
void port_trap_lock() { EnterCriticalSection(&g_lock); }
void port_trap_unlock() { LeaveCriticalSection(&g_lock); }

PortTrapCounts port_trap_counts() {
    SimLock lock;
    return g_counts;
}
void port_trap_reset_counts() {
    SimLock lock;
    g_counts = PortTrapCounts{};
}
