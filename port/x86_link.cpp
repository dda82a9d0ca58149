// The link as the DLLs run it: the protocol over real IN/OUT instructions,
// timed by the system tick count. Instantiated here once for both builds.
#include "link/c64_link.h"
#include "port/win32_tick_clock.h"
#include "port/x86_port.h"

template class C64Link<X86Port, TickClock>;
