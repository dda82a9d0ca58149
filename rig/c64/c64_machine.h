// An emulated C64 as far as the receiver needs one: 64 KiB of RAM, the
// 6510's I/O port at $00/$01 (only its "is the I/O area visible" meaning),
// CIA 1 at $DC00 (its /IRQ on the CPU's IRQ), CIA 2 at $DD00 (its /IRQ on
// NMI), and a SID that records every write with the cycle it happened at.
// No ROMs: with the I/O area hidden, or outside it, every access is RAM.
// The rest of the I/O area (VIC, colour RAM, expansion) is plain storage
// that keeps writes out of the RAM beneath it.
#pragma once

#include <cstdint>
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
    explicit C64Machine(C64Model model = C64Model::Pal);

    C64Model model() const { return model_; }
    uint32_t clock_hz() const { return timing_.clock_hz; }
    uint32_t cycles_per_line() const { return timing_.cycles_per_line; }
    uint32_t lines_per_frame() const { return timing_.lines_per_frame; }
    uint32_t frame_cycles() const { return timing_.frame_cycles(); }

    // Puts a .prg (two address bytes, then data) into RAM; returns its load address.
    uint16_t load_prg(const std::vector<uint8_t>& prg);
    // Starts the CPU at `pc` with an empty stack and interrupts masked, as
    // after a SYS from BASIC with the KERNAL switched off.
    void start_at(uint16_t pc);
    // Runs every instruction that can finish by `cycle`.
    void run_until(uint64_t cycle);
    void run_for(uint64_t cycles) { run_until(cycle_ + cycles); }
    uint64_t cycle() const { return cycle_; }
    // Cycles the VIC-II has kept the CPU off the bus so far (bad lines).
    uint64_t stolen_cycles() const { return stolen_cycles_; }
    uint32_t raster_line() const { return vic_.raster_line(cycle_); }

    uint8_t ram(uint16_t address) const { return ram_[address]; }
    void set_ram(uint16_t address, uint8_t value) { ram_[address] = value; }
    bool io_visible() const;

    void watch(uint16_t address) { watched_.push_back(address); }
    const std::vector<WatchVisit>& visits() const { return visits_; }
    const std::vector<SidWrite>& sid_writes() const { return sid_writes_; }

    Cpu6502& cpu() { return cpu_; }
    Cia6526& cia1() { return cia1_; }
    Cia6526& cia2() { return cia2_; }

private:
    uint8_t read(uint16_t address) override;
    void write(uint16_t address, uint8_t value) override;
    void step_one();
    void pass(uint64_t cycles);

    const C64Model model_;
    const C64Timing& timing_;
    Cpu6502 cpu_;
    Cia6526 cia1_, cia2_;
    VicII vic_;
    std::vector<uint8_t> ram_;
    std::vector<uint8_t> other_io_;
    uint8_t port_ddr_ = 0x2F, port_latch_ = 0x37;
    uint64_t cycle_ = 0;
    uint64_t cpu_held_until_ = 0;
    uint64_t stolen_cycles_ = 0;
    std::vector<uint16_t> watched_;
    std::vector<WatchVisit> visits_;
    std::vector<SidWrite> sid_writes_;
};
