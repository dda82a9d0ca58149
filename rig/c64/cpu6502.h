// An NMOS 6502 as found in the C64 (the 6510 minus its I/O port, which the
// machine models), after the MOS data sheets and the well-documented
// behaviour of the NMOS chip beyond them:
// - every official opcode with its cycle count, including the page-crossing
//   and branch penalties; decimal mode in ADC/SBC with the NMOS flags (N, V
//   from the sum before the high digit's adjustment, Z binary; SBC's flags
//   all binary); JMP ($xxFF) reading its high byte from $xx00;
// - the stable undocumented opcodes with their cycle counts: LAX, SAX, DCP,
//   ISC, SLO, RLA, SRE, RRA (each its two official halves in turn, decimal
//   mode included), ANC, ALR, ARR (with its own decimal mode), SBX, SBC
//   #imm at $EB, and the one-, two- and three-byte NOPs;
// - IRQ (a level, masked by I), NMI (an edge) and BRK; the interrupt poll
//   sees I as it was before a CLI, SEI or PLP, so after CLI one more
//   instruction runs before a pending IRQ is taken.
//
// Each instruction runs whole: step() performs all its bus accesses, then
// reports its cycles. Dummy reads and writes, the exact cycle of each access
// inside an instruction and the IRQ delay of a taken branch that stays in
// its page are not modelled. The unstable undocumented opcodes (XAA, LXA #,
// SHA, SHX, SHY, TAS, LAS) and the real jam opcodes stop the CPU, so a
// stray jump into data shows up instead of running on quietly.
#pragma once

#include <cstdint>

class Bus {
public:
    virtual uint8_t read(uint16_t address) = 0;
    virtual void write(uint16_t address, uint8_t value) = 0;

protected:
    ~Bus() = default;
};

enum : uint8_t {
    kFlagC = 0x01,
    kFlagZ = 0x02,
    kFlagI = 0x04,
    kFlagD = 0x08,
    kFlagB = 0x10,  // exists only in the copy of P pushed by BRK/PHP
    kFlagU = 0x20,  // always 1 when pushed
    kFlagV = 0x40,
    kFlagN = 0x80,
};

enum : uint16_t {
    kStackPage = 0x0100,
    kNmiVector = 0xFFFA,
    kResetVector = 0xFFFC,
    kIrqVector = 0xFFFE,
};

struct CpuRegisters {
    uint8_t a = 0, x = 0, y = 0;
    uint8_t s = 0xFD;
    uint8_t p = kFlagI | kFlagU;
    uint16_t pc = 0;
};

class Cpu6502 {
public:
    explicit Cpu6502(Bus& bus) : bus_(bus) {}

    // Registers as after a reset, PC from the reset vector.
    void reset();
    // One instruction, or the entry into a pending interrupt. Returns its
    // cycles (0 when jammed).
    int step();
    // Cycles the next step() will take, not counting page-crossing or branch
    // penalties; lets a scheduler stop before an instruction would overrun.
    int next_step_cycles();

    // IRQ is a level: taken between instructions while asserted and I is 0.
    void set_irq_line(bool asserted) { irq_line_ = asserted; }
    // NMI is taken once per high-to-low transition of the line.
    void set_nmi_line(bool asserted);

    CpuRegisters regs;
    bool jammed() const { return jammed_; }
    uint64_t cycles() const { return cycles_; }

private:
    enum class Mode : uint8_t;
    enum class Op : uint8_t;
    struct Opcode;
    static const Opcode& decode(uint8_t opcode);

    uint8_t fetch() { return bus_.read(regs.pc++); }
    uint16_t fetch_word();
    uint16_t operand_address(Mode mode, bool page_penalty);
    uint16_t indexed(uint16_t base, uint8_t index, bool page_penalty);
    void push(uint8_t value) { bus_.write(static_cast<uint16_t>(kStackPage | regs.s--), value); }
    uint8_t pull() { return bus_.read(static_cast<uint16_t>(kStackPage | ++regs.s)); }
    void enter_interrupt(uint16_t vector, uint16_t return_address, bool from_brk);

    void set_nz(uint8_t value);
    void set_flag(uint8_t flag, bool on);
    void add(uint8_t operand);
    void subtract(uint8_t operand);
    void compare(uint8_t reg, uint8_t operand);
    uint8_t shift(Op op, uint8_t value);
    void and_rotate_right(uint8_t operand);
    void branch(bool taken);
    bool irq_wanted() const;
    void change_i_late(bool now_set);
    void execute(const Opcode& op);

    Bus& bus_;
    bool irq_line_ = false;
    bool nmi_line_ = false;
    bool nmi_pending_ = false;
    bool poll_sees_old_i_ = false;  // the last instruction was CLI, SEI or PLP changing I
    bool old_i_ = false;
    bool jammed_ = false;
    int penalty_ = 0;  // extra cycles of the instruction being executed
    uint64_t cycles_ = 0;
};
