// Emulates the parallel port for code that runs real IN/OUT instructions.
// Under Wine a user-mode IN or OUT faults; a vectored handler decodes the
// instruction at the fault, hands it to the simulated receiver and steps
// over it. The plug-in's own port code runs unchanged.
#pragma once

#include <windows.h>

#include <cstdint>

#include "sim/receiver_sim.h"

class ParallelCable;

void port_trap_install();
// Trapping on: port instructions reach `sim`, but only on the ports our
// driver opens (driver/port_grant.h; a word access needs both its bytes
// there); others fault, as on NT with the driver running.
// Off: every port instruction faults, as on a system that refuses access.
void port_trap_enable(bool on);
// Grants what the driver grants when started with `base` stored as its
// "PortBase" (0: none stored, the legacy ranges only).
void port_trap_grant_base(uint16_t base);
// The simulator behind the trap; every use from a test thread goes through
// port_trap_lock()/unlock() (the handler takes the same lock).
C64ReceiverSim& port_trap_sim();
// Routes the port instructions to an emulated C64 behind its cable instead
// of the simulator (null: back to the simulator). Locked like the simulator.
void port_trap_attach_cable(ParallelCable* cable);
// Port instructions inside this module's image fault as on a system that
// refuses port access, while those of other modules are still served (null:
// none refused). Lets a test refuse the plug-in's own IN/OUT but serve a
// port-I/O library's, on any port (its driver is not bound to our ranges).
void port_trap_refuse_module(HMODULE module);
void port_trap_lock();
void port_trap_unlock();

struct PortTrapCounts {
    uint32_t in8, in16, out8;
    uint32_t refused;  // instructions left to fault (trap off, or a refused module)
};
PortTrapCounts port_trap_counts();
void port_trap_reset_counts();

// Scoped lock on the simulator.
struct SimLock {
    SimLock() { port_trap_lock(); }
    ~SimLock() { port_trap_unlock(); }
    SimLock(const SimLock&) = delete;
    SimLock& operator=(const SimLock&) = delete;
};
