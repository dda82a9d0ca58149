; in_zorbin C64 receiver: takes tunes and commands from the PC over the
; parallel cable (docs/cable.md) and plays them on this C64's own SID.
;
;     acme -f cbm -o receiver.prg receiver.asm
;     LOAD"RECEIVER",8 and RUN: the BASIC line copies the resident parts
;     to their homes and starts them; from then on the C64 only listens.
;
; Wire (C64 view): PC data bits 0-3 arrive on PB0-PB3 of CIA 2; PC data
; bit 7 drives FLAG2, whose falling edge the CIA latches in ICR bit 4. A
; latch is needed because the PC holds the strobe high for only about one
; microsecond - shorter than any polling loop. PB4 drives the PC's BUSY
; line; the PC reads BUSY inverted, so PB4 = 0 is "rest" (status bit 7 = 1)
; and PB4 = 1 answers a low nibble (status bit 7 = 0). PB5-PB7 are driven
; low so that a read of port B has clean upper bits (the image loop relies
; on that). Low nibble first; a nibble is read before it is answered,
; because the PC changes the data lines as soon as it sees the answer. Only
; ICR bit 4 counts as a strobe: CIA 2 timer B, the TOD alarm and the serial
; port belong to the tunes, and their flags share the register.
;
; Memory map while the receiver runs. Images load at $03F0 or above (never
; at $0801), so an image cannot cover anything below $03F0. What tunes are
; known to write there is $02A7-$02FF, the tape buffer $033C-$03FB, most of
; page zero and the stack from $01EF up; the receiver keeps nothing there
; that must outlive a tune:
;   $0100-$01EF  resident, the commands. The stack grows down from $01FF
;                over its top; what lies there only runs after a repair.
;   $0200-$02A6  resident, the wire, play calls and the repair, over BASIC's
;                input buffer and the KERNAL's tables (neither runs).
;   $0300-$0313  variables and the jumps to init and play, over BASIC's
;                vectors.
;   $0314-$0319  IRQ, BRK and NMI vectors: ours, set again before every
;                command (a tune's init may point them elsewhere).
;   $031A-$0339  resident, the interrupt handlers, over the KERNAL's I/O
;                vectors; $033A-$033B two more variables.
;   $FFFA-$FFFF  NMI and IRQ vectors in RAM (used with the KERNAL banked
;                out): ours unless the image reaches page $FF, where the
;                tune's own vectors then hold.
;   page zero, $033C-$03EF: the loader, only while an image arrives - no
;                tune is alive then, and the next one's init sets up its
;                own variables there.
;   the spare    four pages: pages 1, 2, 0 and 3 as they were when the last
;                image had arrived (resident code, loader and all), with
;                an 8-bit checksum, in RAM the image does not cover: $D000
;                (under the I/O area), else $E000, $F000, $C000, $0800 or
;                $0400. Before each command the receiver copies its code
;                back from the spare, so a tune that wrote into the home
;                while it played cannot make the next command run damaged
;                code; for $80 it fetches the loader from there. A spare
;                whose checksum fails is not used; when none of these
;                places is free, the four pages right after the image.
;                Without a spare - an image from below $0800 to $FB00 or
;                beyond (63 KB or more) leaves no room, or a tune wrote
;                into it - the receiver stops
;                answering at the next $80 (rather than take the image for
;                commands): the PC reports it, and the receiver has to be
;                started again.
; Nothing else of page zero, $02A7-$02FF or $033C-$03FF is used.
;
; Play timing: CIA 1 timer A runs continuously with a latch of one frame of
; this machine (PAL 19656 cycles, NTSC 17095, the first NTSC machines
; 16768; told apart at start by the highest line the raster counter
; reaches: 311, 262 or 261) before init is called.
; Play is called on every underflow of that timer, polled while the
; receiver waits for the wire. A tune that programs the timer in its init,
; or later in play, is thus called at its own rate, as a PSID player would
; call it; one that leaves it alone is called once per frame. The timer
; reloads itself, so the average rate is exact to the cycle whatever the
; polling latency. A strobe that arrives while play runs stays latched in
; ICR and the PC waits for its answer: commands are answered while a tune
; plays. Tunes are called with interrupts masked, as a PSID player would;
; one that enables an interrupt and clears I reaches our handlers, which
; keep the timer's tick for the poll loop. Which machine it is, PAL or
; NTSC, only sets the frame; a tune that sets its own timer value gets it
; on either.
;
; Stray edges: a strobe the PC did not mean (firmware or system probing the
; port) would pair nibbles wrongly for good. Bytes of one command follow
; each other within microseconds, so a gap of a third of a second inside a
; byte or a command (CIA 2 timer A, which no accepted tune can start, as
; the PC refuses every image holding $0E $DD) drops what was received and
; rests the handshake (between commands the same restart changes
; nothing). A third of a second is far above the few tens of milliseconds
; a busy PC may hold up the sending thread, and far below the time before
; a user's next command. The image itself is exempt: the PC may pause in
; it at will. Unknown command codes and load addresses below $03F0 are
; ignored.
;
; While an image arrives the screen is off (VIC $D011 bit 4): no bad lines
; steal cycles, and the image loop's 46 cycles a byte (21.4 KB/s at the
; PAL clock) are what a real machine gives.

        !cpu 6502

CPU_PORT        = $01
VIC_CONTROL     = $d011         ; bit 4: screen on; bit 7: raster line bit 8
VIC_RASTER      = $d012
VIC_IRQ_FLAGS   = $d019         ; written back as read: clears what was set
SID             = $d400
SID_REGISTERS   = $19
CIA1_TA_LO      = $dc04
CIA1_TA_HI      = $dc05
CIA1_ICR        = $dc0d
CIA1_CRA        = $dc0e
CIA2_PRB        = $dd01
CIA2_DDRB       = $dd03
CIA2_TA_LO      = $dd04
CIA2_TA_HI      = $dd05
CIA2_ICR        = $dd0d
CIA2_CRA        = $dd0e

ICR_FLAG        = $10
ICR_CLEAR_MASK  = $7f           ; write: disable every interrupt source
BUSY            = $10           ; PB4
PB_OUTPUTS      = $f0           ; PB4-PB7 out, PB0-PB3 in
CRA_TOD_50HZ    = $80           ; kept as the system set it
TIMER_START     = $11           ; CRA: start, continuous, force load
SCREEN_ON       = $10

PAL_FRAME       = 312 * 63
NTSC_FRAME      = 263 * 65
OLD_NTSC_FRAME  = 262 * 64
PAL_LAST_LINE   = 311
NTSC_LAST_LINE  = 262

; Memory configurations for the tune, chosen by where its image ends (as
; PSID players do): keep BASIC and KERNAL ROM unless the image lies under
; them. Every one keeps I/O visible, which the receiver needs.
BANK_ALL_ROMS   = $37
BANK_NO_BASIC   = $36
BANK_NO_ROMS    = $35
BANK_ALL_RAM    = $34           ; only for a moment, to reach RAM under I/O

CMD_LOAD        = $80
CMD_STOP        = $83
LOWEST_LOAD     = $03f0

GAP_TICKS       = 5             ; x 65536 cycles: 333 ms PAL, 320 ms NTSC
STACK_TOP       = $ff
COMMAND_PART    = $0100         ; resident, $F0 bytes: see the memory map
COMMAND_SIZE    = $f0
WIRE_PART       = $0200         ; resident, $A7 bytes, up to the KERNAL's tables' end
WIRE_SIZE       = $a7
HANDLER_PART    = $031a         ; resident, the KERNAL's unused I/O vectors
HANDLER_LIMIT   = $033a         ; then two variables
LOADER_PART     = $02           ; only while an image arrives: page zero ...
LOADER_LIMIT    = $0100
FINISH_PART     = $033c         ; ... and the tape buffer
FINISH_LIMIT    = $03f0
IRQ_VECTOR      = $0314         ; then BRK, then NMI
HARDWARE_VECTORS = $fffa        ; NMI, RESET, IRQ

; Variables over BASIC's vectors and at the end of the KERNAL's.
jump_init       = $0300         ; JMP init, the operand set by $81
jump_play       = $0303         ; JMP play, the operand set by $82
frame_latch     = $0306
bank            = $0308
playing         = $0309
tick_pending    = $030a         ; bit 0: timer A ran out while an IRQ was taken
gap_left        = $030b         ; gap timer ticks until the receiver starts afresh
low_nibble      = $030c
load_hi         = $030d         ; the load command's header, last byte first
load_lo         = $030e
length_hi       = $030f
length_lo       = $0310
image_first_page = $0311
image_last_page = $0312
spare_page      = $0313         ; 0: no spare
spare_sum       = $033a
gap_timer_start = $033b

; Scratch while an image arrives (page zero is the loader's then).
pages_left      = $ff
screen_saved    = $fe

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
        ldx #STACK_TOP
        txs
        lda #BANK_ALL_ROMS
        sta CPU_PORT
        sta bank
        ldx #0
-       lda command_image,x
        sta COMMAND_PART,x
        lda wire_image,x
        sta WIRE_PART,x
        cpx #<(LOADER_LIMIT - LOADER_PART)
        bcs +
        lda loader_image,x
        sta LOADER_PART,x
+       lda finish_image,x
        sta FINISH_PART,x
        cpx #<(HANDLER_LIMIT - HANDLER_PART)
        bcs +
        lda handler_image,x
        sta HANDLER_PART,x
+       inx
        bne -
        lda #ICR_CLEAR_MASK     ; no interrupts from either CIA
        sta CIA1_ICR
        sta CIA2_ICR
        lda #0
        sta CIA2_PRB            ; outputs low before they are enabled
        sta tick_pending
        sta image_last_page     ; no image yet: every spare place is free
        lda #PB_OUTPUTS
        sta CIA2_DDRB
        lda #$ff
        sta image_first_page
        sta CIA2_TA_LO          ; the gap timer: 65536 cycles a tick
        sta CIA2_TA_HI
        lda CIA2_CRA
        and #CRA_TOD_50HZ
        ora #TIMER_START
        sta gap_timer_start
        sta CIA2_CRA
        ldx #5
-       lda indirect_jumps,x
        sta jump_init,x
        dex
        bpl -
        ; PAL or NTSC, from the highest raster line seen in a little more
        ; than a frame (a line is longer than one round of the loop): 311
        ; on PAL, 262 on NTSC, 261 on the first NTSC machines.
        lda #0
        sta low_nibble          ; (scratch here) highest line - 256
        ldy #8
-       lda VIC_CONTROL
        bpl +
        lda VIC_RASTER
        cmp low_nibble
        bcc +
        sta low_nibble
+       dex
        bne -
        dey
        bne -
        ldx #2
        lda low_nibble
        cmp #<(PAL_LAST_LINE)
        bcs +
        dex
        cmp #<(NTSC_LAST_LINE)
        bcs +
        dex
+       lda frames_lo,x
        sta frame_latch
        lda frames_hi,x
        sta frame_latch+1
        jsr stop_playing
        jsr make_spare
        jmp command_loop

indirect_jumps
        jmp $ffff
        jmp $ffff

frames_lo       !byte <(OLD_NTSC_FRAME - 1), <(NTSC_FRAME - 1), <(PAL_FRAME - 1)
frames_hi       !byte >(OLD_NTSC_FRAME - 1), >(NTSC_FRAME - 1), >(PAL_FRAME - 1)

; ---------------------------------------------- resident: the commands
command_image
        !pseudopc COMMAND_PART {
command_start

; What a deep stack may overwrite lies at the top of this part and is
; repaired before it runs; what runs before the repair, or when a tune's
; init returns, lies at the bottom.
command_table
        !word load_image - 1, init_song - 1, start_play - 1, stop_command - 1
kernal_vectors
        !word kernal_irq, kernal_irq, nmi_return
hardware_vectors
        !word nmi_return, nmi_return, ram_irq


; Z = 1 when the spare's checksum holds; leaves all RAM visible (the
; caller restores the bank).
sum_spare
        lda #BANK_ALL_RAM
        sta CPU_PORT
        lda spare_page
        beq +                   ; no spare: Z = 0
        lda #0
        tax
        clc
sum_from0
-       adc $d000,x
sum_from1
        adc $d100,x
sum_from2
        adc $d200,x
sum_from3
        adc $d300,x
        inx
        bne -
        eor spare_sum           ; 0 when it holds
        rts
+       lda #1
        rts

; $81 init lo, hi, song index: CIA 1 timer A runs one frame, and init is
; called with the index in A. Init may program the timer.
init_song
        jsr get_byte
        sta jump_init+1
        jsr get_byte
        sta jump_init+2
        jsr get_byte
        pha
        lda #0                  ; no play call until $82 says so
        sta playing
        lda frame_latch
        sta CIA1_TA_LO
        lda frame_latch+1
        sta CIA1_TA_HI
        lda #ICR_CLEAR_MASK
        sta CIA1_ICR
        lda #TIMER_START
        sta CIA1_CRA
        lda #$4c                ; JMP: the jumps' opcodes, in case a tune wrote there
        sta jump_init
        sta jump_play
        pla
        jsr jump_init
        jsr after_call
        jmp command_loop

; $82 play lo, hi: call play on every tick of the timer from now on.
start_play
        jsr get_byte
        sta jump_play+1
        jsr get_byte
        sta jump_play+2
        lda #1
        sta playing
        jmp command_loop

; $83 0, 0.
stop_command
        jsr get_byte
        jsr get_byte
        jsr stop_playing
        jmp command_loop

; $80 length lo, hi, load lo, hi, image. A load address below $03F0 is
; no real command. The loader is fetched from the spare into page zero and
; the tape buffer, which belong to no tune while an image arrives.
load_image
        ldy #3
-       jsr get_byte
        sta load_hi,y
        dey
        bpl -
        lda load_lo
        cmp #<LOWEST_LOAD
        lda load_hi
        sbc #>LOWEST_LOAD
        bcc +
        jsr stop_playing
        jsr sum_spare
-       bne -                   ; no loader to be had: silent until started again
        ldx #<(LOADER_LIMIT - LOADER_PART)
loader_from
-       lda $d200 + <LOADER_PART - 1,x
        sta LOADER_PART - 1,x
        cpx #FINISH_LIMIT - FINISH_PART + 1
        bcs ++
finish_from
        lda $d300 + <FINISH_PART - 1,x
        sta FINISH_PART - 1,x
++      dex
        bne -
        jsr restore_bank
        jmp load_body
+       jsr restore_bank
        jmp command_loop

restore_bank
        lda bank
        sta CPU_PORT
        ; fall through


; Points the interrupt vectors at our handlers: the KERNAL's at $0314
; always, the hardware's at $FFFA unless the image reaches page $FF.
set_vectors
        ldx #5
-       lda kernal_vectors,x
        sta IRQ_VECTOR,x
        ldy image_last_page
        iny
        beq +
        lda hardware_vectors,x
        sta HARDWARE_VECTORS,x
+       dex
        bpl -
        rts

command_end
        !if command_end - command_start > COMMAND_SIZE { !error "command part too large: ", command_end - command_start }
        }

; ------------------------------------ resident: the wire, play, repair
wire_image
        !pseudopc WIRE_PART {
wire_start

; Every command starts here, with the stack empty.
command_loop
        ldx #STACK_TOP
        txs
        lda #0                  ; the handshake at rest
        sta CIA2_PRB
        jsr get_byte
        asl                     ; only $80-$83 are commands
        bcc command_loop
        cmp #2 * (CMD_STOP - CMD_LOAD) + 1
        bcs command_loop
        tax
        lda command_table + 1,x
        pha
        lda command_table,x
        pha
        ; fall through: repair, then RTS into the command

; Copies the resident parts back from the spare when its checksum holds,
; so a tune that wrote into them while it played cannot make this command
; run damaged code.
repair
        jsr sum_spare
        bne restore_bank
        ldx #COMMAND_SIZE
command_from
-       lda $d000 - 1,x
        sta+2 COMMAND_PART - 1,x
        cpx #WIRE_SIZE + 1
        bcs +
wire_from
        lda $d100 - 1,x
        sta WIRE_PART - 1,x
+       dex
        bne -
        jmp restore_bank

; One byte from the wire, low nibble first, calling play on every timer
; tick while it waits. Keeps Y.
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
        lda CIA2_ICR            ; one read serves FLAG and the gap timer
        lsr                     ; a gap timer tick into C
        bcc +
        dec gap_left            ; (between commands a restart changes nothing)
        beq command_loop        ; a gap: start afresh
+       and #ICR_FLAG >> 1
        bne nibble_here
        lda CIA1_ICR            ; the tune's timer
        ora tick_pending
        lsr
        bcc wait_nibble
        lsr tick_pending
        lda playing
        beq wait_nibble
        tya
        pha
        jsr jump_play
        jsr after_call
        pla
        tay
        jmp wait_nibble
nibble_here
        lda #GAP_TICKS          ; each nibble restarts the gap clock
        sta gap_left
        lda gap_timer_start
        sta CIA2_CRA
        lda CIA2_PRB
        and #$0f
        rts

after_call
        sei
        cld
        lda bank
        sta CPU_PORT
        rts

; Silences the SID and stops play calls; returns A = 0.
stop_playing
        lda #0
        sta playing
        ldx #SID_REGISTERS - 1
-       sta SID,x
        dex
        bpl -
        rts

wire_end
        !if wire_end - wire_start > WIRE_SIZE { !error "wire part too large: ", wire_end - wire_start }
        }

; --------------------------- resident: interrupts (not in the spare's care)
handler_image
        !pseudopc HANDLER_PART {
handler_start
; IRQ through $0314 (the KERNAL's entry saved A, X, Y), and BRK through
; $0316: keep a timer tick for the poll loop and return.
kernal_irq
        jsr note_irq
        pla
        tay
        pla
        tax
        pla
nmi_return
        rti
; IRQ through $FFFE with the KERNAL banked out.
ram_irq
        pha
        jsr note_irq
        pla
        rti
note_irq
        asl VIC_IRQ_FLAGS       ; a raster interrupt the tune enabled: done
        lda CIA1_ICR
        and #1
        ora tick_pending
        sta tick_pending
        rts
handler_end
        !if handler_end > HANDLER_LIMIT { !error "interrupt part too large" }
        }

; ------------------------------------------ the loader, in page zero
loader_image
        !pseudopc LOADER_PART {
loader_start

; The image is stored page by page with Y counting up to zero: the store
; base is moved down by the first index so that the last byte lands at
; index $ff of the last page.
load_body
        lda #ICR_CLEAR_MASK     ; no NMI from the last tune's CIA 2 sources
        sta CIA2_ICR
        lda VIC_CONTROL         ; screen off: no bad lines steal cycles
        sta screen_saved
        and #$ff - SCREEN_ON
        sta VIC_CONTROL
        lda load_hi
        sta image_first_page
        ; the page of the last image byte, hi(load + length - 1), picks the bank
        clc
        lda load_lo
        adc length_lo
        tax
        lda load_hi
        adc length_hi
        cpx #1                  ; C = 0 when the end is page aligned
        sbc #0
        sta image_last_page
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
        sta pages_left          ; (for a moment)
        lda load_lo
        sec
        sbc pages_left
        sta+2 fast_store+1
        lda load_hi
        sbc #0
        sta+2 fast_store+2
        ldx length_hi           ; pages = ceil(length / 256)
        lda length_lo
        beq +
        inx
+       stx pages_left
        txa
        beq image_done
next_page
        lda+2 fast_store+2        ; a page that may reach into $D000-$DFFF
        cmp #$cf                ; must be stored with I/O hidden
        bcc +
        cmp #$e0
        bcs +
        jsr slow_page
        jmp page_done
+       jsr fast_page
page_done
        inc+2 fast_store+2
        dec pages_left
        bne next_page
image_done
        jmp finish_load

; The image loop, 46 cycles a byte. Waits look at ICR bit 4 alone (BIT
; with A = $10), and each nibble is read before it is answered. The low
; nibble is read with BUSY clear (X = $0L) and doubles as the "high nibble
; taken" value; the high one with BUSY set, hence the table index $10-$1F.
fast_page
        lda #ICR_FLAG
fast_low
        bit CIA2_ICR            ; 4
        beq fast_low            ; 2 (3 while waiting)
        ldx CIA2_PRB            ; 4  X = low nibble
        sta CIA2_PRB            ; 4  BUSY set: low nibble taken
fast_high
        bit CIA2_ICR            ; 4
        beq fast_high           ; 2
        txa                     ; 2
        ldx CIA2_PRB            ; 4  X = $10 + high nibble
        sta CIA2_PRB            ; 4  BUSY clear: high nibble taken
        ora+2 high_nibble_table - $10,x ; 4
fast_store
        sta $ffff,y             ; 5
        lda #ICR_FLAG           ; 2
        iny                     ; 2
        bne fast_low            ; 3
        rts

; A page that may touch $D000-$DFFF: the same, but each byte is stored
; with the I/O area switched to RAM for that one store.
slow_page
        lda+2 fast_store+1
        sta+2 slow_store+1
        lda+2 fast_store+2
        sta+2 slow_store+2
        lda #ICR_FLAG
slow_low
        bit CIA2_ICR
        beq slow_low
        ldx CIA2_PRB
        sta CIA2_PRB
slow_high
        bit CIA2_ICR
        beq slow_high
        txa
        ldx CIA2_PRB
        sta CIA2_PRB
        ora+2 high_nibble_table - $10,x
        ldx #BANK_ALL_RAM
        stx CPU_PORT
slow_store
        sta $ffff,y
        ldx bank
        stx CPU_PORT
        lda #ICR_FLAG
        iny
        bne slow_low
        rts

high_nibble_table
        !byte $00, $10, $20, $30, $40, $50, $60, $70
        !byte $80, $90, $a0, $b0, $c0, $d0, $e0, $f0

loader_end
        !if loader_end > screen_saved { !error "loader too large: ", loader_end - loader_start }
        }

; --------------------------------------- the loader, in the tape buffer
finish_image
        !pseudopc FINISH_PART {
finish_start

finish_load
        lda screen_saved
        and #$7f
        sta VIC_CONTROL
        lda #$ff                ; the gap timer's latch, in case a tune wrote it
        sta CIA2_TA_LO
        sta CIA2_TA_HI
        jsr make_spare
        jmp command_loop

; Writes the spare - both resident parts and the loader, four pages - where
; the image is not, with its checksum. The copy loops' operands are set
; first, so the spare holds them as they are and a repair puts back the
; very same bytes.
make_spare
        ldx #SPARE_PLACES - 1
-       lda spare_places,x      ; free when it ends below the image ...
        clc
        adc #3
        cmp image_first_page
        bcc +
        lda spare_places,x      ; ... or starts above it
        cmp image_last_page
        beq ++
        bcs +
++      dex
        bpl -
        ldx image_last_page     ; last resort, for an image from below
        cpx #$fb                ; $0800 to past $F000: the four pages after
        bcs +++                 ; it, short of the vectors in page $FF
        inx
        txa
        bne spare_at            ; (always)
+++     lda #0                  ; nowhere: no spare
        sta spare_page
        jmp restore_bank
+       lda spare_places,x
spare_at
        sta spare_page
        sta sum_from0+2
        sta spare_to0+2
        tax
        dex
        stx command_from+2      ; loops indexed from 1 read one byte lower
        inx
        stx wire_from+2
        inx
        stx sum_from1+2
        stx spare_to1+2
        inx
        stx sum_from2+2
        stx spare_to2+2
        stx loader_from+2
        inx
        stx sum_from3+2
        stx spare_to3+2
        stx finish_from+2
        lda #BANK_ALL_RAM
        sta CPU_PORT
        ldx #0
-       lda COMMAND_PART,x
spare_to0
        sta $d000,x
        lda WIRE_PART,x
spare_to1
        sta $d100,x
        lda $00,x
spare_to2
        sta $d200,x
        lda $0300,x
spare_to3
        sta $d300,x
        inx
        bne -
        lda #0
        sta spare_sum
        jsr sum_spare
        sta spare_sum
        jmp restore_bank

spare_places                    ; tried from the end
        !byte $04, $08, $c0, $f0, $e0, $d0
SPARE_PLACES = * - spare_places

finish_end
        !if finish_end > FINISH_LIMIT { !error "loader's second part too large: ", finish_end - finish_start }
        }
