// An emulated C64 for the receiver and the tunes it plays: 64 KiB of RAM;
// the 6510's I/O port at $00/$01 with the memory map its LORAM, HIRAM and
// CHAREN lines select (no cartridge: GAME and EXROM high); a stand-in for
// the system ROMs (system_rom.h) - BASIC and character ROM read as jam
// opcodes; CIA 1 at $DC00 (its /IRQ on the CPU's IRQ) and CIA 2 at $DD00
// (its /IRQ on NMI, together with the RESTORE key); the VIC-II's raster
// counter and bad lines (vic_ii.h); and a SID that records every write with
// the cycle it happened at. Writes always reach the RAM beneath a ROM.
// Colour RAM and the expansion area are plain storage that keeps writes out
// of the RAM beneath.
//
// Time: every chip runs on the machine's clock (PAL or NTSC, c64_timing.h);
// the CPU in whole instructions, each of which sees the other chips as at
// the cycle it began in. While the VIC holds the bus, time passes without
// the CPU.
//
// Not modelled: the SID's sound and its readable registers (they read 0),
// the cassette port, joysticks and the keyboard beyond one held key (CIA
// 1's ports read what set_port_*_input drives), the serial bus, the fading bits 6-7 of the
// 6510's port, what the VIC sees of memory, and the RAM's power-on
// pattern (it starts zeroed).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "rig/c64/c64_timing.h"
#include "rig/c64/cia6526.h"
#include "rig/c64/cpu6502.h"
#include "rig/c64/vic_ii.h"

struct SidWrite {
    uint64_t cycle;    // when the writing instruction began
    uint8_t reg;       // 0x00-0x1F
    uint8_t value;
};

// An instruction fetched from a watched address: when, and with what in A.
struct WatchVisit {
    uint16_t address;
    uint64_t cycle;
    uint8_t a;
};

class C64Machine final : private Bus {
public:
    // Power on: RAM zeroed, all ROMs and I/O mapped in ($01 = $37), the
    // chips idle, the CPU at the reset vector's address, where the ROM
    // stand-in jams it: nothing runs until start_at or start_after_run.
    explicit C64Machine(C64Model model = C64Model::Pal);

    C64Model model() const { return model_; }
    uint32_t clock_hz() const { return timing_.clock_hz; }
    uint32_t cycles_per_line() const { return timing_.cycles_per_line; }
    uint32_t lines_per_frame() const { return timing_.lines_per_frame; }
    uint32_t frame_cycles() const { return timing_.frame_cycles(); }

    // Puts a .prg (two address bytes, then data) into RAM; returns its load address.
    uint16_t load_prg(const std::vector<uint8_t>& prg);
    // Starts the CPU at `pc` with an empty stack and interrupts masked; the
    // rest of the machine stays as it is.
    void start_at(uint16_t pc);
    // Starts the CPU at `pc` in the state a C64 is in when RUN reaches a
    // SYS: $01 = $37, the RAM vectors at $0314-$0319 on the ROM's handlers,
    // CIA 1 timer A interrupting at the system's 60 Hz, I clear, the screen
    // on (DEN, YSCROLL 3). An RTS from the program returns into BASIC's SYS
    // code, which the stand-in does not have: the CPU jams there.
    void start_after_run(uint16_t pc);
    // Runs every instruction that can finish by `cycle`.
    void run_until(uint64_t cycle);
    void run_for(uint64_t cycles) { run_until(cycle_ + cycles); }
    uint64_t cycle() const { return cycle_; }
    // Cycles the VIC-II has kept the CPU off the bus so far (bad lines).
    uint64_t stolen_cycles() const { return stolen_cycles_; }
    uint32_t raster_line() const { return vic_.raster_line(cycle_); }

    // A key held down, as the keyboard scan sees it: a matrix position
    // (system_rom.h); the rows of CIA 1 port B read it while port A drives
    // its column low.
    void hold_key(uint8_t position) { held_key_ = position; }
    void release_key();

    // A falling edge on NMI, as the RESTORE key gives; lost, as on the real
    // wired-OR line, while CIA 2 holds NMI low already.
    void press_restore();

    // RAM itself, whatever the memory map shows.
    uint8_t ram(uint16_t address) const { return ram_[address]; }
    void set_ram(uint16_t address, uint8_t value) { ram_[address] = value; }
    // An access as the CPU makes it, through the memory map (with the side
    // effects of I/O reads, such as acknowledging a CIA's interrupts).
    uint8_t cpu_read(uint16_t address) { return read(address); }
    void cpu_write(uint16_t address, uint8_t value) { write(address, value); }
    bool io_visible() const;

    // Observers for tools that study what a program does: the step hook sees
    // the registers before each instruction (or interrupt entry), the write
    // hook every write the CPU makes, with the address of the instruction
    // that made it (for an interrupt's pushes, the one it interrupted).
    using StepHook = std::function<void(const CpuRegisters&)>;
    using WriteHook = std::function<void(uint16_t address, uint8_t value, uint16_t pc)>;
    void set_step_hook(StepHook hook) { step_hook_ = std::move(hook); }
    void set_write_hook(WriteHook hook) { write_hook_ = std::move(hook); }

    void watch(uint16_t address) { watched_.push_back(address); }
    const std::vector<WatchVisit>& visits() const { return visits_; }
    const std::vector<SidWrite>& sid_writes() const { return sid_writes_; }

    Cpu6502& cpu() { return cpu_; }
    Cia6526& cia1() { return cia1_; }
    Cia6526& cia2() { return cia2_; }

private:
    uint8_t read(uint16_t address) override;
    void write(uint16_t address, uint8_t value) override;
    uint8_t read_io(uint16_t address);
    void write_io(uint16_t address, uint8_t value);
    uint8_t port_lines() const;
    void step_one();
    void pass(uint64_t cycles);

    const C64Model model_;
    const C64Timing& timing_;
    Cpu6502 cpu_;
    Cia6526 cia1_, cia2_;
    VicII vic_;
    std::vector<uint8_t> ram_;
    std::vector<uint8_t> other_io_;
    uint8_t port_ddr_, port_latch_;
    uint64_t cycle_ = 0;
    uint64_t cpu_held_until_ = 0;
    uint64_t stolen_cycles_ = 0;
    std::vector<uint16_t> watched_;
    std::vector<WatchVisit> visits_;
    std::vector<SidWrite> sid_writes_;
    StepHook step_hook_;
    WriteHook write_hook_;
    uint16_t instruction_pc_ = 0;
    int held_key_ = -1;
};
