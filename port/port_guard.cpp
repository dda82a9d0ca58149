#include "port/port_guard.h"

#include <windows.h>

#include "link/c64_link.h"

extern "C" {
#include "driver/port_grant.h"
}

namespace {

// A frame-based exception registration, linked into the thread's chain at
// fs:[0] for the duration of one IN instruction. The compiler's own SEH
// support cannot be used here (MinGW's macros break at -O2), so the frame is
// laid out by hand: the first two fields are what the system walks.
struct GuardFrame {
    GuardFrame* next;
    void* handler;
    void* resume_at;  // where execution goes on after a refused access
    volatile LONG refused;
};

EXCEPTION_DISPOSITION __cdecl on_port_refused(EXCEPTION_RECORD* record, void* frame,
                                              CONTEXT* context, void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    // NT raises a privileged-instruction fault for a port outside the
    // process's I/O permission map; some emulators report an access violation.
    if (record->ExceptionCode != EXCEPTION_PRIV_INSTRUCTION &&
        record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return ExceptionContinueSearch;
    GuardFrame* guard = static_cast<GuardFrame*>(frame);
    guard->refused = 1;
    context->Eip = reinterpret_cast<DWORD>(guard->resume_at);
    return ExceptionContinueExecution;
}

// One IN of a byte (or, with `word`, of a word) under the guard. False when
// the system refused the port; `value` is then left as it was.
bool guarded_in(uint16_t port, bool word, uint16_t& value) {
    GuardFrame frame;
    frame.handler = reinterpret_cast<void*>(&on_port_refused);
    frame.refused = 0;
#define ZORBIN_GUARDED(instruction)                          \
    __asm__ __volatile__(                                    \
        "movl $1f, 8(%[frame])\n\t"                          \
        "movl %%fs:0, %%eax\n\t"                             \
        "movl %%eax, (%[frame])\n\t"                         \
        "movl %[frame], %%fs:0\n\t"                          \
        "xorl %%eax, %%eax\n\t" instruction                  \
        "movw %%ax, %[value]\n\t"                            \
        "1:\n\t"                                             \
        "movl (%[frame]), %%eax\n\t"                         \
        "movl %%eax, %%fs:0\n\t"                             \
        : [value] "+m"(value)                                \
        : [frame] "r"(&frame), "d"(port)                     \
        : "eax", "memory", "cc")
    if (word) {
        ZORBIN_GUARDED("inw %%dx, %%ax\n\t");
    } else {
        ZORBIN_GUARDED("inb %%dx, %%al\n\t");
    }
#undef ZORBIN_GUARDED
    return !frame.refused;
}

}  // namespace

PortProbe probe_port(uint16_t port_base) {
    const uint16_t status_port = static_cast<uint16_t>(port_base + 1);
    uint16_t status = 0;
    if (!guarded_in(status_port, false, status)) return PortProbe::NoAccess;
    if (!status_says_ready(static_cast<uint8_t>(status))) return PortProbe::NotReady;
    // The session goes on to write the data register, to set the control
    // register at base + 2 and to read the status as a word (which takes
    // base + 2 as well). Outside one opened range they
    // are tried here first, under the guard: the I/O permission map has one
    // bit per port for both directions, so a read proves the write.
    // The port driver opens each legacy range whole, and the 9x family refuses
    // no port: where base + 1 is open inside one of them, so is the rest.
    if (!userport_inside_legacy(port_base, port_base + 2u)) {
        uint16_t ignored = 0;
        if (!guarded_in(status_port, true, ignored) || !guarded_in(port_base, false, ignored))
            return PortProbe::NoAccess;
    }
    return PortProbe::Ready;
}
