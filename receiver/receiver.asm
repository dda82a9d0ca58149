; in_zorbin C64 receiver: takes tunes and commands from the PC over the
; parallel cable (docs/cable.md) and plays them on this C64's own SID.
;
;     acme -f cbm -o receiver.prg receiver.asm     (with resident.asm beside it)
;     LOAD"RECEIVER",8 and RUN: the start-up measures the machine, writes the
;     spare copies and the first home, and from then on the C64 only listens.
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
; Memory map. Real tunes write far outside their images: page zero, the
; stack, $02A7-$02FF, $0334-$03FF, and some clear the KERNAL's tables at
; $0200-$02A6 in their init; a tune whose interrupt handler ends in the
; KERNAL's makes the KERNAL write its keyboard, clock and cursor variables
; ($0277-$0292, $02A1, $91, $A0-$A2, $C0-$D3, $F3-$F6). So nothing of the
; receiver that must outlive a tune stays in $0000-$07FF:
;   home         the resident part (resident.asm: the command loop, the
;                wire, play calls, commands, repair, interrupt handlers)
;                and its variables, 3 pages, moved with each image to the
;                first place of home_places that the image does not cover
;                and that the tune's memory configuration shows as RAM.
;   the spares   two copies of everything - the loader, the resident part
;                as assembled and its relocation map - 7 pages each, at the
;                first two places of spare_places the image does not cover
;                (any RAM: under the I/O area first). Each part has a
;                16-bit check. Before every command the home is checked
;                against its own 16-bit sum and, if a tune wrote into it,
;                written again from the first spare whose check holds, so
;                that the command does not run damaged code; an upload
;                takes the loader from there too. With neither spare usable the receiver takes the
;                image's bytes, drops them and falls silent: the PC reports
;                a C64 that does not respond, and the receiver has to be
;                started again.
;   $0314-$0319  IRQ, BRK and NMI vectors: ours, set again before every
;                command (a tune's init may point them elsewhere).
;   $FFFA-$FFFF  NMI and IRQ vectors in RAM (used with the KERNAL banked
;                out): ours unless the image reaches page $FF, where the
;                tune's own vectors then hold.
;   page zero, $0200-$02FF, $0334-$03EF: the loader, only while an image
;                arrives - no tune is alive then. Afterwards the KERNAL's
;                keyboard variables there get values its interrupt routine
;                can live with; the rest is the next tune's.
; $0400-$07FF (the screen) is written only by images that cover it; the
; start-up blanks it, so nothing RUN left there stays on show.
;
; Free bytes (the assembly stops where a part outgrows its room): the
; resident code 37 of its $2D8, its variables 4; the loader's parts at
; $0200, $0334 and in page zero 10, 6 and 10.
;
; Play timing: CIA 1 timer A runs continuously with a latch of one frame of
; this machine before init is called. The start-up measures the frame: the
; lines from the highest raster line seen, the cycles of one frame with a
; CIA timer between two starts of line 0, and from the two the cycles per
; line (63, 64 or 65). PAL 312 x 63, NTSC 263 x 65, PAL-N 312 x 65 and the
; first NTSC machines 262 x 64 thus all get their own frame.
; Play is called on every underflow of that timer, polled while the
; receiver waits for the wire. A tune that programs the timer in its init,
; or later in play, is thus called at its own rate, as a PSID player would
; call it; one that leaves it alone is called once per frame. The timer
; reloads itself, so the average rate is exact to the cycle whatever the
; polling latency. A strobe that arrives while play runs stays latched in
; ICR and the PC waits for its answer: commands are answered while a tune
; plays. Tunes are called with interrupts masked, as a PSID player would;
; one that enables an interrupt and clears I reaches our handlers, which
; keep the timer's tick for the poll loop.
;
; Stray edges: a strobe the PC did not mean (firmware or system probing the
; port) would pair nibbles wrongly for good. Bytes of one command follow
; each other within microseconds, so a gap of a third of a second inside a
; byte or a command (CIA 2 timer A, which no accepted tune can start, as
; the PC refuses every image holding $0E $DD) drops what was received and
; rests the handshake (between commands the same restart changes
; nothing). The image itself is exempt: the PC may pause in it at will.
; Unknown command codes and load addresses below $03F0 are ignored.
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
SCREEN          = $0400
SCREEN_SIZE     = 1000

ICR_TIMER_A     = $01
ICR_FLAG        = $10
ICR_CLEAR_MASK  = $7f           ; write: disable every interrupt source
BUSY            = $10           ; PB4
PB_OUTPUTS      = $f0           ; PB4-PB7 out, PB0-PB3 in
CRA_TOD_50HZ    = $80           ; kept as the system set it
TIMER_START     = $11           ; CRA: start, continuous, force load
TIMER_ONE_SHOT  = $19           ; CRA: start, one shot, force load
SCREEN_ON       = $10
BLANK_CHAR      = $20

; Memory configurations for the tune, chosen by where its image ends (as
; PSID players do): keep BASIC and KERNAL ROM unless the image lies under
; them. Every one keeps I/O visible, which the receiver needs.
BANK_ALL_ROMS   = $37
BANK_NO_BASIC   = $36
BANK_NO_ROMS    = $35
BANK_ALL_RAM    = $34           ; to reach RAM under I/O and ROM

CMD_LOAD        = $80
CMD_LAST        = $83           ; stop: the highest code the dispatch takes
LOWEST_LOAD     = $03f0

GAP_TICKS       = 5             ; x 65536 cycles: 333 ms PAL, 320 ms NTSC
STACK_TOP       = $ff
IRQ_VECTOR      = $0314         ; then BRK, then NMI
NMI_VECTOR      = $0318
HARDWARE_VECTORS = $fffa        ; NMI, RESET, IRQ

; The resident part: assembled at RESIDENT_BASE (and once more a page
; higher, for the relocation map); runs wherever its home is.
RESIDENT_BASE   = $1000
RESIDENT_SIZE   = $2d8          ; code; the variables follow in the home
HOME_PAGES      = 3
RELOCATION_GROUPS = RESIDENT_SIZE / 8   ; one map byte for eight code bytes

; The spare: pages 0-2 the loader's three parts, pages 3-5 the resident
; code, page 6 its relocation map (bit n of map byte k: code byte 8k + n
; holds a high byte of a resident address).
SPARE_PAGES     = 7
SPARE_LOADER_PAGES = 3
SPARE_RESIDENT_PAGES = 4                ; the code and the map
SPARE_MAP_PAGE  = 3                     ; of the resident part
        !if RESIDENT_SIZE > SPARE_MAP_PAGE * 256 { !error "no room for the code" }
        !if RELOCATION_GROUPS > 256 { !error "no room for the map" }

; The loader, only while an image arrives.
LOADER_PART_A   = $0200
LOADER_PART_A_SIZE = $100
LOADER_PART_B   = $0334         ; up to the lowest load address
LOADER_PART_B_SIZE = LOWEST_LOAD - LOADER_PART_B
LOADER_PART_C   = $24           ; page zero, above the loader's variables
LOADER_PART_C_SIZE = $100 - LOADER_PART_C

; Page zero: pointers (saved and put back when the repair borrows them
; from a tune), then the state the loader and the home share.
ZP_POINTERS     = $02
ZP_SRC          = $02
ZP_DST          = $04
ZP_MAP          = $06
ZP_POINTERS_SIZE = 6
ZP_STATE        = $08

; The state, in the home's variables and, while an image arrives, in page
; zero at ZP_STATE.
STATE_LOAD_HI   = 0             ; the load command's header, last byte first
STATE_LOAD_LO   = 1
STATE_LENGTH_HI = 2
STATE_LENGTH_LO = 3
STATE_FRAME     = 4             ; CIA 1 timer A latch for one frame (2 bytes)
STATE_LOADER_SUM = 6            ; the spare's checks (2 bytes each)
STATE_RESIDENT_SUM = 8
STATE_GAP_START = 10            ; CIA 2 CRA value that starts the gap timer
STATE_SPARE_SOURCE = 11         ; the spare the loader copies from
STATE_BANK      = 12
STATE_FIRST     = 13            ; the image's first and last page
STATE_LAST      = 14
STATE_SPARE1    = 15            ; 0: none
STATE_SPARE2    = 16
STATE_SCREEN    = 17            ; VIC $D011 as it was before the image
STATE_SIZE      = 18

; The loader's own variables in page zero, after the state.
z_state         = ZP_STATE
z_load_hi       = ZP_STATE + STATE_LOAD_HI
z_load_lo       = ZP_STATE + STATE_LOAD_LO
z_length_hi     = ZP_STATE + STATE_LENGTH_HI
z_length_lo     = ZP_STATE + STATE_LENGTH_LO
z_frame         = ZP_STATE + STATE_FRAME
z_loader_sum    = ZP_STATE + STATE_LOADER_SUM
z_resident_sum  = ZP_STATE + STATE_RESIDENT_SUM
z_gap_start     = ZP_STATE + STATE_GAP_START
z_spare_source  = ZP_STATE + STATE_SPARE_SOURCE
z_bank          = ZP_STATE + STATE_BANK
z_first         = ZP_STATE + STATE_FIRST
z_last          = ZP_STATE + STATE_LAST
z_spare1        = ZP_STATE + STATE_SPARE1
z_spare2        = ZP_STATE + STATE_SPARE2
z_pages_left    = ZP_STATE + STATE_SIZE
z_screen_saved  = ZP_STATE + STATE_SCREEN
z_size          = z_pages_left + 2  ; pages of the place being looked for
z_home          = z_pages_left + 3
z_map_bits      = z_pages_left + 4
z_delta         = z_pages_left + 5
z_groups_left   = z_pages_left + 6
z_list          = z_pages_left + 7  ; (2 bytes)
        !if z_list + 2 > LOADER_PART_C { !error "loader variables overlap its code" }

; The 16-bit sum of the bytes of Y whole pages from page A on and of the
; first `limit` bytes of the page after them, into A (low byte) and
; `high`; C = 1 after it (it ends on a comparison that holds), X kept.
; The start-up and the home reckon with the same code.
!macro sum_bytes .high, .pages, .limit {
        sty .pages
        sta ZP_SRC+1
        ldy #0
        sty ZP_SRC
        sty .high
        tya
        clc
        cpy .pages
        beq .partial
.page   adc (ZP_SRC),y
        bcc +
        inc .high
        clc
+       iny
        bne .page
        inc ZP_SRC+1
        dec .pages
        bne .page
.partial
        cpy .limit
        beq .summed
.part   adc (ZP_SRC),y
        bcc +
        inc .high
        clc
+       iny
        cpy .limit
        bne .part
.summed
}

; Writes the resident code from the spare at page A into the home at page
; X, adding the home's distance from RESIDENT_BASE to every byte the map
; names. All RAM must be visible.
!macro relocate_from_spare .map_bits, .delta, .groups_left {
        clc
        adc #SPARE_LOADER_PAGES
        sta ZP_SRC+1
        adc #SPARE_MAP_PAGE
        sta ZP_MAP+1
        lda #0
        sta ZP_MAP
        stx ZP_DST+1
        txa
        sec
        sbc #>RESIDENT_BASE
        sta .delta
        lda #RELOCATION_GROUPS
        sta .groups_left
        ldy #0
        sty ZP_SRC
        sty ZP_DST
.group  ldx #0
        lda (ZP_MAP,x)
        sta .map_bits
        inc ZP_MAP
        ldx #8
.copy_byte lda (ZP_SRC),y
        lsr .map_bits
        bcc +
        clc
        adc .delta
+       sta (ZP_DST),y
        iny
        bne +
        inc ZP_SRC+1
        inc ZP_DST+1
+       dex
        bne .copy_byte
        dec .groups_left
        bne .group
}

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
        lda #ICR_CLEAR_MASK     ; no interrupts from either CIA
        sta CIA1_ICR
        sta CIA2_ICR
        lda CIA2_ICR            ; nor a strobe latched before the start
        lda #0
        sta CIA2_PRB            ; outputs low before they are enabled
        lda #PB_OUTPUTS
        sta CIA2_DDRB
        lda #$ff
        sta CIA2_TA_LO          ; the gap timer: 65536 cycles a tick
        sta CIA2_TA_HI
        lda CIA2_CRA
        and #CRA_TOD_50HZ
        ora #TIMER_START
        sta z_gap_start
        sta CIA2_CRA
        jsr clear_screen
        jsr measure_frame
        jsr map_relocations
        ; the spare's checks, from the copy in this program
        ldy #SPARE_LOADER_PAGES
        sty z_size
        lda #>spare_image
        ldx #STATE_LOADER_SUM
        jsr sum_part
        ldy #SPARE_RESIDENT_PAGES
        sty z_size
        lda #(>spare_image) + SPARE_LOADER_PAGES
        ldx #STATE_RESIDENT_SUM
        jsr sum_part
        ; as after an image that covers nothing: spares and home from here
        lda #>spare_image
        sta z_spare_source
        jsr screen_off
        lda #BANK_ALL_ROMS
        sta z_bank
        lda #$ff
        sta z_first
        lda #0
        sta z_last
        sta z_length_lo
        sta z_length_hi
        ldx #0
-       lda spare_image,x
        sta LOADER_PART_A,x
        cpx #LOADER_PART_B_SIZE
        bcs +
        lda spare_image + $100,x
        sta LOADER_PART_B,x
+       cpx #LOADER_PART_C_SIZE
        bcs +
        lda spare_image + $200,x
        sta LOADER_PART_C,x
+       inx
        bne -
        jmp loader_place

; Screen off while the spares and the first home are written, as while
; an image arrives: no bad lines steal cycles.
screen_off
        lda VIC_CONTROL
        sta z_screen_saved
        and #$ff - SCREEN_ON
        sta VIC_CONTROL
        rts

; The screen as the receiver leaves it: blank, so that what RUN left there
; is not taken for a message. (The screen shows what an image stores at
; $0400-$07FF, if one covers it.)
clear_screen
        lda #BLANK_CHAR
        ldx #0
-       sta SCREEN,x
        sta SCREEN + $100,x
        sta SCREEN + $200,x
        sta SCREEN + SCREEN_SIZE - $100,x
        inx
        bne -
        rts

; One frame's cycles into z_frame, less one (the timer's latch), timed
; by CIA 1 timer A counting down from $FFFF between two starts of line 0
; (each found within a few cycles). The lines are one more than the
; highest raster line seen on the way; cycles per line are then the one of
; 63, 64 and 65 whose frame lies nearest: 64 +- half a line.
measure_frame
        jsr wait_line_0
        lda #$ff
        sta CIA1_TA_LO
        sta CIA1_TA_HI
        lda #TIMER_ONE_SHOT
        sta CIA1_CRA
        lda #0
        sta z_frame             ; highest line - 256
-       lda VIC_RASTER          ; out of line 0
        beq -
--      ldx VIC_RASTER          ; $D012 before $D011: line 0 is not taken
        lda VIC_CONTROL         ; for line 256
        bmi +
        txa
        bne --
        beq ++                  ; line 0 again
+       cpx #$80                ; (a read across the step from 255 to 256)
        bcs --
        cpx z_frame
        bcc --
        stx z_frame
        bcs --
++      lda #0                  ; stopped, so that both bytes read alike
        sta CIA1_CRA
        inc z_frame             ; lines - 256: 56 PAL, 7 NTSC, 6 old NTSC
        lda CIA1_TA_LO          ; elapsed = $FFFF - count
        eor #$ff
        sta z_delta
        lda CIA1_TA_HI
        eor #$ff
        sta z_delta + 1         ; (z_delta, z_groups_left: scratch here)
        ; lines x 64 = (256 + z_frame) x 64, into z_map_bits (lo), z_home (hi)
        lda z_frame
        sta z_map_bits
        lda #1
        sta z_home
        ldx #6
-       asl z_map_bits
        rol z_home
        dex
        bne -
        ; nearest of lines x 63, 64, 65: compare the measured cycles with
        ; lines x 64 - lines/2 and lines x 64 + lines/2
        lda z_frame
        lsr                     ; lines / 2 - 128
        ora #$80
        sta z_size              ; lines / 2 (under 256 for every machine)
        sec
        lda z_map_bits
        sbc z_size
        tax
        lda z_home
        sbc #0
        cpx z_delta             ; C = 1: measured <= lines x 64 - lines/2
        sbc z_delta + 1
        ldy #63
        bcs +
        clc
        lda z_map_bits
        adc z_size
        tax
        lda z_home
        adc #0
        cpx z_delta
        sbc z_delta + 1
        ldy #64
        bcs +
        ldy #65
+       ; frame = lines x cycles per line: lines x 64, less or plus lines
        ; (lines = 256 + z_frame)
        cpy #64
        beq times_64
        bcc times_63
        clc
        lda z_map_bits
        adc z_frame
        sta z_frame
        lda z_home
        adc #1
        jmp store_frame
times_63
        lda z_map_bits
        sec
        sbc z_frame
        sta z_frame
        lda z_home
        sbc #1
        jmp store_frame
times_64
        lda z_map_bits
        sta z_frame
        lda z_home
store_frame
        sta z_frame + 1
        lda z_frame             ; less one: the latch
        bne +
        dec z_frame + 1
+       dec z_frame
        rts

wait_line_0
-       lda VIC_RASTER          ; out of line 0 first, if in it
        beq -
-       lda VIC_RASTER          ; then line 0 (not 256: bit 8 clear)
        bne -
        lda VIC_CONTROL
        bmi -
        rts

; Bit n of map byte k, for code byte 8k + n: set where the two assemblies
; of the resident part differ - a high byte of one of its own addresses.
map_relocations
        lda #<spare_resident
        sta ZP_SRC
        lda #>spare_resident
        sta ZP_SRC+1
        lda #<resident_moved
        sta ZP_DST
        lda #>resident_moved
        sta ZP_DST+1
        ldy #0
        ldx #0
--      lda #8
        sta z_groups_left
-       lda (ZP_SRC),y
        eor (ZP_DST),y
        cmp #1                  ; C = 1: they differ
        ror z_map_bits
        iny
        bne +
        inc ZP_SRC+1
        inc ZP_DST+1
+       dec z_groups_left
        bne -
        lda z_map_bits
        sta spare_map,x
        inx
        cpx #RELOCATION_GROUPS
        bne --
        rts

; The sum of z_size pages from page A on into the state at X.
sum_part
        ldy #0                  ; (z_size, z_delta: scratch here)
        sty z_delta
        ldy z_size
        +sum_bytes z_map_bits, z_size, z_delta
        sta z_state,x
        lda z_map_bits
        sta z_state+1,x
        rts

; ------------------------------------------- the spare, as this program has it
        !align 255, 0
spare_image

; ---------------------------- the loader's first part, at $0200: the image
        !pseudopc LOADER_PART_A {
loader_a_start

; The image's pages and the tune's memory configuration from the header.
load_body
        clc                     ; the page of the last byte: hi(load + length - 1)
        lda z_load_lo
        adc z_length_lo
        tax
        lda z_load_hi
        adc z_length_hi
        cpx #1                  ; C = 0 when the end is page aligned
        sbc #0
        sta z_last
        ldx #BANK_ALL_ROMS
        cmp #$a0
        bcc +
        dex                     ; BANK_NO_BASIC
        cmp #$e0
        bcc +
        dex                     ; BANK_NO_ROMS
+       stx z_bank
        lda z_load_hi
        sta z_first
; The start-up comes in here, with an image that covers nothing.
loader_place
        lda #ICR_CLEAR_MASK     ; no NMI from the last tune's CIA 2 sources
        sta CIA2_ICR
        lda #<loader_nmi        ; RESTORE while the home may be overwritten
        sta NMI_VECTOR
        lda #>loader_nmi
        sta NMI_VECTOR+1
        jsr place_spares
        ; The image is stored page by page with Y counting up to zero: the
        ; store base is moved down by the first index so that the last byte
        ; lands at index $ff of the last page.
        ; first index = -length mod 256; base = load - first index
        lda #0
        sec
        sbc z_length_lo
        tay
        sta z_pages_left        ; (for a moment)
        lda z_load_lo
        sec
        sbc z_pages_left
        sta fast_store+1
        lda z_load_hi
        sbc #0
        sta fast_store+2
        ldx z_length_hi         ; pages = ceil(length / 256)
        lda z_length_lo
        beq +
        inx
+       stx z_pages_left
        txa
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
        dec z_pages_left
        bne next_page
image_done
        jmp build_home

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
        ora high_nibble_table - $10,x ; 4
fast_store
        sta $ffff,y             ; 5
        lda #ICR_FLAG           ; 2
        iny                     ; 2
        bne fast_low            ; 3
        rts
fast_end
        !if >fast_page != >fast_end { !error "the image loop's branches must stay in one page" }

; A page that may touch $D000-$DFFF: the same, but each byte is stored
; with the I/O area switched to RAM for that one store.
slow_page
        lda fast_store+1
        sta slow_store+1
        lda fast_store+2
        sta slow_store+2
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
        ora high_nibble_table - $10,x
        ldx #BANK_ALL_RAM
        stx CPU_PORT
slow_store
        sta $ffff,y
        ldx z_bank
        stx CPU_PORT
        lda #ICR_FLAG
        iny
        bne slow_low
        rts

high_nibble_table
        !byte $00, $10, $20, $30, $40, $50, $60, $70
        !byte $80, $90, $a0, $b0, $c0, $d0, $e0, $f0
        !if >(high_nibble_table - $10) != >(high_nibble_table + $0f) { !error "the table must not cross a page" }

loader_nmi
        rti

; Address, value: the keyboard-decode vector, ENABL (no RS-232 sources
; for the NMI routine to re-enable), the keyboard buffer empty and its
; size, and no cursor blink.
kernal_values
        !word $028f
        !byte $48
        !word $0290
        !byte $eb
        !word $02a1
        !byte 0
        !word $00c6
        !byte 0
        !word $0289
        !byte 10
        !word $00cc
        !byte 1
KERNAL_VALUES = * - kernal_values
        !if kernal_values <= $02a1 { !error "the KERNAL's values would overwrite their own table" }

loader_a_end
        !if loader_a_end - loader_a_start > LOADER_PART_A_SIZE { !error "loader part A too large: ", loader_a_end - loader_a_start }
        }
        !fill LOADER_PART_A_SIZE - (loader_a_end - loader_a_start), 0

; ------------------- the loader's second part, at $0334: a home after the image
        !pseudopc LOADER_PART_B {
loader_b_start

; The home, from the first spare, into the first home place the image
; does not cover and the tune's memory configuration shows; then the home
; takes over. Without a spare or a home there is nothing to go on with:
; the receiver falls silent.
dead    jmp dead
build_home
        lda z_spare1
        beq dead
        lda #<home_places
        sta z_list
        lda #>home_places
        sta z_list+1
        lda #HOME_PAGES
        sta z_size
        ldx #0
        jsr find_place
        beq dead
        sta z_home
        tax
        lda #BANK_ALL_RAM
        sta CPU_PORT
        lda z_spare1
        +relocate_from_spare z_map_bits, z_delta, z_groups_left
        lda z_home              ; the state, then variables that start at 0
        clc
        adc #>HOME_STATE
        sta ZP_DST+1
        lda #<HOME_STATE
        sta ZP_DST
        ldy #STATE_SIZE + HOME_ZEROED - 1
-       lda #0
        cpy #STATE_SIZE
        bcs +
        lda z_state,y
+       sta (ZP_DST),y
        dey
        bpl -
        lda z_bank
        sta CPU_PORT
        ldx #KERNAL_VALUES - 3  ; what the KERNAL's interrupt routine reads
-       lda kernal_values,x
        sta ZP_SRC
        lda kernal_values+1,x
        sta ZP_SRC+1
        lda kernal_values+2,x
        ldy #0
        sta (ZP_SRC),y
        dex
        dex
        dex
        bpl -
        lda #$ff                ; the gap timer's latch, in case a tune wrote it
        sta CIA2_TA_LO
        sta CIA2_TA_HI
        lda z_screen_saved
        and #$7f
        sta VIC_CONTROL
        lda #<HOME_COMMAND_LOOP
        sta ZP_DST
        lda z_home
        sta ZP_DST+1
        jmp (ZP_DST)

loader_b_end
        !if loader_b_end - loader_b_start > LOADER_PART_B_SIZE { !error "loader part B too large: ", loader_b_end - loader_b_start }
        }
        !fill $100 - (loader_b_end - loader_b_start), 0

; ------------------------ the loader's third part, in page zero: the places
        !pseudopc LOADER_PART_C {
loader_c_start

; The home has put this part in place, with (ZP_SRC) on the page of the
; spare it came from: the other two parts from the pages before it.
fetch_loader
        dec ZP_SRC+1
        dec ZP_SRC+1
        ldy #0
-       lda (ZP_SRC),y
        sta LOADER_PART_A,y
        iny
        bne -
        inc ZP_SRC+1
        ldy #LOADER_PART_B_SIZE - 1
-       lda (ZP_SRC),y
        sta LOADER_PART_B,y
        dey
        cpy #$ff
        bne -
        lda z_bank
        sta CPU_PORT
        jmp load_body

; The first place from index X on in the list at (z_list) whose z_size
; pages miss the image and, for a home, are RAM in the tune's memory
; configuration. A = its page and X the index after it; A = 0 (Z = 1)
; when none is left.
find_place
-       txa
        tay
        inx
        lda (z_list),y
        beq found               ; the list's end
        clc
        adc z_size
        cmp z_first             ; ends before the image?
        beq +
        bcs ++
+       lda (z_list),y
        jmp visible
++      lda (z_list),y
        cmp z_last              ; starts after it?
        beq -
        bcc -
visible
        ldy z_size
        cpy #HOME_PAGES
        bne found               ; spares may lie under anything
        cmp #$a0
        bcc found
        cmp #$c0
        bcs +
        ldy z_bank              ; under BASIC
        cpy #BANK_ALL_ROMS
        beq -
        bne found
+       cmp #$e0
        bcc found
        ldy z_bank              ; under the KERNAL
        cpy #BANK_NO_ROMS + 1
        bcs -
found   cmp #0
        rts

; Two spares at the first two spare places the image does not cover: the
; first from the spare the home came from, the second from the first.
; Places lie apart from each other and from the home places, so a new
; place either is an old one or lies apart from it.
place_spares
        lda #<spare_places
        sta z_list
        lda #>spare_places
        sta z_list+1
        lda #SPARE_PAGES
        sta z_size
        lda #BANK_ALL_RAM
        sta CPU_PORT
        ldx #0
        jsr find_place
        sta z_spare1
        beq spares_placed
        cmp z_spare_source
        beq +
        ldy z_spare_source
        jsr copy_spare
+       jsr find_place          ; from the next place on
        bne +
        lda z_spare1            ; none: the first stands for both
+       sta z_spare2
        ldy z_spare1
        jsr copy_spare          ; (onto itself, when it stands for both)
spares_placed
        lda z_bank
        sta CPU_PORT
        rts

; SPARE_PAGES pages from page Y to page A; keeps X.
copy_spare
        sta ZP_DST+1
        sty ZP_SRC+1
        txa
        pha
        ldy #0
        sty ZP_SRC
        sty ZP_DST
        ldx #SPARE_PAGES
-       lda (ZP_SRC),y
        sta (ZP_DST),y
        iny
        bne -
        inc ZP_SRC+1
        inc ZP_DST+1
        dex
        bne -
        pla
        tax
        rts


; Tried in this order. Spare places start at the first page of a 16-page
; block (two under the I/O area; at $F4 in the last block), home places
; at its $D (at $FB in the last, short of the vectors): none overlaps
; another.
; Spares go under the I/O area first: no tune we surveyed writes there.
; Homes go to the middle of memory first: tunes keep their buffers right
; after their image or at $C000-$CFFF (a common player family writes
; $CBFA-$CC54 and $CD80-$CE26), seldom below $A000 far from the image.
spare_places
        !byte $d0, $d8, $e0, $f4, $a0, $b0, $c0, $80, $90, $60, $70
        !byte $40, $50, $20, $30, $10, 0
home_places
        !byte $7d, $5d, $9d, $3d, $bd, $1d, $ed, $fb, $cd, 0

loader_c_end
        !if loader_c_end - loader_c_start > LOADER_PART_C_SIZE { !error "loader part C too large: ", loader_c_end - loader_c_start }
        }
        !fill $100 - (loader_c_end - loader_c_start), 0

; ------------------------------------------- the resident part, as assembled
spare_resident
        !set PASS = 0
        !pseudopc RESIDENT_BASE { !zone { !source "resident.asm" } }
        !fill SPARE_MAP_PAGE * 256 - RESIDENT_SIZE, 0
spare_map
        !fill RELOCATION_GROUPS, 0
        !fill SPARE_PAGES * 256 - (* - spare_image), 0

; The same a page higher: only for map_relocations.
resident_moved
        !set PASS = 1
        !pseudopc RESIDENT_BASE + $100 { !zone { !source "resident.asm" } }

