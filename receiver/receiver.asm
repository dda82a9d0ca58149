; in_zorbin C64 receiver: takes tunes and commands from the PC over the
; parallel cable (docs/cable.md) and plays them on this C64's own SID.
;
;     acme -f cbm -o receiver.prg receiver.asm
;     LOAD"RECEIVER",8,1 (or ,8) and RUN: the BASIC line copies the resident
;     part to its home and starts it; from then on the C64 only listens.
;
; Wire (C64 view): PC data bits 0-3 arrive on PB0-PB3 of CIA 2; PC data
; bit 7 drives FLAG2, whose falling edge the CIA latches in ICR bit 4. A
; latch is needed because the PC holds the strobe high for only about one
; microsecond - shorter than any polling loop. PB4 drives the PC's BUSY
; line; the PC reads BUSY inverted, so PB4 = 0 is "rest" (status bit 7 = 1)
; and PB4 = 1 answers a low nibble (status bit 7 = 0). PB5-PB7 are driven
; low so that a read of port B has clean upper bits (the fast loop relies
; on that). Low nibble first; a nibble is read before it is answered,
; because the PC changes the data lines as soon as it sees the answer.
;
; Home: $0200-$03EF, in two blocks around the KERNAL's vectors at
; $0314-$0333 (which stay valid): the command part from $0200, the wire
; part from $0334. The PC refuses tunes that load below $03F0, so no tune
; image can overwrite us. The KERNAL's own variables in this area are only
; written by its interrupt, which the receiver switches off. No zero page
; is used at all (pointers live in the code itself), so tunes may use all
; of page zero; the stack is shared with the tune as usual.
;
; Timing source: CIA 2 timer A, polled, with no interrupt at all. The PC
; refuses every tune whose image holds the bytes $0E $DD, so no accepted
; tune can address $DD0E, the register that starts and stops timer A, and
; the 50 Hz beat cannot be reprogrammed under us. The timer's flag shares
; ICR with FLAG2, and reading ICR clears both; an interrupt handler would
; race the receive loop for that one read, so a single loop reads ICR and
; serves both flags from that value. A strobe that arrives while play runs
; stays latched in ICR and the PC waits for its answer: nothing is lost.
; Tunes are called with interrupts masked, as a PSID player would.

        !cpu 6502

CPU_PORT        = $01
NMI_VECTOR      = $0318         ; where the KERNAL's NMI handler jumps
SID             = $d400
SID_REGISTERS   = $19
CIA1_ICR        = $dc0d
CIA2_PRB        = $dd01
CIA2_DDRB       = $dd03
CIA2_TA_LO      = $dd04
CIA2_TA_HI      = $dd05
CIA2_ICR        = $dd0d
CIA2_CRA        = $dd0e
CIA2_CRB        = $dd0f

ICR_TIMER_A     = $01
ICR_FLAG        = $10
ICR_CLEAR_MASK  = $7f           ; write: disable every interrupt source
BUSY            = $10           ; PB4
PB_OUTPUTS      = $f0           ; PB4-PB7 out, PB0-PB3 in
TIMER_CONTINUOUS_START = $11    ; CRA: start, continuous, force load

; One play call per PAL frame: 985248 Hz / 50 = 19705 cycles, and a CIA
; timer's period is its latch value plus one.
FRAME_LATCH     = 19705 - 1

; Memory configurations for the tune, chosen by where its image ends (as
; PSID players do): keep BASIC and KERNAL ROM unless the image lies under
; them. Every one keeps I/O visible, which the receiver needs.
BANK_ALL_ROMS   = $37
BANK_NO_BASIC   = $36
BANK_NO_ROMS    = $35
BANK_ALL_RAM    = $34           ; only for a moment, to store under I/O

CMD_LOAD        = $80
CMD_INIT        = $81
CMD_PLAY        = $82
CMD_STOP        = $83

COMMAND_HOME    = $0200
COMMAND_END     = $0314         ; the KERNAL's vectors follow
WIRE_HOME       = $0334
WIRE_END        = $03f0         ; first byte a tune may load to

; ------------------------------------------------------------------ BASIC
        * = $0801
        !word basic_end, 10     ; 10 SYS 2061
        !byte $9e
        !text "2061"
        !byte 0
basic_end
        !word 0

install
        !if install != 2061 { !error "the SYS line must name install" }
        sei
        cld
        ldx #command_size
-       lda command_image-1,x
        sta COMMAND_HOME-1,x
        dex
        bne -
        ldx #wire_size
-       lda wire_image-1,x
        sta WIRE_HOME-1,x
        dex
        bne -
        ldx #$ff
        txs
        lda #BANK_ALL_ROMS
        sta CPU_PORT
        lda #ICR_CLEAR_MASK     ; no interrupts from either CIA
        sta CIA1_ICR
        sta CIA2_ICR
        lda #0
        sta CIA2_CRA            ; both timers of CIA 2 stopped: in the image
        sta CIA2_CRB            ; loop nothing but FLAG2 may raise a flag
        sta CIA2_PRB            ; outputs low before they are enabled
        lda #PB_OUTPUTS
        sta CIA2_DDRB
        lda CIA1_ICR            ; drop whatever was pending
        lda CIA2_ICR
        lda #<ignore_nmi        ; RESTORE must not throw us out
        sta NMI_VECTOR
        lda #>ignore_nmi
        sta NMI_VECTOR+1
        jsr stop_playing
        jmp command_loop

; ------------------------------------------------------------ command part
command_image
        !pseudopc COMMAND_HOME {
command_start

command_loop
        jsr get_byte
        cmp #CMD_LOAD
        beq load_image
        cmp #CMD_INIT
        beq init_song
        cmp #CMD_PLAY
        beq start_play
        jsr get_byte            ; $83 and unknown codes: two arguments
        jsr get_byte
        jsr stop_playing
        jmp command_loop

; $81 init lo, hi, song index: call init with the index in A.
init_song
        lda #0                  ; no play call until $82 says so
        sta playing
        sta CIA2_CRA
        jsr get_byte
        sta init_call+1
        jsr get_byte
        sta init_call+2
        jsr get_byte
        ldx bank
        stx CPU_PORT
init_call
        jsr $ffff
        lda bank
        sta CPU_PORT
        jmp command_loop

; $82 play lo, hi: call play once per frame from now on.
start_play
        jsr get_byte
        sta play_call+1
        jsr get_byte
        sta play_call+2
        lda #<FRAME_LATCH
        sta CIA2_TA_LO
        lda #>FRAME_LATCH
        sta CIA2_TA_HI
        lda #TIMER_CONTINUOUS_START
        sta CIA2_CRA
        sta playing             ; any non-zero value
        jmp command_loop

; $80 length lo, hi, load lo, hi, image. The image is stored page by page
; with Y counting up to zero: the store base is moved down by the first
; index so that the last byte lands at index $ff of the last page.
load_image
        jsr stop_playing
        jsr get_byte
        sta length_lo
        jsr get_byte
        sta length_hi
        jsr get_byte
        sta fast_store+1
        jsr get_byte
        sta fast_store+2
        ; bank from the page of the last image byte, hi(load + length - 1)
        clc
        lda fast_store+1
        adc length_lo
        tax
        lda fast_store+2
        adc length_hi
        cpx #1                  ; C = 0 when the end is page aligned
        sbc #0
        ldx #BANK_ALL_ROMS
        cmp #$a0
        bcc +
        dex                     ; BANK_NO_BASIC
        cmp #$e0
        bcc +
        dex                     ; BANK_NO_ROMS
+       stx bank
        ; first index = -length mod 256; base = load - first index
        lda #0
        sec
        sbc length_lo
        tay
        sty first_index
        lda fast_store+1
        sec
        sbc first_index
        sta fast_store+1
        bcs +
        dec fast_store+2
+       ldx length_hi           ; pages = ceil(length / 256)
        lda length_lo
        beq +
        inx
+       stx pages_left
        txa                     ; (STX leaves the flags alone)
        beq image_done
next_page
        lda fast_store+2        ; a page that may reach into $D000-$DFFF
        cmp #$cf                ; must be stored with I/O hidden
        bcc +
        cmp #$e0
        bcs +
        jsr slow_page
        jmp page_done
+       jsr fast_page
page_done
        inc fast_store+2
        dec pages_left
        bne next_page
image_done
        jmp command_loop

command_end
        !if command_end > COMMAND_END { !error "command part too large" }
        }
command_size = command_end - command_start

; --------------------------------------------------------------- wire part
wire_image
        !pseudopc WIRE_HOME {
wire_start

; Silences the SID and stops play calls.
stop_playing
        lda #0
        sta playing
        sta CIA2_CRA
        ldx #SID_REGISTERS - 1
-       sta SID,x
        dex
        bpl -
        rts

ignore_nmi
        rti

; One byte from the wire, low nibble first, calling play on every frame
; while it waits. Keeps Y.
get_byte
        jsr wait_nibble
        sta low_nibble
        lda #BUSY               ; answer the low nibble: status bit 7 reads 0
        sta CIA2_PRB
        jsr wait_nibble
        asl
        asl
        asl
        asl
        ora low_nibble
        ldx #0                  ; answer the high nibble: back to rest
        stx CIA2_PRB
        rts

wait_nibble
        lda CIA2_ICR            ; one read serves both flags (it clears them)
        sta icr_seen
        lsr                     ; timer A flag into C
        bcc +
        lda playing
        beq +
        tya
        pha
        lda bank
        sta CPU_PORT
play_call
        jsr $ffff
        lda bank
        sta CPU_PORT
        pla
        tay
+       lda icr_seen
        and #ICR_FLAG
        beq wait_nibble
        lda CIA2_PRB
        and #$0f
        rts

; A page that may touch $D000-$DFFF: each byte is stored with the I/O area
; switched to RAM for that one store (I/O must be visible to read the wire).
slow_page
        lda fast_store+1
        sta slow_store+1
        lda fast_store+2
        sta slow_store+2
-       jsr get_byte
        ldx #BANK_ALL_RAM
        stx CPU_PORT
slow_store
        sta $ffff,y
        ldx bank
        stx CPU_PORT
        iny
        bne -
        rts

; The image loop: 42 cycles per byte. The play timer is stopped, so the
; only flag ICR can show is FLAG2 and a read of ICR yields exactly $10 -
; which doubles as the "low nibble taken" value for port B. The low nibble
; read back from port B has bit 4 clear and doubles as the "high nibble
; taken" value. The high nibble is read with BUSY set, hence the table
; index $10-$1F. Branches and the table must not cross a page (penalty).
fast_page
fast_low
        ldx CIA2_ICR            ; 4
        beq fast_low            ; 2 (3 while waiting)
        lda CIA2_PRB            ; 4  A = low nibble
        stx CIA2_PRB            ; 4  BUSY set: low nibble taken
fast_high
        ldx CIA2_ICR            ; 4
        beq fast_high           ; 2
        ldx CIA2_PRB            ; 4  X = $10 + high nibble
        sta CIA2_PRB            ; 4  BUSY clear: high nibble taken
        ora high_nibble_table - $10,x ; 4
fast_store
        sta $ffff,y             ; 5
        iny                     ; 2
        bne fast_low            ; 3
        rts
fast_page_end

high_nibble_table
        !byte $00, $10, $20, $30, $40, $50, $60, $70
        !byte $80, $90, $a0, $b0, $c0, $d0, $e0, $f0

; variables
playing         !byte 0
bank            !byte BANK_ALL_ROMS
length_lo       !byte 0
length_hi       !byte 0
first_index     !byte 0
pages_left      !byte 0
low_nibble      !byte 0
icr_seen        !byte 0

wire_end
        !if >fast_page != >(fast_page_end - 1) { !error "image loop crosses a page" }
        !if >(high_nibble_table - $10) != >(high_nibble_table + 15) { !error "table crosses a page" }
        !if wire_end > WIRE_END { !error "wire part too large" }
        }
wire_size = wire_end - wire_start
