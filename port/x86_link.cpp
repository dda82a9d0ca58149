// The link as the DLLs run it: the protocol over real IN/OUT instructions,
// timed by the system tick count. The DLLs instantiate only what the session
// calls (plugin/session.cpp); this instantiates every member, so the cross
// build compiles all of them for the target.
#include "link/c64_link.h"
#include "port/win32_tick_clock.h"
#include "port/x86_port.h"

template class C64Link<X86Port, TickClock>;
