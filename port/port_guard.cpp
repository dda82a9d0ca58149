#include "port/port_guard.h"

#include <windows.h>

#include "link/c64_link.h"

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

}  // namespace

PortProbe probe_port(uint16_t port_base) {
    GuardFrame frame;
    frame.handler = reinterpret_cast<void*>(&on_port_refused);
    frame.refused = 0;
    uint8_t status = 0;
    const uint16_t status_port = static_cast<uint16_t>(port_base + 1);
    __asm__ __volatile__(
        "movl $1f, 8(%[frame])\n\t"
        "movl %%fs:0, %%eax\n\t"
        "movl %%eax, (%[frame])\n\t"
        "movl %[frame], %%fs:0\n\t"
        "inb %%dx, %%al\n\t"
        "movb %%al, %[status]\n\t"
        "1:\n\t"
        "movl (%[frame]), %%eax\n\t"
        "movl %%eax, %%fs:0\n\t"
        : [status] "+m"(status)
        : [frame] "r"(&frame), "d"(status_port)
        : "eax", "memory", "cc");
    if (frame.refused) return PortProbe::NoAccess;
    return status_says_ready(status) ? PortProbe::Ready : PortProbe::NotReady;
}
