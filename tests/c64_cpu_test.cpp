// The 6502 core against references written here: opcodes are derived from
// the instruction set's bit pattern (aaabbbcc), not copied from the core's
// table, and results come from plain integer arithmetic.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "rig/c64/cpu6502.h"

namespace {

struct Ram final : Bus {
    std::array<uint8_t, 0x10000> bytes{};
    uint8_t read(uint16_t a) override { return bytes[a]; }
    void write(uint16_t a, uint8_t v) override { bytes[a] = v; }
};

constexpr uint16_t kCodeAt = 0x0200;

struct CpuOnRam {
    Ram ram;
    Cpu6502 cpu{ram};
    CpuOnRam() {
        cpu.regs.pc = kCodeAt;
        cpu.regs.s = 0xFF;
    }
    void code(std::vector<uint8_t> bytes, uint16_t at = kCodeAt) {
        for (uint8_t b : bytes) ram.bytes[at++] = b;
    }
    void vector(uint16_t at, uint16_t target) {
        ram.bytes[at] = static_cast<uint8_t>(target);
        ram.bytes[at + 1] = static_cast<uint8_t>(target >> 8);
    }
};

// ---------------------------------------------------------------- operands

enum class Mode { Imm, Zp, ZpX, ZpY, Abs, AbsX, AbsY, IndX, IndY, Acc };
enum class Kind { Read, Store, Modify };

int length_of(Mode m) { return m == Mode::Acc ? 1 : (m == Mode::Abs || m == Mode::AbsX || m == Mode::AbsY) ? 3 : 2; }

int base_cycles(Mode m, Kind k) {
    switch (m) {
    case Mode::Acc: return 2;
    case Mode::Imm: return 2;
    case Mode::Zp: return k == Kind::Modify ? 5 : 3;
    case Mode::ZpX:
    case Mode::ZpY: return k == Kind::Modify ? 6 : 4;
    case Mode::Abs: return k == Kind::Modify ? 6 : 4;
    case Mode::AbsX:
    case Mode::AbsY: return k == Kind::Modify ? 7 : k == Kind::Store ? 5 : 4;
    case Mode::IndX: return 6;
    case Mode::IndY: return k == Kind::Store ? 6 : 5;
    }
    return 0;
}

// Puts the instruction at kCodeAt and arranges registers and pointers so
// that it addresses one byte; `cross` picks the variant that crosses a page
// (indexed absolute, (zp),Y) or wraps in page zero (zp,X, zp,Y, (zp,X)).
// Returns that byte's address (0xFFFF for the accumulator).
uint16_t place(CpuOnRam& r, uint8_t opcode, Mode m, bool cross) {
    r.code({opcode, 0x40, 0x12});
    switch (m) {
    case Mode::Acc: return 0xFFFF;
    case Mode::Imm: return kCodeAt + 1;
    case Mode::Zp: return 0x40;
    case Mode::ZpX: r.cpu.regs.x = cross ? 0xD0 : 0x05; return static_cast<uint8_t>(0x40 + r.cpu.regs.x);
    case Mode::ZpY: r.cpu.regs.y = cross ? 0xD0 : 0x05; return static_cast<uint8_t>(0x40 + r.cpu.regs.y);
    case Mode::Abs: return 0x1240;
    case Mode::AbsX: r.cpu.regs.x = cross ? 0xC0 : 0x05; return static_cast<uint16_t>(0x1240 + r.cpu.regs.x);
    case Mode::AbsY: r.cpu.regs.y = cross ? 0xC0 : 0x05; return static_cast<uint16_t>(0x1240 + r.cpu.regs.y);
    case Mode::IndX: {
        r.cpu.regs.x = cross ? 0xBF : 0x05;  // 0x40 + 0xBF = 0xFF: high byte from 0x00
        const uint8_t ptr = static_cast<uint8_t>(0x40 + r.cpu.regs.x);
        r.ram.bytes[ptr] = 0x34;
        r.ram.bytes[static_cast<uint8_t>(ptr + 1)] = 0x56;
        return 0x5634;
    }
    case Mode::IndY:
        r.ram.bytes[0x40] = 0xF0;
        r.ram.bytes[0x41] = 0x33;
        r.cpu.regs.y = cross ? 0x20 : 0x05;
        return static_cast<uint16_t>(0x33F0 + r.cpu.regs.y);
    }
    return 0;
}

bool penalised(Mode m, Kind k, bool cross) {
    return k == Kind::Read && cross && (m == Mode::AbsX || m == Mode::AbsY || m == Mode::IndY);
}

// The three opcode groups by their low bits cc and the addressing field bbb.
Mode group1_mode(int bbb) {
    static const Mode modes[8] = {Mode::IndX, Mode::Zp, Mode::Imm, Mode::Abs,
                                  Mode::IndY, Mode::ZpX, Mode::AbsY, Mode::AbsX};
    return modes[bbb];
}
uint8_t opcode(int aaa, int bbb, int cc) { return static_cast<uint8_t>(aaa << 5 | bbb << 2 | cc); }

// ---------------------------------------------------------------- references

struct State {
    uint8_t a, x, y, p, m;
};
using Reference = std::function<State(State)>;

uint8_t nz(uint8_t p, uint8_t v) {
    p = static_cast<uint8_t>(p & ~(kFlagN | kFlagZ));
    if (v == 0) p |= kFlagZ;
    if (v >= 0x80) p |= kFlagN;
    return p;
}
uint8_t with(uint8_t p, uint8_t flag, bool on) { return static_cast<uint8_t>(on ? p | flag : p & ~flag); }
int signed_of(uint8_t v) { return v < 0x80 ? v : v - 256; }

State ref_adc(State s) {
    const int carry = s.p & kFlagC;
    const int sum = s.a + s.m + carry;
    const int signed_sum = signed_of(s.a) + signed_of(s.m) + carry;
    s.p = with(s.p, kFlagC, sum > 255);
    s.p = with(s.p, kFlagV, signed_sum < -128 || signed_sum > 127);
    s.a = static_cast<uint8_t>(sum);
    s.p = nz(s.p, s.a);
    return s;
}
State ref_sbc(State s) {
    const int borrow = 1 - (s.p & kFlagC);
    const int difference = s.a - s.m - borrow;
    const int signed_difference = signed_of(s.a) - signed_of(s.m) - borrow;
    s.p = with(s.p, kFlagC, difference >= 0);
    s.p = with(s.p, kFlagV, signed_difference < -128 || signed_difference > 127);
    s.a = static_cast<uint8_t>(difference);
    s.p = nz(s.p, s.a);
    return s;
}
State ref_compare(State s, uint8_t reg) {
    s.p = with(s.p, kFlagC, reg >= s.m);
    s.p = nz(s.p, static_cast<uint8_t>(reg - s.m));
    return s;
}

struct Case {
    std::string name;
    uint8_t code;
    Mode mode;
    Kind kind;
    Reference ref;
};

std::vector<Case> all_operand_cases() {
    std::vector<Case> out;
    auto group = [&](const char* name, int aaa, int cc, std::vector<int> bbbs, std::function<Mode(int)> mode_of,
                     Kind kind, Reference ref) {
        for (int bbb : bbbs) out.push_back({name, opcode(aaa, bbb, cc), mode_of(bbb), kind, ref});
    };
    const std::vector<int> all8 = {0, 1, 2, 3, 4, 5, 6, 7};
    const std::vector<int> no_imm = {0, 1, 3, 4, 5, 6, 7};
    group("ORA", 0, 1, all8, group1_mode, Kind::Read, [](State s) { s.a |= s.m; s.p = nz(s.p, s.a); return s; });
    group("AND", 1, 1, all8, group1_mode, Kind::Read, [](State s) { s.a &= s.m; s.p = nz(s.p, s.a); return s; });
    group("EOR", 2, 1, all8, group1_mode, Kind::Read, [](State s) { s.a ^= s.m; s.p = nz(s.p, s.a); return s; });
    group("ADC", 3, 1, all8, group1_mode, Kind::Read, ref_adc);
    group("STA", 4, 1, no_imm, group1_mode, Kind::Store, [](State s) { s.m = s.a; return s; });
    group("LDA", 5, 1, all8, group1_mode, Kind::Read, [](State s) { s.a = s.m; s.p = nz(s.p, s.a); return s; });
    group("CMP", 6, 1, all8, group1_mode, Kind::Read, [](State s) { return ref_compare(s, s.a); });
    group("SBC", 7, 1, all8, group1_mode, Kind::Read, ref_sbc);

    // cc = 10: bbb 000 #, 001 zp, 010 A, 011 abs, 101 zp,X, 111 abs,X (Y for LDX/STX)
    auto shifts_mode = [](int bbb) {
        static const Mode m[8] = {Mode::Imm, Mode::Zp, Mode::Acc, Mode::Abs, Mode::Imm, Mode::ZpX, Mode::Imm, Mode::AbsX};
        return m[bbb];
    };
    auto x_mode = [](int bbb) {
        static const Mode m[8] = {Mode::Imm, Mode::Zp, Mode::Imm, Mode::Abs, Mode::Imm, Mode::ZpY, Mode::Imm, Mode::AbsY};
        return m[bbb];
    };
    const std::vector<int> shift_bbbs = {1, 2, 3, 5, 7};
    auto shift_ref = [](bool left, bool rotate) {
        return [=](State s) {
            const int carry_in = s.p & kFlagC;
            const uint8_t v = s.m;
            s.p = with(s.p, kFlagC, left ? v & 0x80 : v & 0x01);
            s.m = static_cast<uint8_t>(left ? (v << 1 | (rotate ? carry_in : 0))
                                            : (v >> 1 | (rotate ? carry_in << 7 : 0)));
            s.p = nz(s.p, s.m);
            return s;
        };
    };
    group("ASL", 0, 2, shift_bbbs, shifts_mode, Kind::Modify, shift_ref(true, false));
    group("ROL", 1, 2, shift_bbbs, shifts_mode, Kind::Modify, shift_ref(true, true));
    group("LSR", 2, 2, shift_bbbs, shifts_mode, Kind::Modify, shift_ref(false, false));
    group("ROR", 3, 2, shift_bbbs, shifts_mode, Kind::Modify, shift_ref(false, true));
    group("STX", 4, 2, {1, 3, 5}, x_mode, Kind::Store, [](State s) { s.m = s.x; return s; });
    group("LDX", 5, 2, {0, 1, 3, 5, 7}, x_mode, Kind::Read, [](State s) { s.x = s.m; s.p = nz(s.p, s.x); return s; });
    group("DEC", 6, 2, {1, 3, 5, 7}, shifts_mode, Kind::Modify,
          [](State s) { s.m = static_cast<uint8_t>(s.m - 1); s.p = nz(s.p, s.m); return s; });
    group("INC", 7, 2, {1, 3, 5, 7}, shifts_mode, Kind::Modify,
          [](State s) { s.m = static_cast<uint8_t>(s.m + 1); s.p = nz(s.p, s.m); return s; });

    // cc = 00: bbb 000 #, 001 zp, 011 abs, 101 zp,X, 111 abs,X
    auto y_mode = [](int bbb) {
        static const Mode m[8] = {Mode::Imm, Mode::Zp, Mode::Imm, Mode::Abs, Mode::Imm, Mode::ZpX, Mode::Imm, Mode::AbsX};
        return m[bbb];
    };
    group("BIT", 1, 0, {1, 3}, y_mode, Kind::Read, [](State s) {
        s.p = with(s.p, kFlagZ, (s.a & s.m) == 0);
        s.p = with(s.p, kFlagN, s.m & 0x80);
        s.p = with(s.p, kFlagV, s.m & 0x40);
        return s;
    });
    group("STY", 4, 0, {1, 3, 5}, y_mode, Kind::Store, [](State s) { s.m = s.y; return s; });
    group("LDY", 5, 0, {0, 1, 3, 5, 7}, y_mode, Kind::Read, [](State s) { s.y = s.m; s.p = nz(s.p, s.y); return s; });
    group("CPY", 6, 0, {0, 1, 3}, y_mode, Kind::Read, [](State s) { return ref_compare(s, s.y); });
    group("CPX", 7, 0, {0, 1, 3}, y_mode, Kind::Read, [](State s) { return ref_compare(s, s.x); });
    return out;
}

// Every instruction that takes an operand, in every addressing mode, with
// operands and carries that reach every flag, with and without a page
// crossing: result, flags, untouched registers, length and cycles.
TEST(CpuOpcodes, OperandInstructionsInEveryAddressingMode) {
    const uint8_t values[] = {0x00, 0x01, 0x3F, 0x40, 0x7F, 0x80, 0x81, 0xFF};
    int checked = 0;
    for (const Case& c : all_operand_cases()) {
        for (bool cross : {false, true}) {
            for (uint8_t a : values) {
                for (uint8_t m : values) {
                    for (uint8_t carry : {uint8_t(0), uint8_t(1)}) {
                        CpuOnRam r;
                        r.cpu.regs.x = 0x5A;
                        r.cpu.regs.y = 0xA5;
                        const uint16_t at = place(r, c.code, c.mode, cross);
                        r.cpu.regs.a = a;
                        r.cpu.regs.p = static_cast<uint8_t>(kFlagU | carry | (m & 1 ? kFlagV : 0));
                        if (c.mode == Mode::Acc) r.cpu.regs.a = m;
                        else r.ram.bytes[at] = m;
                        const State before{r.cpu.regs.a, r.cpu.regs.x, r.cpu.regs.y, r.cpu.regs.p, m};
                        State want = c.ref(before);
                        if (c.mode == Mode::Acc) want.a = want.m;
                        const int cycles = r.cpu.step();
                        const std::string where = c.name + " $" + std::to_string(c.code) + " a=" + std::to_string(a) +
                                                  " m=" + std::to_string(m) + " c=" + std::to_string(carry) +
                                                  (cross ? " crossing" : "");
                        ASSERT_EQ(r.cpu.regs.a, want.a) << where;
                        ASSERT_EQ(r.cpu.regs.x, want.x) << where;
                        ASSERT_EQ(r.cpu.regs.y, want.y) << where;
                        ASSERT_EQ(r.cpu.regs.p, want.p) << where;
                        if (c.mode != Mode::Acc && c.mode != Mode::Imm) {
                            ASSERT_EQ(r.ram.bytes[at], want.m) << where;
                        }
                        ASSERT_EQ(r.cpu.regs.pc, kCodeAt + length_of(c.mode)) << where;
                        ASSERT_EQ(cycles, base_cycles(c.mode, c.kind) + (penalised(c.mode, c.kind, cross) ? 1 : 0))
                            << where;
                        ++checked;
                    }
                }
            }
        }
    }
    // 115 with an operand; with 18 implied, 4 stack, 8 branch and 6 jump,
    // call, return and break opcodes that makes the 151 official ones.
    EXPECT_EQ(all_operand_cases().size(), 115u);
    EXPECT_GT(checked, 0);
}

// ---------------------------------------------------------------- implied

TEST(CpuOpcodes, RegisterTransfersCountersAndFlagInstructions) {
    struct Implied {
        uint8_t code;
        std::function<void(CpuRegisters&)> want;
    };
    auto set_nz = [](CpuRegisters& r, uint8_t v) { r.p = nz(r.p, v); };
    const std::vector<Implied> cases = {
        {0xAA, [&](CpuRegisters& r) { r.x = r.a; set_nz(r, r.x); }},
        {0xA8, [&](CpuRegisters& r) { r.y = r.a; set_nz(r, r.y); }},
        {0x8A, [&](CpuRegisters& r) { r.a = r.x; set_nz(r, r.a); }},
        {0x98, [&](CpuRegisters& r) { r.a = r.y; set_nz(r, r.a); }},
        {0xBA, [&](CpuRegisters& r) { r.x = r.s; set_nz(r, r.x); }},
        {0x9A, [&](CpuRegisters& r) { r.s = r.x; }},  // no flags
        {0xE8, [&](CpuRegisters& r) { ++r.x; set_nz(r, r.x); }},
        {0xC8, [&](CpuRegisters& r) { ++r.y; set_nz(r, r.y); }},
        {0xCA, [&](CpuRegisters& r) { --r.x; set_nz(r, r.x); }},
        {0x88, [&](CpuRegisters& r) { --r.y; set_nz(r, r.y); }},
        {0x18, [](CpuRegisters& r) { r.p &= ~kFlagC; }},
        {0x38, [](CpuRegisters& r) { r.p |= kFlagC; }},
        {0x58, [](CpuRegisters& r) { r.p &= ~kFlagI; }},
        {0x78, [](CpuRegisters& r) { r.p |= kFlagI; }},
        {0xB8, [](CpuRegisters& r) { r.p &= ~kFlagV; }},
        {0xD8, [](CpuRegisters& r) { r.p &= ~kFlagD; }},
        {0xF8, [](CpuRegisters& r) { r.p |= kFlagD; }},
        {0xEA, [](CpuRegisters&) {}},
    };
    for (const Implied& c : cases) {
        for (int v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            for (uint8_t p : {uint8_t(kFlagU), uint8_t(0xFF)}) {
                CpuOnRam r;
                r.code({c.code});
                r.cpu.regs.a = static_cast<uint8_t>(v);
                r.cpu.regs.x = static_cast<uint8_t>(v ^ 0x81);
                r.cpu.regs.y = static_cast<uint8_t>(v + 1);
                r.cpu.regs.s = static_cast<uint8_t>(0xFF - v);
                r.cpu.regs.p = p;
                CpuRegisters want = r.cpu.regs;
                c.want(want);
                want.pc = kCodeAt + 1;
                EXPECT_EQ(r.cpu.step(), 2) << std::hex << +c.code;
                EXPECT_EQ(r.cpu.regs.a, want.a) << std::hex << +c.code;
                EXPECT_EQ(r.cpu.regs.x, want.x) << std::hex << +c.code;
                EXPECT_EQ(r.cpu.regs.y, want.y) << std::hex << +c.code;
                EXPECT_EQ(r.cpu.regs.s, want.s) << std::hex << +c.code;
                EXPECT_EQ(r.cpu.regs.p, want.p) << std::hex << +c.code << " v=" << +v;
                EXPECT_EQ(r.cpu.regs.pc, want.pc);
            }
        }
    }
}

TEST(CpuOpcodes, StackPushesPullsAndTheBreakBit) {
    CpuOnRam r;
    r.code({0x48, 0x08, 0xA9, 0x00, 0x28, 0x68});  // PHA PHP LDA #0 PLP PLA
    r.cpu.regs.a = 0x9C;
    r.cpu.regs.p = kFlagU | kFlagN | kFlagC;
    EXPECT_EQ(r.cpu.step(), 3);
    EXPECT_EQ(r.ram.bytes[0x01FF], 0x9C);
    EXPECT_EQ(r.cpu.step(), 3);
    EXPECT_EQ(r.ram.bytes[0x01FE], kFlagU | kFlagN | kFlagC | kFlagB) << "PHP pushes B and U set";
    EXPECT_EQ(r.cpu.regs.s, 0xFD);
    r.cpu.step();
    EXPECT_EQ(r.cpu.step(), 4);
    EXPECT_EQ(r.cpu.regs.p, kFlagU | kFlagN | kFlagC) << "PLP drops B";
    EXPECT_EQ(r.cpu.step(), 4);
    EXPECT_EQ(r.cpu.regs.a, 0x9C);
    EXPECT_EQ(r.cpu.regs.p & kFlagN, kFlagN) << "PLA sets N from the value";
    EXPECT_EQ(r.cpu.regs.s, 0xFF);

    CpuOnRam wrap;  // the stack pointer wraps within page one
    wrap.code({0x48});
    wrap.cpu.regs.s = 0x00;
    wrap.cpu.regs.a = 0x77;
    wrap.cpu.step();
    EXPECT_EQ(wrap.ram.bytes[0x0100], 0x77);
    EXPECT_EQ(wrap.cpu.regs.s, 0xFF);
}

// Branch opcodes are ff0 10000: ff picks N, V, C, Z and the bit above the
// wanted value.
TEST(CpuOpcodes, BranchesTakenNotTakenAndAcrossPages) {
    const uint8_t flags[4] = {kFlagN, kFlagV, kFlagC, kFlagZ};
    for (int ff = 0; ff < 4; ++ff) {
        for (int wanted = 0; wanted < 2; ++wanted) {
            const uint8_t code = static_cast<uint8_t>(ff << 6 | wanted << 5 | 0x10);
            struct Shot { uint16_t at; uint8_t offset; int cycles_if_taken; };
            const Shot shots[] = {{0x0200, 0x10, 3}, {0x02F0, 0x20, 4}, {0x0300, 0xF0, 4}, {0x0250, 0xF0, 3}, {0x0220, 0x80, 4}};
            for (const Shot& s : shots) {
                for (int flag_set = 0; flag_set < 2; ++flag_set) {
                    CpuOnRam r;
                    r.code({code, s.offset}, s.at);
                    r.cpu.regs.pc = s.at;
                    r.cpu.regs.p = static_cast<uint8_t>(kFlagU | (flag_set ? flags[ff] : 0));
                    const bool taken = flag_set == wanted;
                    const uint16_t next = static_cast<uint16_t>(s.at + 2);
                    const uint16_t target = static_cast<uint16_t>(next + static_cast<int8_t>(s.offset));
                    EXPECT_EQ(r.cpu.step(), taken ? s.cycles_if_taken : 2) << std::hex << +code << " at " << s.at;
                    EXPECT_EQ(r.cpu.regs.pc, taken ? target : next) << std::hex << +code;
                }
            }
        }
    }
}

TEST(CpuOpcodes, JumpsSubroutinesAndTheIndirectPageQuirk) {
    CpuOnRam r;
    r.code({0x20, 0x00, 0x30});  // JSR $3000
    r.code({0x60}, 0x3000);      // RTS
    EXPECT_EQ(r.cpu.step(), 6);
    EXPECT_EQ(r.cpu.regs.pc, 0x3000);
    EXPECT_EQ(r.ram.bytes[0x01FF], 0x02);
    EXPECT_EQ(r.ram.bytes[0x01FE], 0x02) << "JSR pushes the address of its own last byte";
    EXPECT_EQ(r.cpu.step(), 6);
    EXPECT_EQ(r.cpu.regs.pc, 0x0203);

    CpuOnRam j;
    j.code({0x4C, 0x34, 0x12});
    EXPECT_EQ(j.cpu.step(), 3);
    EXPECT_EQ(j.cpu.regs.pc, 0x1234);

    CpuOnRam ind;
    ind.code({0x6C, 0xFF, 0x10});  // JMP ($10FF)
    ind.ram.bytes[0x10FF] = 0x78;
    ind.ram.bytes[0x1000] = 0x56;  // NMOS: high byte from the start of the same page
    ind.ram.bytes[0x1100] = 0xEE;
    EXPECT_EQ(ind.cpu.step(), 5);
    EXPECT_EQ(ind.cpu.regs.pc, 0x5678);
}

TEST(CpuOpcodes, IndirectYPointerWrapsInPageZeroAndUndocumentedOpcodesJam) {
    CpuOnRam r;
    r.code({0xB1, 0xFF});  // LDA ($FF),Y
    r.ram.bytes[0xFF] = 0x00;
    r.ram.bytes[0x00] = 0x44;
    r.ram.bytes[0x0100] = 0x99;  // where a pointer that failed to wrap would look
    r.ram.bytes[0x4403] = 0x5E;
    r.cpu.regs.y = 3;
    r.cpu.step();
    EXPECT_EQ(r.cpu.regs.a, 0x5E);

    CpuOnRam jam;
    jam.code({0x02});
    EXPECT_EQ(jam.cpu.step(), 0);
    EXPECT_TRUE(jam.cpu.jammed());
    EXPECT_EQ(jam.cpu.regs.pc, kCodeAt);
}

// ---------------------------------------------------------------- decimal

int bcd(int v) { return (v / 10) << 4 | (v % 10); }

TEST(CpuDecimal, AdcAndSbcOnEveryOperandPair) {
    for (int a = 0; a < 256; ++a) {
        for (int m = 0; m < 256; ++m) {
            for (int carry = 0; carry < 2; ++carry) {
                const bool valid = (a & 0x0F) < 10 && a < 0xA0 && (m & 0x0F) < 10 && m < 0xA0;
                const int da = (a >> 4) * 10 + (a & 0x0F), dm = (m >> 4) * 10 + (m & 0x0F);
                auto run = [&](uint8_t code, bool decimal) {
                    CpuOnRam r;
                    r.code({code, static_cast<uint8_t>(m)});
                    r.cpu.regs.a = static_cast<uint8_t>(a);
                    r.cpu.regs.p = static_cast<uint8_t>(kFlagU | carry | (decimal ? kFlagD : 0));
                    r.cpu.step();
                    return r.cpu.regs;
                };
                const CpuRegisters add = run(0x69, true), add_binary = run(0x69, false);
                const CpuRegisters sub = run(0xE9, true), sub_binary = run(0xE9, false);
                // NMOS: Z of a decimal ADC is the binary one; every SBC flag is.
                ASSERT_EQ(add.p & kFlagZ, add_binary.p & kFlagZ) << a << "+" << m;
                ASSERT_EQ(sub.p & ~kFlagD, sub_binary.p & ~kFlagD) << a << "-" << m;
                if (!valid) continue;
                const int sum = da + dm + carry;
                ASSERT_EQ(add.a, bcd(sum % 100)) << a << "+" << m << "+" << carry;
                ASSERT_EQ(add.p & kFlagC, sum >= 100 ? kFlagC : 0) << a << "+" << m;
                const int difference = da - dm - (1 - carry);
                ASSERT_EQ(sub.a, bcd((difference + 100) % 100)) << a << "-" << m << "-" << 1 - carry;
                ASSERT_EQ(sub.p & kFlagC, difference >= 0 ? kFlagC : 0) << a << "-" << m;
            }
        }
    }
}

// N and V of a decimal ADC come from the sum before the high digit is
// adjusted - worked out by hand for these.
TEST(CpuDecimal, AdcNegativeAndOverflowFollowTheNmosChip) {
    struct Known { uint8_t a, m, c, result, p; };
    const Known cases[] = {
        {0x99, 0x01, 0, 0x00, kFlagN | kFlagC},   // Z clear: the binary sum is $9A
        {0x79, 0x00, 1, 0x80, kFlagN | kFlagV},   // 79 + 1 = 80 looks like signed overflow
        {0x24, 0x56, 0, 0x80, kFlagN | kFlagV},
        {0x50, 0x50, 0, 0x00, kFlagN | kFlagV | kFlagC},  // $A0 before the adjustment
        {0x12, 0x34, 0, 0x46, 0},
    };
    for (const Known& k : cases) {
        CpuOnRam r;
        r.code({0x69, k.m});
        r.cpu.regs.a = k.a;
        r.cpu.regs.p = static_cast<uint8_t>(kFlagU | kFlagD | k.c);
        r.cpu.step();
        EXPECT_EQ(r.cpu.regs.a, k.result) << std::hex << +k.a << "+" << +k.m;
        EXPECT_EQ(r.cpu.regs.p & (kFlagN | kFlagV | kFlagZ | kFlagC), k.p) << std::hex << +k.a << "+" << +k.m;
    }
}

// ---------------------------------------------------------------- undocumented

// Opcodes aaabbb11 run the group 1 (aaabbb01) and group 2 (aaabbb10)
// instruction at once. The reference runs the two official halves on the
// zero-page byte $40 (for SAX: STA and STX, which the chip ANDs on the bus).
CpuRegisters run_halves(int aaa, uint8_t a, uint8_t x, uint8_t p, uint8_t m, uint8_t& m_after) {
    CpuOnRam r;
    const uint8_t group2 = opcode(aaa, 1, 2), group1 = opcode(aaa, 1, 1);
    if (aaa == 5) r.code({0xA5, 0x40, 0xAA});            // LDA $40; TAX
    else r.code({group2, 0x40, group1, 0x40});
    r.ram.bytes[0x40] = m;
    r.cpu.regs.a = a;
    r.cpu.regs.x = x;
    r.cpu.regs.p = p;
    r.cpu.step();
    r.cpu.step();
    m_after = aaa == 4 ? static_cast<uint8_t>(a & x) : r.ram.bytes[0x40];
    return r.cpu.regs;
}

TEST(CpuUndocumented, CombinedOpcodesDoTheirTwoHalvesInEveryMode) {
    struct Family { const char* name; int aaa; std::vector<int> bbbs; Kind kind; };
    const Family families[] = {
        {"SLO", 0, {0, 1, 3, 4, 5, 6, 7}, Kind::Modify}, {"RLA", 1, {0, 1, 3, 4, 5, 6, 7}, Kind::Modify},
        {"SRE", 2, {0, 1, 3, 4, 5, 6, 7}, Kind::Modify}, {"RRA", 3, {0, 1, 3, 4, 5, 6, 7}, Kind::Modify},
        {"SAX", 4, {0, 1, 3, 5}, Kind::Store},           {"LAX", 5, {0, 1, 3, 4, 5, 7}, Kind::Read},
        {"DCP", 6, {0, 1, 3, 4, 5, 6, 7}, Kind::Modify}, {"ISC", 7, {0, 1, 3, 4, 5, 6, 7}, Kind::Modify},
    };
    // SAX and LAX index zp and abs by Y where the others use X.
    auto mode_of = [](int aaa, int bbb) {
        static const Mode modes[8] = {Mode::IndX, Mode::Zp, Mode::Imm, Mode::Abs,
                                      Mode::IndY, Mode::ZpX, Mode::AbsY, Mode::AbsX};
        if ((aaa == 4 || aaa == 5) && bbb == 5) return Mode::ZpY;
        if (aaa == 5 && bbb == 7) return Mode::AbsY;
        return modes[bbb];
    };
    const uint8_t values[] = {0x00, 0x01, 0x09, 0x40, 0x7F, 0x80, 0x99, 0xFF};
    for (const Family& f : families) {
        for (int bbb : f.bbbs) {
            const Mode mode = mode_of(f.aaa, bbb);
            const uint8_t code = opcode(f.aaa, bbb, 3);
            for (bool cross : {false, true}) {
                for (uint8_t a : values) {
                    for (uint8_t m : values) {
                        for (uint8_t p : {uint8_t(kFlagU), uint8_t(kFlagU | kFlagC), uint8_t(kFlagU | kFlagD),
                                          uint8_t(kFlagU | kFlagD | kFlagC)}) {
                            CpuOnRam r;
                            const uint16_t at = place(r, code, mode, cross);
                            r.ram.bytes[at] = m;
                            r.cpu.regs.a = a;
                            r.cpu.regs.p = p;
                            const uint8_t x = r.cpu.regs.x;
                            uint8_t m_want = 0;
                            const CpuRegisters want = run_halves(f.aaa, a, x, p, m, m_want);
                            const int cycles = r.cpu.step();
                            const std::string where = std::string(f.name) + " $" + std::to_string(code) +
                                                      " a=" + std::to_string(a) + " m=" + std::to_string(m) +
                                                      " p=" + std::to_string(p) + (cross ? " crossing" : "");
                            ASSERT_FALSE(r.cpu.jammed()) << where;
                            ASSERT_EQ(r.cpu.regs.a, want.a) << where;
                            ASSERT_EQ(r.cpu.regs.x, want.x) << where;
                            ASSERT_EQ(r.cpu.regs.p, want.p) << where;
                            ASSERT_EQ(r.ram.bytes[at], m_want) << where;
                            ASSERT_EQ(r.cpu.regs.pc, kCodeAt + length_of(mode)) << where;
                            const int expected_cycles =
                                f.kind == Kind::Modify
                                    ? (mode == Mode::IndX || mode == Mode::IndY ? 8 : base_cycles(mode, f.kind))
                                    : base_cycles(mode, f.kind) + (penalised(mode, f.kind, cross) ? 1 : 0);
                            ASSERT_EQ(cycles, expected_cycles) << where;
                        }
                    }
                }
            }
        }
    }
}

// The immediate ones, against the NMOS chip's documented results.
TEST(CpuUndocumented, AncAlrArrSbxAndTheSecondSbc) {
    struct Known { uint8_t code, a, x, m, p_in, a_out, x_out, p_out; };
    const uint8_t D = kFlagD, C = kFlagC, N = kFlagN, V = kFlagV, Z = kFlagZ;
    const Known cases[] = {
        {0x0B, 0xF0, 0, 0x81, 0, 0x80, 0, N | C},           // ANC: C = N
        {0x2B, 0x7F, 0, 0xFF, C, 0x7F, 0, 0},
        {0x4B, 0xFF, 0, 0x03, 0, 0x01, 0, C},               // ALR: AND, LSR A
        {0x4B, 0xFE, 0, 0x81, C, 0x40, 0, 0},
        {0x6B, 0xFF, 0, 0xFF, C, 0xFF, 0, N | C},           // ARR binary: C = bit 6, V = bit 6 ^ bit 5
        {0x6B, 0xFF, 0, 0x80, 0, 0x40, 0, C | V},
        {0x6B, 0xFF, 0, 0x40, 0, 0x20, 0, V},
        {0x6B, 0x01, 0, 0x01, 0, 0x00, 0, Z},
        {0x6B, 0xFF, 0, 0xFF, D | C, 0x55, 0, D | N | C},   // ARR decimal: both nibbles adjusted
        {0x6B, 0x12, 0, 0xFF, D, 0x09, 0, D},               // neither
        {0x6B, 0x0C, 0, 0xFF, D, 0x0C, 0, D},               // low nibble 12: 6 -> C
        {0x6B, 0xC0, 0, 0xFF, D, 0xC0, 0, D | C},           // high nibble 12: $60 -> $C0, C
        {0xCB, 0xF0, 0x3C, 0x10, D, 0xF0, 0x20, D | C},     // SBX: X = A & X - m, decimal ignored
        {0xCB, 0xF0, 0x3C, 0x31, C | V, 0xF0, 0xFF, V | N}, // borrow; V untouched
        {0xCB, 0xFF, 0x40, 0x40, 0, 0xFF, 0x00, Z | C},
        {0xEB, 0x50, 0, 0x10, C, 0x40, 0, C},               // $EB is SBC #
    };
    for (const Known& k : cases) {
        CpuOnRam r;
        r.code({k.code, k.m});
        r.cpu.regs.a = k.a;
        r.cpu.regs.x = k.x;
        r.cpu.regs.p = static_cast<uint8_t>(kFlagU | k.p_in);
        EXPECT_EQ(r.cpu.step(), 2);
        const std::string where = "$" + std::to_string(k.code) + " a=" + std::to_string(k.a) +
                                  " m=" + std::to_string(k.m) + " p=" + std::to_string(k.p_in);
        EXPECT_EQ(r.cpu.regs.a, k.a_out) << where;
        if (k.code == 0xCB) {
            EXPECT_EQ(r.cpu.regs.x, k.x_out) << where;
        }
        EXPECT_EQ(r.cpu.regs.p, kFlagU | k.p_out) << where;
    }
}

// NOPs: length, cycles (abs,X with the read's page penalty), no effect,
// but their operand is read like a load's (it may be an I/O register).
TEST(CpuUndocumented, NopsOfEveryLength) {
    struct Nop { uint8_t code; Mode mode; };
    std::vector<Nop> nops;
    for (int c : {0x1A, 0x3A, 0x5A, 0x7A, 0xDA, 0xFA}) nops.push_back({static_cast<uint8_t>(c), Mode::Acc});
    for (int c : {0x80, 0x82, 0x89, 0xC2, 0xE2}) nops.push_back({static_cast<uint8_t>(c), Mode::Imm});
    for (int c : {0x04, 0x44, 0x64}) nops.push_back({static_cast<uint8_t>(c), Mode::Zp});
    for (int c : {0x14, 0x34, 0x54, 0x74, 0xD4, 0xF4}) nops.push_back({static_cast<uint8_t>(c), Mode::ZpX});
    nops.push_back({0x0C, Mode::Abs});
    for (int c : {0x1C, 0x3C, 0x5C, 0x7C, 0xDC, 0xFC}) nops.push_back({static_cast<uint8_t>(c), Mode::AbsX});
    for (const Nop& n : nops) {
        for (bool cross : {false, true}) {
            struct Watching final : Bus {
                Ram& ram;
                uint16_t last_read = 0;
                explicit Watching(Ram& r) : ram(r) {}
                uint8_t read(uint16_t a) override { last_read = a; return ram.bytes[a]; }
                void write(uint16_t a, uint8_t v) override { ram.bytes[a] = v; }
            };
            CpuOnRam r;
            Watching bus(r.ram);
            Cpu6502 cpu(bus);
            const uint16_t at = place(r, n.code, n.mode, cross);
            cpu.regs = r.cpu.regs;
            const CpuRegisters before = cpu.regs;
            const Ram ram_before = r.ram;
            const int length = n.mode == Mode::Acc ? 1 : length_of(n.mode);
            EXPECT_EQ(cpu.step(), base_cycles(n.mode, Kind::Read) + (penalised(n.mode, Kind::Read, cross) ? 1 : 0))
                << std::hex << +n.code;
            EXPECT_EQ(cpu.regs.pc, kCodeAt + length) << std::hex << +n.code;
            EXPECT_EQ(cpu.regs.a, before.a);
            EXPECT_EQ(cpu.regs.x, before.x);
            EXPECT_EQ(cpu.regs.p, before.p) << std::hex << +n.code;
            EXPECT_TRUE(r.ram.bytes == ram_before.bytes);
            if (n.mode != Mode::Acc) {
                EXPECT_EQ(bus.last_read, at) << std::hex << +n.code;
            }
        }
    }
    EXPECT_EQ(nops.size(), 27u);
}

// ---------------------------------------------------------------- interrupts

struct InterruptRig : CpuOnRam {
    InterruptRig() {
        vector(kIrqVector, 0x4000);
        vector(kNmiVector, 0x5000);
        code({0xEA, 0xEA, 0xEA, 0xEA});
        code({0x40}, 0x4000);  // RTI
        code({0x40}, 0x5000);
    }
};

TEST(CpuInterrupts, IrqIsALevelMaskedByI) {
    InterruptRig r;
    r.cpu.regs.p = kFlagU | kFlagI | kFlagC;
    r.cpu.set_irq_line(true);
    EXPECT_EQ(r.cpu.step(), 2) << "masked: the NOP runs";
    r.cpu.regs.p = kFlagU | kFlagC;
    EXPECT_EQ(r.cpu.step(), 7);
    EXPECT_EQ(r.cpu.regs.pc, 0x4000);
    EXPECT_EQ(r.ram.bytes[0x01FF], 0x02);
    EXPECT_EQ(r.ram.bytes[0x01FE], 0x01);
    EXPECT_EQ(r.ram.bytes[0x01FD], kFlagU | kFlagC) << "B clear in the pushed P";
    EXPECT_TRUE(r.cpu.regs.p & kFlagI);
    EXPECT_EQ(r.cpu.step(), 6);  // RTI
    EXPECT_EQ(r.cpu.regs.pc, 0x0201);
    EXPECT_EQ(r.cpu.regs.p, kFlagU | kFlagC);
    EXPECT_EQ(r.cpu.step(), 7) << "still asserted: taken again";
    r.cpu.step();
    r.cpu.set_irq_line(false);
    EXPECT_EQ(r.cpu.step(), 2);
}

// The poll before the next instruction still sees I as it was before CLI,
// SEI or PLP; RTI's I counts at once.
TEST(CpuInterrupts, CliAndPlpLetOneMoreInstructionRunFirst) {
    InterruptRig r;
    r.code({0x58, 0xEA, 0xEA});  // CLI NOP NOP
    r.cpu.regs.p = kFlagU | kFlagI;
    r.cpu.set_irq_line(true);
    EXPECT_EQ(r.cpu.step(), 2);
    EXPECT_EQ(r.cpu.step(), 2) << "the NOP after CLI";
    EXPECT_EQ(r.cpu.step(), 7);
    EXPECT_EQ(r.ram.bytes[0x01FE], 0x02) << "return to the second NOP";

    InterruptRig plp;
    plp.code({0x28, 0xEA, 0xEA});  // PLP NOP NOP
    plp.ram.bytes[0x01FF] = kFlagU;  // I clear
    plp.cpu.regs.s = 0xFE;
    plp.cpu.regs.p = kFlagU | kFlagI;
    plp.cpu.set_irq_line(true);
    EXPECT_EQ(plp.cpu.step(), 4);
    EXPECT_EQ(plp.cpu.step(), 2);
    EXPECT_EQ(plp.cpu.step(), 7);

    InterruptRig sei;  // the IRQ arriving during SEI is still taken
    sei.code({0x78, 0xEA});
    sei.cpu.regs.p = kFlagU;
    EXPECT_EQ(sei.cpu.step(), 2);
    sei.cpu.set_irq_line(true);
    EXPECT_EQ(sei.cpu.step(), 7);
    EXPECT_EQ(sei.ram.bytes[0x01FD], kFlagU | kFlagI) << "pushed with I set: RTI returns masked";
    EXPECT_EQ(sei.cpu.step(), 6);
    EXPECT_EQ(sei.cpu.step(), 2) << "masked now";

    InterruptRig rti;  // RTI that clears I: the IRQ follows at once
    rti.code({0x40});
    rti.ram.bytes[0x01FD] = kFlagU;
    rti.ram.bytes[0x01FE] = 0x00;
    rti.ram.bytes[0x01FF] = 0x03;
    rti.cpu.regs.s = 0xFC;
    rti.cpu.regs.p = kFlagU | kFlagI;
    rti.cpu.set_irq_line(true);
    EXPECT_EQ(rti.cpu.step(), 6);
    EXPECT_EQ(rti.cpu.step(), 7);
}

TEST(CpuInterrupts, NmiIsTakenOncePerEdgeEvenWithIrqsMasked) {
    InterruptRig r;
    r.cpu.regs.p = kFlagU | kFlagI;
    r.cpu.set_nmi_line(true);
    EXPECT_EQ(r.cpu.step(), 7);
    EXPECT_EQ(r.cpu.regs.pc, 0x5000);
    r.cpu.step();  // RTI
    r.cpu.set_nmi_line(true);  // held: no new edge
    EXPECT_EQ(r.cpu.step(), 2);
    r.cpu.set_nmi_line(false);
    r.cpu.set_nmi_line(true);
    EXPECT_EQ(r.cpu.step(), 7);
    EXPECT_EQ(r.cpu.regs.pc, 0x5000);
}

TEST(CpuInterrupts, BrkSkipsItsPaddingByteAndMarksB) {
    InterruptRig r;
    r.code({0x00, 0xFF});
    r.cpu.regs.p = kFlagU | kFlagD;
    EXPECT_EQ(r.cpu.step(), 7);
    EXPECT_EQ(r.cpu.regs.pc, 0x4000);
    EXPECT_EQ(r.ram.bytes[0x01FD], kFlagU | kFlagD | kFlagB);
    EXPECT_TRUE(r.cpu.regs.p & kFlagD) << "NMOS leaves D set";
    r.cpu.step();
    EXPECT_EQ(r.cpu.regs.pc, 0x0202);
}

// ---------------------------------------------------------------- programs

// A shift-and-add multiply with a subroutine call, loops, the stack and
// zero page, checked against the C++ product.
TEST(CpuPrograms, MultiplyRoutineMatchesTheProduct) {
    const std::vector<uint8_t> multiply = {
        0xA9, 0x00,        // LDA #0          product high
        0x85, 0x12,        // STA $12
        0xA2, 0x08,        // LDX #8
        0x46, 0x10,        // loop: LSR $10   multiplier bit into C
        0x90, 0x03,        // BCC +3
        0x18,              // CLC
        0x65, 0x11,        // ADC $11
        0x6A,              // ROR A
        0x66, 0x12,        // ROR $12
        0xCA,              // DEX
        0xD0, 0xF3,        // BNE loop
        0x85, 0x13,        // STA $13        product high byte
        0x60,              // RTS
    };
    for (int x = 0; x < 256; x += 7) {
        for (int y = 0; y < 256; y += 5) {
            CpuOnRam r;
            r.code({0x20, 0x00, 0x30, 0x02});  // JSR $3000, then jam
            r.code(multiply, 0x3000);
            r.ram.bytes[0x10] = static_cast<uint8_t>(x);
            r.ram.bytes[0x11] = static_cast<uint8_t>(y);
            for (int i = 0; i < 200 && !r.cpu.jammed(); ++i) r.cpu.step();
            ASSERT_TRUE(r.cpu.jammed()) << "returned to the caller";
            ASSERT_EQ(r.ram.bytes[0x12] | r.ram.bytes[0x13] << 8, x * y) << x << "*" << y;
        }
    }
}

}  // namespace
