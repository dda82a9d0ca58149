#include "rig/c64/c64_machine.h"

#include <algorithm>
#include <stdexcept>

#include "rig/c64/system_rom.h"

namespace {
constexpr size_t kMemorySize = 0x10000;
constexpr uint16_t kIoStart = 0xD000, kIoEnd = 0xE000;
constexpr uint16_t kVicEnd = 0xD400;
constexpr uint16_t kSidStart = 0xD400, kSidEnd = 0xD800;
constexpr uint16_t kCia1Start = 0xDC00, kCia2Start = 0xDD00, kCia2End = 0xDE00;
constexpr uint16_t kCpuPortDirection = 0x0000, kCpuPortData = 0x0001;
constexpr uint8_t kSidRegisterMask = 0x1F;

// The 6510's port lines as the C64 uses them (the 6510 data sheet's P0-P5).
enum : uint8_t {
    kPortLoram = 0x01,
    kPortHiram = 0x02,
    kPortCharen = 0x04,
    kPortCassetteSense = 0x10,
    kPortPullUps = kPortLoram | kPortHiram | kPortCharen | kPortCassetteSense,  // undriven lines read 1
};
// What the KERNAL leaves in the port: P0-P3 and P5 outputs, all ROMs and I/O in.
constexpr uint8_t kRunDirection = 0x2F, kRunLatch = 0x37;

// Where BASIC's SYS code goes on when the program returns; BASIC's last
// pages lie in the KERNAL ROM, so this is a jam byte of the stand-in.
constexpr uint16_t kSysReturnsTo = 0xE147;
constexpr uint8_t kRunStackPointer = 0xF8;  // BASIC's own use of the stack, roughly
constexpr uint8_t kRunScreenControl = kControl1Den | kControl1Rows25 | 3;  // YSCROLL 3
constexpr uint8_t kCiaStartContinuousLoad = kControlStart | kControlForceLoad;
// CIA 1 port A drives the keyboard's columns; the system leaves column 7
// (RUN/STOP's) driven between scans.
constexpr uint8_t kKeyboardColumnsOut = 0xFF, kKeyboardRestColumns = 0x7F;
constexpr uint8_t kNoKeyRows = 0xFF;
}  // namespace

C64Machine::C64Machine(C64Model model)
    : model_(model), timing_(c64_timing(model)), cpu_(*this),
      cia1_(timing_.clock_hz, timing_.mains_hz), cia2_(timing_.clock_hz, timing_.mains_hz), vic_(timing_),
      ram_(kMemorySize, 0), other_io_(kIoEnd - kIoStart, 0), port_ddr_(kRunDirection), port_latch_(kRunLatch) {
    cpu_.reset();
}

uint16_t C64Machine::load_prg(const std::vector<uint8_t>& prg) {
    if (prg.size() < 2 || prg.size() - 2 > kMemorySize) throw std::invalid_argument("not a .prg");
    const uint16_t load = static_cast<uint16_t>(prg[0] | prg[1] << 8);
    if (load + (prg.size() - 2) > kMemorySize) throw std::invalid_argument(".prg runs past $FFFF");
    std::copy(prg.begin() + 2, prg.end(), ram_.begin() + load);
    return load;
}

void C64Machine::start_at(uint16_t pc) {
    cpu_.reset();
    cpu_.regs = CpuRegisters{};
    cpu_.regs.pc = pc;
    cpu_.regs.s = 0xFF;
}

void C64Machine::start_after_run(uint16_t pc) {
    port_ddr_ = kRunDirection;
    port_latch_ = kRunLatch;
    const uint16_t vectors[][2] = {
        {kIrqRamVector, kRomIrqHandler}, {kBrkRamVector, kRomBrkHandler}, {kNmiRamVector, kRomNmiHandler}};
    for (const auto& v : vectors) {
        ram_[v[0]] = static_cast<uint8_t>(v[1]);
        ram_[v[0] + 1] = static_cast<uint8_t>(v[1] >> 8);
    }
    uint32_t count = 0;
    const RamValue* kernal_variables = system_rom_run_state(count);
    for (uint32_t i = 0; i < count; ++i) ram_[kernal_variables[i].address] = kernal_variables[i].value;
    cia1_.write(kCiaDdrA, kKeyboardColumnsOut);
    cia1_.write(kCiaPortA, kKeyboardRestColumns);
    cia1_.write(kCiaTimerALow, static_cast<uint8_t>(timing_.system_timer_latch));
    cia1_.write(kCiaTimerAHigh, static_cast<uint8_t>(timing_.system_timer_latch >> 8));
    cia1_.write(kCiaControlA, kCiaStartContinuousLoad);
    cia1_.write(kCiaInterruptControl, kIcrAnyEnabled | kIcrTimerA);
    vic_.write(kVicControl1, kRunScreenControl, cycle_);

    cpu_.reset();
    cpu_.regs = CpuRegisters{};
    cpu_.regs.p = kFlagU;
    cpu_.regs.s = kRunStackPointer;
    const uint16_t rts_address = static_cast<uint16_t>(kSysReturnsTo - 1);
    ram_[kStackPage | cpu_.regs.s--] = static_cast<uint8_t>(rts_address >> 8);
    ram_[kStackPage | cpu_.regs.s--] = static_cast<uint8_t>(rts_address);
    cpu_.regs.pc = pc;
}

void C64Machine::release_key() {
    held_key_ = -1;
    cia1_.set_port_b_input(kNoKeyRows);
}

void C64Machine::press_restore() {
    cpu_.set_nmi_line(true);  // released at the end of the next instruction
}

uint8_t C64Machine::port_lines() const {
    return static_cast<uint8_t>((port_latch_ & port_ddr_) | (kPortPullUps & ~port_ddr_));
}

// The I/O area shows when CHAREN is 1 and at least one of LORAM/HIRAM is.
bool C64Machine::io_visible() const {
    const uint8_t lines = port_lines();
    return (lines & kPortCharen) && (lines & (kPortLoram | kPortHiram));
}

// Only instructions that finish by `cycle` run, so every access an
// instruction makes on its last cycle - all loads and stores do - sees the
// world as of that cycle.
void C64Machine::run_until(uint64_t cycle) {
    while (cycle_ < cycle) {
        if (cycle_ < cpu_held_until_) {  // the VIC has the bus
            pass(std::min(cpu_held_until_, cycle) - cycle_);
            continue;
        }
        const int next = cpu_.next_step_cycles();
        if (next == 0) {  // jammed: time passes, nothing else happens
            pass(cycle - cycle_);
            return;
        }
        if (cycle_ + static_cast<uint64_t>(next) > cycle) return;
        step_one();
    }
}

void C64Machine::step_one() {
    const uint16_t pc = cpu_.regs.pc;
    instruction_pc_ = pc;
    if (step_hook_) step_hook_(cpu_.regs);
    if (std::find(watched_.begin(), watched_.end(), pc) != watched_.end()) {
        visits_.push_back(WatchVisit{pc, cycle_, cpu_.regs.a});
    }
    const uint64_t began = cycle_;
    pass(static_cast<uint64_t>(cpu_.step()));
    const uint32_t held = vic_.bus_taken(began, cycle_);
    cpu_held_until_ = cycle_ + held;
    stolen_cycles_ += held;
}

// Time passes for every chip but the CPU.
void C64Machine::pass(uint64_t cycles) {
    cycle_ += cycles;
    while (cycles > 0) {
        const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(cycles, 1u << 30));
        cia1_.advance(chunk);
        cia2_.advance(chunk);
        cycles -= chunk;
    }
    cpu_.set_irq_line(cia1_.interrupt_asserted());
    cpu_.set_nmi_line(cia2_.interrupt_asserted());
}

// The PLA's choices without a cartridge: BASIC needs LORAM and HIRAM, the
// KERNAL HIRAM; $D000-$DFFF shows I/O (CHAREN 1) or the character ROM
// (CHAREN 0) unless LORAM and HIRAM are both 0.
uint8_t C64Machine::read(uint16_t address) {
    if (address == kCpuPortDirection) return port_ddr_;
    if (address == kCpuPortData) return port_lines();
    const uint8_t lines = port_lines();
    const bool loram = lines & kPortLoram, hiram = lines & kPortHiram;
    if (address >= kBasicStart && address < kBasicEnd && loram && hiram) return kJamOpcode;
    if (address >= kIoStart && address < kIoEnd && (loram || hiram)) {
        return (lines & kPortCharen) ? read_io(address) : kJamOpcode;
    }
    if (address >= kKernalStart && hiram) return system_rom_read(address);
    return ram_[address];
}

void C64Machine::write(uint16_t address, uint8_t value) {
    if (write_hook_) write_hook_(address, value, instruction_pc_);
    if (address == kCpuPortDirection) {
        port_ddr_ = value;
    } else if (address == kCpuPortData) {
        port_latch_ = value;
    } else if (address >= kIoStart && address < kIoEnd && io_visible()) {
        write_io(address, value);
    } else {
        ram_[address] = value;
    }
}

uint8_t C64Machine::read_io(uint16_t address) {
    if (address < kVicEnd) return vic_.read(static_cast<uint8_t>(address), cycle_);
    if (address >= kSidStart && address < kSidEnd) return 0;
    if (address == kCia1Start + kCiaPortB && held_key_ >= 0) {
        const bool column_driven = !(cia1_.port_a_pins() & 1 << (held_key_ >> 3));
        cia1_.set_port_b_input(static_cast<uint8_t>(column_driven ? ~(1 << (held_key_ & 7)) : kNoKeyRows));
    }
    if (address >= kCia1Start && address < kCia2Start) return cia1_.read(static_cast<uint8_t>(address));
    if (address >= kCia2Start && address < kCia2End) return cia2_.read(static_cast<uint8_t>(address));
    return other_io_[address - kIoStart];
}

void C64Machine::write_io(uint16_t address, uint8_t value) {
    if (address < kVicEnd) {
        vic_.write(static_cast<uint8_t>(address), value, cycle_);
    } else if (address >= kSidStart && address < kSidEnd) {
        sid_writes_.push_back(SidWrite{cycle_, static_cast<uint8_t>(address & kSidRegisterMask), value});
    } else if (address >= kCia1Start && address < kCia2Start) {
        cia1_.write(static_cast<uint8_t>(address), value);
    } else if (address >= kCia2Start && address < kCia2End) {
        cia2_.write(static_cast<uint8_t>(address), value);
    } else {
        other_io_[address - kIoStart] = value;
    }
}
