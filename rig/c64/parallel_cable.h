// The PC's parallel port wired to the C64's user port (docs/cable.md), seen
// from the PC: a data register at the port base and a status register at
// base + 1, as the link's port operations reach them.
//
//   PC data bits 0-3  -> CIA 2 PB0-PB3
//   PC data bit 7     -> CIA 2 FLAG (its falling edge latches ICR bit 4)
//   CIA 2 PB4         -> BUSY; the port reads it inverted as status bit 7
//   ACK, SELECT via 4.7k to the C64's +5 V, PAPER-OUT, ERROR to the cable's
//   ground: status bits 6..3 = 1,0,1,0
//
// The port's control register (base + 2) keeps what is written; while its
// bit 5 says reverse, the data lines are undriven and the C64's pull-ups
// hold PB0-PB3 and FLAG high - switching back to forward with bit 7 low
// in the data register is then a falling edge on FLAG.
//
// What the status lines read in each state (bits 7..3, BUSY inverted):
//   wired            BUSY from PB4, then 1,0,1,0
//   C64 end pulled   0,1,0,1,0: BUSY, ACK and SELECT float high by the
//                    port's pull-ups; PAPER-OUT and ERROR stay on the
//                    cable's ground, in the PC's plug
//   PC end pulled    0,1,1,1,1: the port's pull-ups alone
//   C64 switched off 1,0,0,0,0: the dead supply and the unpowered CIA
//                    hold BUSY, ACK and SELECT low
// In every state but "wired" the PC's writes reach no C64 pin.
//
// Every port access costs the PC time (about 1 us on real hardware); the
// emulated C64 runs up to that moment before the access takes effect, so
// the PC and the C64 share one clock, counted in the C64's own cycles.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "rig/c64/c64_machine.h"

// Thrown when the PC waits past the cable's deadline: lets a test end an
// unbounded wait on a receiver that never answers.
struct CableTimeout : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class CableState { Wired, C64EndPulled, PcEndPulled, C64Off };

class ParallelCable {
public:
    // `cycles_per_access` 0 means one microsecond of the C64's clock.
    ParallelCable(C64Machine& c64, uint16_t port_base, double cycles_per_access = 0);

    void out8(uint16_t port, uint8_t value);
    uint8_t in8(uint16_t port);
    uint16_t in16(uint16_t port);

    // PC time in C64 cycles since the cable was made.
    double now_cycles() const { return now_; }
    uint32_t now_ms() const { return static_cast<uint32_t>(now_ * 1000.0 / c64_.clock_hz()); }
    // The PC leaves the port alone for `cycles`; the C64 runs on meanwhile.
    void idle(uint64_t cycles) {
        now_ += static_cast<double>(cycles);
        c64_.run_until(static_cast<uint64_t>(now_));
    }
    // Any access after this cycle throws CableTimeout (0 = never).
    void set_deadline(uint64_t cycle) { deadline_ = cycle; }
    uint64_t accesses() const { return accesses_; }
    void set_state(CableState state);
    CableState state() const { return state_; }
    // Plugs the PC's end in or out.
    void set_connected(bool connected) { set_state(connected ? CableState::Wired : CableState::PcEndPulled); }
    // One falling edge on FLAG, the one after `edges_to_pass` more, does not
    // reach the CIA (a jostled plug, a marginal pulse).
    void drop_flag_edge(uint32_t edges_to_pass = 0) { edges_before_drop_ = edges_to_pass + 1; }
    // Falling edges on FLAG so far, and how many of them were dropped.
    uint32_t flag_edges() const { return flag_edges_; }
    uint32_t dropped_flag_edges() const { return dropped_edges_; }

private:
    void pass_time();
    uint8_t status() const;
    // What the PC drives onto data bits 7 and 0..3 (undriven lines float high).
    uint8_t driven_lines() const;
    void drive_c64_pins(uint8_t lines_before);

    C64Machine& c64_;
    const uint16_t data_port_, status_port_;
    const double cycles_per_access_;
    double now_;
    uint64_t deadline_ = 0;
    uint64_t accesses_ = 0;
    uint8_t data_ = 0;
    uint8_t control_;
    CableState state_ = CableState::Wired;
    uint32_t edges_before_drop_ = 0;  // 0: none to drop
    uint32_t flag_edges_ = 0;
    uint32_t dropped_edges_ = 0;
};

// The link's port operations over the cable.
struct C64Port {
    ParallelCable& cable;
    void out8(uint16_t port, uint8_t value) { cable.out8(port, value); }
    uint8_t in8(uint16_t port) { return cable.in8(port); }
    uint16_t in16(uint16_t port) { return cable.in16(port); }
};

// The link's clock, in emulated time.
struct C64Clock {
    ParallelCable& cable;
    uint32_t now_ms() const { return cable.now_ms(); }
};
