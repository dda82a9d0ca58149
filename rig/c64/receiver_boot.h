// Starts a receiver .prg in an emulated C64 the way a user does: load it,
// RUN its BASIC line (here: jump to the address its SYS names), and give it
// time to settle into its command loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rig/c64/c64_machine.h"

std::vector<uint8_t> read_file_bytes(const std::string& path);

// The address named by "SYS <digits>" in the first BASIC line of a .prg
// that loads to $0801; 0 if there is none.
uint16_t basic_sys_address(const std::vector<uint8_t>& prg);

// What our receiver's start-up takes on every model - measuring the frame,
// mapping its relocations, writing two spares and its first home - with
// room to spare (about 187,000 cycles on PAL).
constexpr uint64_t kReceiverStartUpCycles = 200000;

// Loads and starts the receiver as RUN would (C64Machine::start_after_run),
// then runs the C64 for `settle_cycles`.
// Returns the SYS address (0 when the .prg has no SYS line: nothing runs).
uint16_t boot_receiver(C64Machine& c64, const std::vector<uint8_t>& prg,
                       uint64_t settle_cycles = kReceiverStartUpCycles);
