#include "rig/c64/cpu6502.h"

#include <array>

enum class Cpu6502::Mode : uint8_t {
    Implied, Accumulator, Immediate, ZeroPage, ZeroPageX, ZeroPageY, Absolute,
    AbsoluteX, AbsoluteY, IndirectX, IndirectY, Relative, Indirect,
};

enum class Cpu6502::Op : uint8_t {
    Jam, ADC, AND, ASL, BCC, BCS, BEQ, BIT, BMI, BNE, BPL, BRK, BVC, BVS, CLC, CLD,
    CLI, CLV, CMP, CPX, CPY, DEC, DEX, DEY, EOR, INC, INX, INY, JMP, JSR, LDA, LDX,
    LDY, LSR, NOP, ORA, PHA, PHP, PLA, PLP, ROL, ROR, RTI, RTS, SBC, SEC, SED, SEI,
    STA, STX, STY, TAX, TAY, TSX, TXA, TXS, TYA,
    // the stable undocumented ones
    LAX, SAX, DCP, ISC, SLO, RLA, SRE, RRA, ANC, ALR, ARR, SBX,
};

struct Cpu6502::Opcode {
    Op op = Op::Jam;
    Mode mode = Mode::Implied;
    uint8_t cycles = 0;
};


const Cpu6502::Opcode& Cpu6502::decode(uint8_t opcode) {
    using O = Op;
    using M = Mode;
    struct Row {
        uint8_t code;
        Op op;
        Mode mode;
        uint8_t cycles;
    };
    // Base cycles; reads through AbsoluteX/AbsoluteY/IndirectY add one on a
    // page crossing, taken branches add one (two across a page).
    static const Row rows[] = {
        {0x69, O::ADC, M::Immediate, 2}, {0x65, O::ADC, M::ZeroPage, 3}, {0x75, O::ADC, M::ZeroPageX, 4},
        {0x6D, O::ADC, M::Absolute, 4}, {0x7D, O::ADC, M::AbsoluteX, 4}, {0x79, O::ADC, M::AbsoluteY, 4},
        {0x61, O::ADC, M::IndirectX, 6}, {0x71, O::ADC, M::IndirectY, 5},
        {0x29, O::AND, M::Immediate, 2}, {0x25, O::AND, M::ZeroPage, 3}, {0x35, O::AND, M::ZeroPageX, 4},
        {0x2D, O::AND, M::Absolute, 4}, {0x3D, O::AND, M::AbsoluteX, 4}, {0x39, O::AND, M::AbsoluteY, 4},
        {0x21, O::AND, M::IndirectX, 6}, {0x31, O::AND, M::IndirectY, 5},
        {0x0A, O::ASL, M::Accumulator, 2}, {0x06, O::ASL, M::ZeroPage, 5}, {0x16, O::ASL, M::ZeroPageX, 6},
        {0x0E, O::ASL, M::Absolute, 6}, {0x1E, O::ASL, M::AbsoluteX, 7},
        {0x90, O::BCC, M::Relative, 2}, {0xB0, O::BCS, M::Relative, 2}, {0xF0, O::BEQ, M::Relative, 2},
        {0x30, O::BMI, M::Relative, 2}, {0xD0, O::BNE, M::Relative, 2}, {0x10, O::BPL, M::Relative, 2},
        {0x50, O::BVC, M::Relative, 2}, {0x70, O::BVS, M::Relative, 2},
        {0x24, O::BIT, M::ZeroPage, 3}, {0x2C, O::BIT, M::Absolute, 4},
        {0x00, O::BRK, M::Implied, 7},
        {0x18, O::CLC, M::Implied, 2}, {0xD8, O::CLD, M::Implied, 2}, {0x58, O::CLI, M::Implied, 2},
        {0xB8, O::CLV, M::Implied, 2},
        {0xC9, O::CMP, M::Immediate, 2}, {0xC5, O::CMP, M::ZeroPage, 3}, {0xD5, O::CMP, M::ZeroPageX, 4},
        {0xCD, O::CMP, M::Absolute, 4}, {0xDD, O::CMP, M::AbsoluteX, 4}, {0xD9, O::CMP, M::AbsoluteY, 4},
        {0xC1, O::CMP, M::IndirectX, 6}, {0xD1, O::CMP, M::IndirectY, 5},
        {0xE0, O::CPX, M::Immediate, 2}, {0xE4, O::CPX, M::ZeroPage, 3}, {0xEC, O::CPX, M::Absolute, 4},
        {0xC0, O::CPY, M::Immediate, 2}, {0xC4, O::CPY, M::ZeroPage, 3}, {0xCC, O::CPY, M::Absolute, 4},
        {0xC6, O::DEC, M::ZeroPage, 5}, {0xD6, O::DEC, M::ZeroPageX, 6}, {0xCE, O::DEC, M::Absolute, 6},
        {0xDE, O::DEC, M::AbsoluteX, 7},
        {0xCA, O::DEX, M::Implied, 2}, {0x88, O::DEY, M::Implied, 2},
        {0x49, O::EOR, M::Immediate, 2}, {0x45, O::EOR, M::ZeroPage, 3}, {0x55, O::EOR, M::ZeroPageX, 4},
        {0x4D, O::EOR, M::Absolute, 4}, {0x5D, O::EOR, M::AbsoluteX, 4}, {0x59, O::EOR, M::AbsoluteY, 4},
        {0x41, O::EOR, M::IndirectX, 6}, {0x51, O::EOR, M::IndirectY, 5},
        {0xE6, O::INC, M::ZeroPage, 5}, {0xF6, O::INC, M::ZeroPageX, 6}, {0xEE, O::INC, M::Absolute, 6},
        {0xFE, O::INC, M::AbsoluteX, 7},
        {0xE8, O::INX, M::Implied, 2}, {0xC8, O::INY, M::Implied, 2},
        {0x4C, O::JMP, M::Absolute, 3}, {0x6C, O::JMP, M::Indirect, 5}, {0x20, O::JSR, M::Absolute, 6},
        {0xA9, O::LDA, M::Immediate, 2}, {0xA5, O::LDA, M::ZeroPage, 3}, {0xB5, O::LDA, M::ZeroPageX, 4},
        {0xAD, O::LDA, M::Absolute, 4}, {0xBD, O::LDA, M::AbsoluteX, 4}, {0xB9, O::LDA, M::AbsoluteY, 4},
        {0xA1, O::LDA, M::IndirectX, 6}, {0xB1, O::LDA, M::IndirectY, 5},
        {0xA2, O::LDX, M::Immediate, 2}, {0xA6, O::LDX, M::ZeroPage, 3}, {0xB6, O::LDX, M::ZeroPageY, 4},
        {0xAE, O::LDX, M::Absolute, 4}, {0xBE, O::LDX, M::AbsoluteY, 4},
        {0xA0, O::LDY, M::Immediate, 2}, {0xA4, O::LDY, M::ZeroPage, 3}, {0xB4, O::LDY, M::ZeroPageX, 4},
        {0xAC, O::LDY, M::Absolute, 4}, {0xBC, O::LDY, M::AbsoluteX, 4},
        {0x4A, O::LSR, M::Accumulator, 2}, {0x46, O::LSR, M::ZeroPage, 5}, {0x56, O::LSR, M::ZeroPageX, 6},
        {0x4E, O::LSR, M::Absolute, 6}, {0x5E, O::LSR, M::AbsoluteX, 7},
        {0xEA, O::NOP, M::Implied, 2},
        {0x09, O::ORA, M::Immediate, 2}, {0x05, O::ORA, M::ZeroPage, 3}, {0x15, O::ORA, M::ZeroPageX, 4},
        {0x0D, O::ORA, M::Absolute, 4}, {0x1D, O::ORA, M::AbsoluteX, 4}, {0x19, O::ORA, M::AbsoluteY, 4},
        {0x01, O::ORA, M::IndirectX, 6}, {0x11, O::ORA, M::IndirectY, 5},
        {0x48, O::PHA, M::Implied, 3}, {0x08, O::PHP, M::Implied, 3}, {0x68, O::PLA, M::Implied, 4},
        {0x28, O::PLP, M::Implied, 4},
        {0x2A, O::ROL, M::Accumulator, 2}, {0x26, O::ROL, M::ZeroPage, 5}, {0x36, O::ROL, M::ZeroPageX, 6},
        {0x2E, O::ROL, M::Absolute, 6}, {0x3E, O::ROL, M::AbsoluteX, 7},
        {0x6A, O::ROR, M::Accumulator, 2}, {0x66, O::ROR, M::ZeroPage, 5}, {0x76, O::ROR, M::ZeroPageX, 6},
        {0x6E, O::ROR, M::Absolute, 6}, {0x7E, O::ROR, M::AbsoluteX, 7},
        {0x40, O::RTI, M::Implied, 6}, {0x60, O::RTS, M::Implied, 6},
        {0xE9, O::SBC, M::Immediate, 2}, {0xE5, O::SBC, M::ZeroPage, 3}, {0xF5, O::SBC, M::ZeroPageX, 4},
        {0xED, O::SBC, M::Absolute, 4}, {0xFD, O::SBC, M::AbsoluteX, 4}, {0xF9, O::SBC, M::AbsoluteY, 4},
        {0xE1, O::SBC, M::IndirectX, 6}, {0xF1, O::SBC, M::IndirectY, 5},
        {0x38, O::SEC, M::Implied, 2}, {0xF8, O::SED, M::Implied, 2}, {0x78, O::SEI, M::Implied, 2},
        {0x85, O::STA, M::ZeroPage, 3}, {0x95, O::STA, M::ZeroPageX, 4}, {0x8D, O::STA, M::Absolute, 4},
        {0x9D, O::STA, M::AbsoluteX, 5}, {0x99, O::STA, M::AbsoluteY, 5}, {0x81, O::STA, M::IndirectX, 6},
        {0x91, O::STA, M::IndirectY, 6},
        {0x86, O::STX, M::ZeroPage, 3}, {0x96, O::STX, M::ZeroPageY, 4}, {0x8E, O::STX, M::Absolute, 4},
        {0x84, O::STY, M::ZeroPage, 3}, {0x94, O::STY, M::ZeroPageX, 4}, {0x8C, O::STY, M::Absolute, 4},
        {0xAA, O::TAX, M::Implied, 2}, {0xA8, O::TAY, M::Implied, 2}, {0xBA, O::TSX, M::Implied, 2},
        {0x8A, O::TXA, M::Implied, 2}, {0x9A, O::TXS, M::Implied, 2}, {0x98, O::TYA, M::Implied, 2},

        // Undocumented: the NMOS decoder runs a group 1 and a group 2
        // instruction at once for opcodes ending in binary 11. Read-modify-
        // write forms never take a page-crossing penalty; LAX reads do.
        {0xA7, O::LAX, M::ZeroPage, 3}, {0xB7, O::LAX, M::ZeroPageY, 4}, {0xAF, O::LAX, M::Absolute, 4},
        {0xBF, O::LAX, M::AbsoluteY, 4}, {0xA3, O::LAX, M::IndirectX, 6}, {0xB3, O::LAX, M::IndirectY, 5},
        {0x87, O::SAX, M::ZeroPage, 3}, {0x97, O::SAX, M::ZeroPageY, 4}, {0x8F, O::SAX, M::Absolute, 4},
        {0x83, O::SAX, M::IndirectX, 6},
        {0x07, O::SLO, M::ZeroPage, 5}, {0x17, O::SLO, M::ZeroPageX, 6}, {0x0F, O::SLO, M::Absolute, 6},
        {0x1F, O::SLO, M::AbsoluteX, 7}, {0x1B, O::SLO, M::AbsoluteY, 7}, {0x03, O::SLO, M::IndirectX, 8},
        {0x13, O::SLO, M::IndirectY, 8},
        {0x27, O::RLA, M::ZeroPage, 5}, {0x37, O::RLA, M::ZeroPageX, 6}, {0x2F, O::RLA, M::Absolute, 6},
        {0x3F, O::RLA, M::AbsoluteX, 7}, {0x3B, O::RLA, M::AbsoluteY, 7}, {0x23, O::RLA, M::IndirectX, 8},
        {0x33, O::RLA, M::IndirectY, 8},
        {0x47, O::SRE, M::ZeroPage, 5}, {0x57, O::SRE, M::ZeroPageX, 6}, {0x4F, O::SRE, M::Absolute, 6},
        {0x5F, O::SRE, M::AbsoluteX, 7}, {0x5B, O::SRE, M::AbsoluteY, 7}, {0x43, O::SRE, M::IndirectX, 8},
        {0x53, O::SRE, M::IndirectY, 8},
        {0x67, O::RRA, M::ZeroPage, 5}, {0x77, O::RRA, M::ZeroPageX, 6}, {0x6F, O::RRA, M::Absolute, 6},
        {0x7F, O::RRA, M::AbsoluteX, 7}, {0x7B, O::RRA, M::AbsoluteY, 7}, {0x63, O::RRA, M::IndirectX, 8},
        {0x73, O::RRA, M::IndirectY, 8},
        {0xC7, O::DCP, M::ZeroPage, 5}, {0xD7, O::DCP, M::ZeroPageX, 6}, {0xCF, O::DCP, M::Absolute, 6},
        {0xDF, O::DCP, M::AbsoluteX, 7}, {0xDB, O::DCP, M::AbsoluteY, 7}, {0xC3, O::DCP, M::IndirectX, 8},
        {0xD3, O::DCP, M::IndirectY, 8},
        {0xE7, O::ISC, M::ZeroPage, 5}, {0xF7, O::ISC, M::ZeroPageX, 6}, {0xEF, O::ISC, M::Absolute, 6},
        {0xFF, O::ISC, M::AbsoluteX, 7}, {0xFB, O::ISC, M::AbsoluteY, 7}, {0xE3, O::ISC, M::IndirectX, 8},
        {0xF3, O::ISC, M::IndirectY, 8},
        {0x0B, O::ANC, M::Immediate, 2}, {0x2B, O::ANC, M::Immediate, 2}, {0x4B, O::ALR, M::Immediate, 2},
        {0x6B, O::ARR, M::Immediate, 2}, {0xCB, O::SBX, M::Immediate, 2}, {0xEB, O::SBC, M::Immediate, 2},
        // NOPs that fetch their operand (and read it, like any load)
        {0x1A, O::NOP, M::Implied, 2}, {0x3A, O::NOP, M::Implied, 2}, {0x5A, O::NOP, M::Implied, 2},
        {0x7A, O::NOP, M::Implied, 2}, {0xDA, O::NOP, M::Implied, 2}, {0xFA, O::NOP, M::Implied, 2},
        {0x80, O::NOP, M::Immediate, 2}, {0x82, O::NOP, M::Immediate, 2}, {0x89, O::NOP, M::Immediate, 2},
        {0xC2, O::NOP, M::Immediate, 2}, {0xE2, O::NOP, M::Immediate, 2},
        {0x04, O::NOP, M::ZeroPage, 3}, {0x44, O::NOP, M::ZeroPage, 3}, {0x64, O::NOP, M::ZeroPage, 3},
        {0x14, O::NOP, M::ZeroPageX, 4}, {0x34, O::NOP, M::ZeroPageX, 4}, {0x54, O::NOP, M::ZeroPageX, 4},
        {0x74, O::NOP, M::ZeroPageX, 4}, {0xD4, O::NOP, M::ZeroPageX, 4}, {0xF4, O::NOP, M::ZeroPageX, 4},
        {0x0C, O::NOP, M::Absolute, 4},
        {0x1C, O::NOP, M::AbsoluteX, 4}, {0x3C, O::NOP, M::AbsoluteX, 4}, {0x5C, O::NOP, M::AbsoluteX, 4},
        {0x7C, O::NOP, M::AbsoluteX, 4}, {0xDC, O::NOP, M::AbsoluteX, 4}, {0xFC, O::NOP, M::AbsoluteX, 4},
    };
    static const std::array<Opcode, 256> table = [] {
        std::array<Opcode, 256> t{};
        for (const Row& r : rows) t[r.code] = Opcode{r.op, r.mode, r.cycles};
        return t;
    }();
    return table[opcode];
}

void Cpu6502::reset() {
    regs = CpuRegisters{};
    regs.pc = static_cast<uint16_t>(bus_.read(kResetVector) | bus_.read(kResetVector + 1) << 8);
    jammed_ = false;
    nmi_pending_ = false;
    cycles_ += 7;
}

void Cpu6502::set_nmi_line(bool asserted) {
    if (asserted && !nmi_line_) nmi_pending_ = true;
    nmi_line_ = asserted;
}

// CLI, SEI and PLP change I after the CPU has polled for interrupts in
// their last cycle, so the poll before the next instruction still sees the
// old I: after a CLI one more instruction runs before a pending IRQ. RTI
// restores I in time for its own poll.
bool Cpu6502::irq_wanted() const {
    const bool masked = poll_sees_old_i_ ? old_i_ : (regs.p & kFlagI) != 0;
    return irq_line_ && !masked;
}

void Cpu6502::change_i_late(bool now_set) {
    const bool was_set = regs.p & kFlagI;
    if (was_set != now_set) {
        poll_sees_old_i_ = true;
        old_i_ = was_set;
    }
}

int Cpu6502::next_step_cycles() {
    if (jammed_) return 0;
    if (nmi_pending_ || irq_wanted()) return 7;
    const Opcode& next = decode(bus_.read(regs.pc));
    if (next.op == Op::Jam) jammed_ = true;  // it would jam on its first cycle
    return next.cycles;
}

int Cpu6502::step() {
    if (jammed_) return 0;
    const bool take_irq = irq_wanted();
    poll_sees_old_i_ = false;
    if (nmi_pending_) {
        nmi_pending_ = false;
        enter_interrupt(kNmiVector, regs.pc, false);
        cycles_ += 7;
        return 7;
    }
    if (take_irq) {
        enter_interrupt(kIrqVector, regs.pc, false);
        cycles_ += 7;
        return 7;
    }
    const Opcode& op = decode(fetch());
    if (op.op == Op::Jam) {
        jammed_ = true;
        --regs.pc;
        return 0;
    }
    penalty_ = 0;
    execute(op);
    const int taken = op.cycles + penalty_;
    cycles_ += static_cast<uint64_t>(taken);
    return taken;
}

uint16_t Cpu6502::fetch_word() {
    const uint8_t low = fetch();
    return static_cast<uint16_t>(low | fetch() << 8);
}

uint16_t Cpu6502::indexed(uint16_t base, uint8_t index, bool page_penalty) {
    const uint16_t address = static_cast<uint16_t>(base + index);
    if (page_penalty && (address & 0xFF00) != (base & 0xFF00)) ++penalty_;
    return address;
}

// Zero-page indexing and zero-page pointers wrap within page zero.
uint16_t Cpu6502::operand_address(Mode mode, bool page_penalty) {
    switch (mode) {
    case Mode::Immediate: return regs.pc++;
    case Mode::ZeroPage: return fetch();
    case Mode::ZeroPageX: return static_cast<uint8_t>(fetch() + regs.x);
    case Mode::ZeroPageY: return static_cast<uint8_t>(fetch() + regs.y);
    case Mode::Absolute: return fetch_word();
    case Mode::AbsoluteX: return indexed(fetch_word(), regs.x, page_penalty);
    case Mode::AbsoluteY: return indexed(fetch_word(), regs.y, page_penalty);
    case Mode::IndirectX: {
        const uint8_t pointer = static_cast<uint8_t>(fetch() + regs.x);
        return static_cast<uint16_t>(bus_.read(pointer) | bus_.read(static_cast<uint8_t>(pointer + 1)) << 8);
    }
    case Mode::IndirectY: {
        const uint8_t pointer = fetch();
        const uint16_t base =
            static_cast<uint16_t>(bus_.read(pointer) | bus_.read(static_cast<uint8_t>(pointer + 1)) << 8);
        return indexed(base, regs.y, page_penalty);
    }
    case Mode::Indirect: {
        // NMOS: the pointer's high byte is read from the same page, so
        // JMP ($10FF) takes its high byte from $1000.
        const uint16_t pointer = fetch_word();
        const uint16_t high_at = static_cast<uint16_t>((pointer & 0xFF00) | ((pointer + 1) & 0x00FF));
        return static_cast<uint16_t>(bus_.read(pointer) | bus_.read(high_at) << 8);
    }
    case Mode::Implied:
    case Mode::Accumulator:
    case Mode::Relative: break;
    }
    return 0;
}

void Cpu6502::enter_interrupt(uint16_t vector, uint16_t return_address, bool from_brk) {
    push(static_cast<uint8_t>(return_address >> 8));
    push(static_cast<uint8_t>(return_address));
    push(static_cast<uint8_t>(regs.p | kFlagU | (from_brk ? kFlagB : 0)));
    regs.p |= kFlagI;  // the NMOS part leaves D alone
    regs.pc = static_cast<uint16_t>(bus_.read(vector) | bus_.read(static_cast<uint16_t>(vector + 1)) << 8);
}

void Cpu6502::set_flag(uint8_t flag, bool on) {
    regs.p = static_cast<uint8_t>(on ? (regs.p | flag) : (regs.p & ~flag));
}

void Cpu6502::set_nz(uint8_t value) {
    set_flag(kFlagZ, value == 0);
    set_flag(kFlagN, value & 0x80);
}

// Decimal mode as on the NMOS 6502: the nibbles are adjusted one by one;
// N and V come from the sum before the high nibble's adjustment, Z from the
// plain binary sum.
void Cpu6502::add(uint8_t operand) {
    const int a = regs.a;
    const int carry = regs.p & kFlagC;
    const int binary = a + operand + carry;
    if (!(regs.p & kFlagD)) {
        set_flag(kFlagC, binary > 0xFF);
        set_flag(kFlagV, ~(a ^ operand) & (a ^ binary) & 0x80);
        regs.a = static_cast<uint8_t>(binary);
        set_nz(regs.a);
        return;
    }
    int low = (a & 0x0F) + (operand & 0x0F) + carry;
    if (low >= 0x0A) low = ((low + 0x06) & 0x0F) + 0x10;
    int sum = (a & 0xF0) + (operand & 0xF0) + low;
    set_flag(kFlagN, sum & 0x80);
    set_flag(kFlagV, ~(a ^ operand) & (a ^ sum) & 0x80);
    if (sum >= 0xA0) sum += 0x60;
    set_flag(kFlagC, sum >= 0x100);
    set_flag(kFlagZ, (binary & 0xFF) == 0);
    regs.a = static_cast<uint8_t>(sum);
}

// On the NMOS 6502 every flag of a decimal SBC is the binary one; only the
// result is adjusted.
void Cpu6502::subtract(uint8_t operand) {
    const int a = regs.a;
    const int borrow = (regs.p & kFlagC) ? 0 : 1;
    const int binary = a - operand - borrow;
    set_flag(kFlagC, binary >= 0);
    set_flag(kFlagV, (a ^ operand) & (a ^ binary) & 0x80);
    set_nz(static_cast<uint8_t>(binary));
    if (!(regs.p & kFlagD)) {
        regs.a = static_cast<uint8_t>(binary);
        return;
    }
    int low = (a & 0x0F) - (operand & 0x0F) - borrow;
    if (low < 0) low = ((low - 0x06) & 0x0F) - 0x10;
    int difference = (a & 0xF0) - (operand & 0xF0) + low;
    if (difference < 0) difference -= 0x60;
    regs.a = static_cast<uint8_t>(difference);
}

void Cpu6502::compare(uint8_t reg, uint8_t operand) {
    set_flag(kFlagC, reg >= operand);
    set_nz(static_cast<uint8_t>(reg - operand));
}

uint8_t Cpu6502::shift(Op op, uint8_t value) {
    const uint8_t carry_in = regs.p & kFlagC;
    uint8_t result = 0;
    switch (op) {
    case Op::ASL: set_flag(kFlagC, value & 0x80); result = static_cast<uint8_t>(value << 1); break;
    case Op::LSR: set_flag(kFlagC, value & 0x01); result = static_cast<uint8_t>(value >> 1); break;
    case Op::ROL:
        set_flag(kFlagC, value & 0x80);
        result = static_cast<uint8_t>(value << 1 | carry_in);
        break;
    default:  // ROR
        set_flag(kFlagC, value & 0x01);
        result = static_cast<uint8_t>(value >> 1 | carry_in << 7);
        break;
    }
    set_nz(result);
    return result;
}

void Cpu6502::branch(bool taken) {
    const int8_t offset = static_cast<int8_t>(fetch());
    if (!taken) return;
    const uint16_t target = static_cast<uint16_t>(regs.pc + offset);
    penalty_ += (target & 0xFF00) != (regs.pc & 0xFF00) ? 2 : 1;
    regs.pc = target;
}

void Cpu6502::execute(const Opcode& code) {
    const Mode mode = code.mode;
    auto address = [&](bool page_penalty) { return operand_address(mode, page_penalty); };
    auto operand = [&] { return bus_.read(address(true)); };
    auto modify = [&](auto&& change) {
        if (mode == Mode::Accumulator) {
            regs.a = change(regs.a);
            return;
        }
        const uint16_t at = address(false);
        bus_.write(at, change(bus_.read(at)));
    };
    // A shift or rotate of memory whose result then feeds `then`.
    auto combined = [&](Op shift_op, auto&& then) {
        return [this, shift_op, then](uint8_t v) {
            const uint8_t m = shift(shift_op, v);
            then(m);
            return m;
        };
    };
    auto step_by = [&](int delta) {
        return [this, delta](uint8_t v) {
            const uint8_t r = static_cast<uint8_t>(v + delta);
            set_nz(r);
            return r;
        };
    };
    auto load = [&](uint8_t& reg) {
        reg = operand();
        set_nz(reg);
    };
    auto transfer = [&](uint8_t from, uint8_t& to) {
        to = from;
        set_nz(to);
    };

    switch (code.op) {
    case Op::ADC: add(operand()); break;
    case Op::SBC: subtract(operand()); break;
    case Op::AND: regs.a &= operand(); set_nz(regs.a); break;
    case Op::ORA: regs.a |= operand(); set_nz(regs.a); break;
    case Op::EOR: regs.a ^= operand(); set_nz(regs.a); break;
    case Op::CMP: compare(regs.a, operand()); break;
    case Op::CPX: compare(regs.x, operand()); break;
    case Op::CPY: compare(regs.y, operand()); break;
    case Op::BIT: {
        const uint8_t m = operand();
        set_flag(kFlagZ, (regs.a & m) == 0);
        set_flag(kFlagN, m & 0x80);
        set_flag(kFlagV, m & 0x40);
        break;
    }
    case Op::ASL:
    case Op::LSR:
    case Op::ROL:
    case Op::ROR: modify([&](uint8_t v) { return shift(code.op, v); }); break;
    case Op::INC: modify(step_by(1)); break;
    case Op::DEC: modify(step_by(-1)); break;
    case Op::INX: regs.x = step_by(1)(regs.x); break;
    case Op::INY: regs.y = step_by(1)(regs.y); break;
    case Op::DEX: regs.x = step_by(-1)(regs.x); break;
    case Op::DEY: regs.y = step_by(-1)(regs.y); break;
    case Op::LDA: load(regs.a); break;
    case Op::LDX: load(regs.x); break;
    case Op::LDY: load(regs.y); break;
    case Op::STA: bus_.write(address(false), regs.a); break;
    case Op::STX: bus_.write(address(false), regs.x); break;
    case Op::STY: bus_.write(address(false), regs.y); break;
    case Op::TAX: transfer(regs.a, regs.x); break;
    case Op::TAY: transfer(regs.a, regs.y); break;
    case Op::TXA: transfer(regs.x, regs.a); break;
    case Op::TYA: transfer(regs.y, regs.a); break;
    case Op::TSX: transfer(regs.s, regs.x); break;
    case Op::TXS: regs.s = regs.x; break;  // the one transfer without flags
    case Op::PHA: push(regs.a); break;
    case Op::PHP: push(static_cast<uint8_t>(regs.p | kFlagB | kFlagU)); break;
    case Op::PLA: regs.a = pull(); set_nz(regs.a); break;
    case Op::PLP: {
        const uint8_t pulled = pull();
        change_i_late(pulled & kFlagI);
        regs.p = static_cast<uint8_t>((pulled & ~kFlagB) | kFlagU);
        break;
    }
    case Op::BCC: branch(!(regs.p & kFlagC)); break;
    case Op::BCS: branch(regs.p & kFlagC); break;
    case Op::BNE: branch(!(regs.p & kFlagZ)); break;
    case Op::BEQ: branch(regs.p & kFlagZ); break;
    case Op::BPL: branch(!(regs.p & kFlagN)); break;
    case Op::BMI: branch(regs.p & kFlagN); break;
    case Op::BVC: branch(!(regs.p & kFlagV)); break;
    case Op::BVS: branch(regs.p & kFlagV); break;
    case Op::CLC: set_flag(kFlagC, false); break;
    case Op::SEC: set_flag(kFlagC, true); break;
    case Op::CLI: change_i_late(false); set_flag(kFlagI, false); break;
    case Op::SEI: change_i_late(true); set_flag(kFlagI, true); break;
    case Op::CLD: set_flag(kFlagD, false); break;
    case Op::SED: set_flag(kFlagD, true); break;
    case Op::CLV: set_flag(kFlagV, false); break;
    case Op::NOP: if (mode != Mode::Implied) operand(); break;
    case Op::JMP: regs.pc = address(false); break;
    case Op::JSR: {
        const uint16_t target = fetch_word();
        const uint16_t last_byte = static_cast<uint16_t>(regs.pc - 1);  // RTS adds the one back
        push(static_cast<uint8_t>(last_byte >> 8));
        push(static_cast<uint8_t>(last_byte));
        regs.pc = target;
        break;
    }
    case Op::RTS: {
        const uint8_t low = pull();
        regs.pc = static_cast<uint16_t>((low | pull() << 8) + 1);
        break;
    }
    case Op::RTI: {
        regs.p = static_cast<uint8_t>((pull() & ~kFlagB) | kFlagU);
        const uint8_t low = pull();
        regs.pc = static_cast<uint16_t>(low | pull() << 8);
        break;
    }
    case Op::BRK: enter_interrupt(kIrqVector, static_cast<uint16_t>(regs.pc + 1), true); break;
    // The undocumented ones: each does what its two halves do in turn.
    case Op::LAX: load(regs.a); regs.x = regs.a; break;
    case Op::SAX: bus_.write(address(false), regs.a & regs.x); break;
    case Op::SLO: modify(combined(Op::ASL, [&](uint8_t m) { regs.a |= m; set_nz(regs.a); })); break;
    case Op::RLA: modify(combined(Op::ROL, [&](uint8_t m) { regs.a &= m; set_nz(regs.a); })); break;
    case Op::SRE: modify(combined(Op::LSR, [&](uint8_t m) { regs.a ^= m; set_nz(regs.a); })); break;
    case Op::RRA: modify(combined(Op::ROR, [&](uint8_t m) { add(m); })); break;
    case Op::DCP:
        modify([&](uint8_t v) {
            const uint8_t m = static_cast<uint8_t>(v - 1);
            compare(regs.a, m);
            return m;
        });
        break;
    case Op::ISC:
        modify([&](uint8_t v) {
            const uint8_t m = static_cast<uint8_t>(v + 1);
            subtract(m);
            return m;
        });
        break;
    case Op::ANC:
        regs.a &= operand();
        set_nz(regs.a);
        set_flag(kFlagC, regs.a & 0x80);
        break;
    case Op::ALR: regs.a = shift(Op::LSR, regs.a & operand()); break;
    case Op::ARR: and_rotate_right(operand()); break;
    case Op::SBX: {
        const uint8_t masked = regs.a & regs.x, m = operand();
        set_flag(kFlagC, masked >= m);  // a compare: D and V play no part
        regs.x = static_cast<uint8_t>(masked - m);
        set_nz(regs.x);
        break;
    }
    case Op::Jam: break;
    }
}

// ARR: AND, then ROR A, with flags of its own. In binary mode C is bit 6
// of the result and V is bit 6 xor bit 5. In decimal mode N is the carry
// rotated in, Z and V as in binary (V: bit 6 changed by the rotation), and
// the result is adjusted per nibble from the ANDed value, the high
// nibble's adjustment deciding C - the NMOS chip's documented behaviour.
void Cpu6502::and_rotate_right(uint8_t operand) {
    const uint8_t t = regs.a & operand;
    const uint8_t carry_in = regs.p & kFlagC;
    uint8_t result = static_cast<uint8_t>(t >> 1 | carry_in << 7);
    set_nz(result);
    if (!(regs.p & kFlagD)) {
        set_flag(kFlagC, result & 0x40);
        set_flag(kFlagV, ((result >> 6) ^ (result >> 5)) & 1);
        regs.a = result;
        return;
    }
    set_flag(kFlagV, (t ^ result) & 0x40);
    const int low = t & 0x0F, high = t >> 4;
    if (low + (low & 1) > 5) result = static_cast<uint8_t>((result & 0xF0) | ((result + 6) & 0x0F));
    const bool carry = high + (high & 1) > 5;
    if (carry) result = static_cast<uint8_t>(result + 0x60);
    set_flag(kFlagC, carry);
    regs.a = result;
}
