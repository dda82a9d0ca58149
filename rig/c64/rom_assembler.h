// Just enough of a 6502 assembler to write the system ROM stand-in as
// instructions rather than as byte lists: opcodes by name and addressing
// mode, and branches to labels placed before or after them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

// The opcodes the stand-in uses, named mnemonic_mode.
enum Op : uint8_t {
    ADC_IMM = 0x69, AND_IMM = 0x29, AND_ABS = 0x2D, BCC = 0x90, BCS = 0xB0, BEQ = 0xF0, BMI = 0x30,
    BNE = 0xD0, BPL = 0x10, BIT_ABS = 0x2C, BVS = 0x70, CLC = 0x18, CMP_IMM = 0xC9, CMP_ABS = 0xCD,
    CMP_ZP = 0xC5, CPX_IMM = 0xE0, CPX_ABS = 0xEC, CPY_ZP = 0xC4, CPY_ABS = 0xCC, DEC_ZP = 0xC6,
    DEC_ABS = 0xCE, DEY = 0x88, EOR_IMM = 0x49, INC_ZP = 0xE6, INY = 0xC8, JMP_ABS = 0x4C,
    JMP_IND = 0x6C, JSR = 0x20, LDA_IMM = 0xA9, LDA_ZP = 0xA5, LDA_ABS = 0xAD, LDA_ABS_X = 0xBD,
    LDA_ABS_Y = 0xB9, LDA_IND_Y = 0xB1, LDX_IMM = 0xA2, LDX_ABS = 0xAE, LDY_IMM = 0xA0, LDY_ZP = 0xA4,
    LDY_ABS = 0xAC, LSR_A = 0x4A, ORA_IMM = 0x09, ORA_ABS = 0x0D, PHA = 0x48, PLA = 0x68, ROL_A = 0x2A,
    RTI = 0x40, RTS = 0x60, SEC = 0x38, SEI = 0x78, STA_ZP = 0x85, STA_ABS = 0x8D, STA_ABS_Y = 0x99,
    STA_IND_Y = 0x91, STX_ABS = 0x8E, STY_ZP = 0x84, STY_ABS = 0x8C, TAX = 0xAA, TAY = 0xA8, TSX = 0xBA,
    TXA = 0x8A, TYA = 0x98,
};

class RomAssembler {
public:
    // `rom` holds the bytes from `base` on.
    RomAssembler(std::vector<uint8_t>& rom, uint16_t base) : rom_(rom), base_(base) {}

    void org(uint16_t at) { pc_ = at; }
    uint16_t here() const { return pc_; }

    void op(Op code) { byte(code); }
    void op(Op code, uint8_t operand) {
        byte(code);
        byte(operand);
    }
    void op16(Op code, uint16_t operand) {
        byte(code);
        word(operand);
    }
    void byte(uint8_t value) {
        const size_t at = static_cast<size_t>(pc_ - base_);
        if (pc_ < base_ || at >= rom_.size()) throw std::logic_error("stand-in code outside the ROM");
        rom_[at] = value;
        ++pc_;
    }
    void word(uint16_t value) {
        byte(static_cast<uint8_t>(value));
        byte(static_cast<uint8_t>(value >> 8));
    }

    // A branch to a label placed later; `land` places it.
    using Forward = uint16_t;
    Forward branch(Op code) {
        byte(code);
        const Forward at = pc_;
        byte(0);
        return at;
    }
    void land(Forward at) { patch(at, pc_); }
    // A branch back to `target`.
    void branch_to(Op code, uint16_t target) {
        byte(code);
        const uint16_t at = pc_;
        byte(0);
        patch(at, target);
    }

private:
    void patch(uint16_t at, uint16_t target) {
        const int distance = static_cast<int>(target) - (static_cast<int>(at) + 1);
        if (distance < -128 || distance > 127) throw std::logic_error("branch out of reach");
        rom_[static_cast<size_t>(at - base_)] = static_cast<uint8_t>(distance);
    }

    std::vector<uint8_t>& rom_;
    const uint16_t base_;
    uint16_t pc_ = 0;
};
