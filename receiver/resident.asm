; The resident part: what runs while a tune is alive - the command loop,
; the wire, the play calls, the commands, the repair and the interrupt
; handlers - and its variables. receiver.asm assembles this file twice, one
; page apart, and the start-up compares the two copies to find the bytes
; that hold a high byte of an address in here: those are the bytes a move
; to another home must change (see the relocation map). Labels are local
; (a leading dot) so that both copies can live in one assembly; what the
; rest of the receiver needs from here it takes as offsets from .start,
; from the first copy.
;
; Free bytes: 37 of RESIDENT_SIZE (receiver.asm), and 4 after the
; variables in the home's three pages; the assembly stops when either
; no longer fits.

.start
; What the dispatch takes from the command byte: $80 + index.
.command_table
        !word .load_image - 1, .init_song - 1, .start_play - 1, .stop_command - 1
.kernal_vectors                 ; $0314 IRQ, $0316 BRK, $0318 NMI
        !word .kernal_irq, .kernal_irq, .nmi_return
.hardware_vectors               ; $FFFA NMI, $FFFC reset, $FFFE IRQ
        !word .nmi_return, .nmi_return, .ram_irq

; Every command starts here, with the stack empty.
.command_loop
        ldx #STACK_TOP
        txs
        lda #0                  ; the handshake at rest
        sta CIA2_PRB
        jsr .get_byte
        asl                     ; only $80 to the last command are commands
        bcc .command_loop
        cmp #2 * (CMD_LAST - CMD_LOAD) + 1
        bcs .command_loop
        tax
        lda .command_table + 1,x
        pha
        lda .command_table,x
        pha
        ; fall through: repair, then RTS into the command

; Checks this home against the sum it had when it was new and, should a
; tune have written into it while it played, writes it again from the
; first spare whose resident pages pass their check, so that the command
; does not run damaged code; then the vectors. The sums and the copy run
; through page-zero pointers, which belong to the tune: they are saved on
; the stack and put back.
.repair
        ldx #-ZP_POINTERS_SIZE & $ff   ; (page-zero indexing wraps)
-       lda ZP_POINTERS + ZP_POINTERS_SIZE,x
        pha
        inx
        bne -
        lda #<RESIDENT_SIZE
        sta .sum_limit
        lda #>.start
        ldy #>RESIDENT_SIZE
        jsr .sum
        ldx #HOME_SUM
        ldy .home_summed
        bne +
        inc .home_summed        ; a new home: its sum is the one to keep
        sta .state,x
        lda .sum_high
        sta .state+1,x
        bcs .repaired           ; (always: .sum leaves C set)
+       jsr .sum_is
        beq .repaired
        ldx #STATE_RESIDENT_SUM
        jsr .good_spare
        bcs .repaired           ; nothing to repair from
        ldx #>.start
        +relocate_from_spare .map_bits, .delta, .groups_left
.repaired
        jsr .restore_bank
        ldx #ZP_POINTERS_SIZE - 1
-       pla
        sta ZP_POINTERS,x
        dex
        bpl -
        lda #$ff                ; what the receiver needs of CIA 2, should a
        sta CIA2_TA_LO          ; tune have written it: the gap timer's
        sta CIA2_TA_HI          ; latch, and neither FLAG nor that timer
        lda #ICR_FLAG | ICR_TIMER_A ; interrupting
        sta CIA2_ICR
        ; the vectors: the KERNAL's at $0314 always, the hardware's at
        ; $FFFA unless the image reaches page $FF
        ldx #5
-       lda .kernal_vectors,x
        sta IRQ_VECTOR,x
        ldy .image_last
        iny
        beq +
        lda .hardware_vectors,x
        sta HARDWARE_VECTORS,x
+       dex
        bpl -
        rts

; The first spare whose part passes its check: X names the part by
; where its sum lies in the state (the loader's pages or the resident's).
; C = 0 and A = the spare's page when one does; C = 1 when none. Leaves
; all RAM visible.
.good_spare
        lda #BANK_ALL_RAM       ; the spares may lie under anything
        sta CPU_PORT
        lda .spare1
        jsr .check_spare
        bcc +
        lda .spare2
        jsr .check_spare
+       lda .checked_page
        rts

.check_spare
        sta .checked_page
        ldy #0
        sty .sum_limit          ; whole pages
        ldy #SPARE_LOADER_PAGES
        cpx #STATE_RESIDENT_SUM
        bne +
        adc #SPARE_LOADER_PAGES - 1 ; (C = 1)
        ldy #SPARE_RESIDENT_PAGES
+       jsr .sum
        jsr .sum_is
        beq +
.bad    sec
+       rts

; Z = 1 when the sum in A and .sum_high is the one at .state + X; C = 0.
.sum_is
        cmp .state,x
        bne +
        lda .sum_high
        cmp .state+1,x
+       clc
        rts

; The 16-bit sum of Y whole pages from page A on and of the first
; .sum_limit bytes of the page after them: A its low byte, .sum_high its
; high byte; C = 1, X kept.
.sum
        +sum_bytes .sum_high, .sum_pages, .sum_limit
        rts

; One byte from the wire, low nibble first, calling play on every timer
; tick while it waits. Keeps Y.
.get_byte
        jsr .wait_nibble
        sta .low_nibble
        lda #BUSY               ; answer the low nibble: status bit 7 reads 0
        sta CIA2_PRB
        jsr .wait_nibble
        asl
        asl
        asl
        asl
        ora .low_nibble
        ldx #0                  ; answer the high nibble: back to rest
        stx CIA2_PRB
        rts

.wait_nibble
        lda CIA2_ICR            ; one read serves FLAG and the gap timer
        lsr                     ; a gap timer tick into C
        bcc +
        dec .gap_left           ; (between commands a restart changes nothing)
        bne +
        jmp .command_loop       ; a gap: start afresh
+       and #ICR_FLAG >> 1
        bne .nibble_here
        lda CIA1_ICR            ; the tune's timer
        ora .tick_pending
        lsr
        bcc .wait_nibble
        lsr .tick_pending
        lda .playing
        beq .wait_nibble
        tya
        pha
        jsr .call_play
        jsr .after_call
        pla
        tay
        jmp .wait_nibble
.nibble_here
        lda #GAP_TICKS          ; each nibble restarts the gap clock
        sta .gap_left
        lda .state + STATE_GAP_START
        sta CIA2_CRA
        lda CIA2_PRB
        and #$0f
        rts

.after_call
        sei
        cld
.restore_bank
        lda .bank
        sta CPU_PORT
        rts

; Silences the SID and stops play calls; returns A = 0.
.stop_playing
        lda #0
        sta .playing
        ldx #SID_REGISTERS - 1
-       sta SID,x
        dex
        bpl -
        rts

; $81 init lo, hi, song index: CIA 1 timer A runs one frame, and init is
; called with the index in A. Init may program the timer.
.init_song
        jsr .get_byte
        sta .init_address
        jsr .get_byte
        sta .init_address+1
        jsr .get_byte
        pha
        lda #0                  ; no play call until $82 says so
        sta .playing
        lda .state + STATE_FRAME
        sta CIA1_TA_LO
        lda .state + STATE_FRAME + 1
        sta CIA1_TA_HI
        lda #ICR_CLEAR_MASK
        sta CIA1_ICR
        lda #TIMER_START
        sta CIA1_CRA
        pla
        jsr .call_init
        jsr .after_call
        jmp .command_loop

; $82 play lo, hi: call play on every tick of the timer from now on.
.start_play
        jsr .get_byte
        sta .play_address
        jsr .get_byte
        sta .play_address+1
        lda #1
        sta .playing
        jmp .command_loop

; $83 0, 0.
.stop_command
        jsr .get_byte
        jsr .get_byte
        jsr .stop_playing
        jmp .command_loop

; $80 length lo, hi, load lo, hi, image. A load address below $03F0 is
; no real command. The loader comes from the spare that passed the
; repair's check, once its own pages pass theirs too; without one the
; image is taken and dropped, and the receiver falls silent: nothing it
; could store the image with is left, and taking the image for commands
; would be worse.
.load_image
        ldy #3
-       jsr .get_byte
        sta .state + STATE_LOAD_HI,y   ; last byte first
        dey
        bpl -
        lda .state + STATE_LOAD_LO
        cmp #<LOWEST_LOAD
        lda .state + STATE_LOAD_HI
        sbc #>LOWEST_LOAD
        bcs +
        jmp .command_loop
+       jsr .stop_playing
        lda VIC_CONTROL         ; screen off from here to the new home: no
        sta .state + STATE_SCREEN ; bad lines steal cycles from the image
        and #$ff - SCREEN_ON
        sta VIC_CONTROL
        ldx #STATE_LOADER_SUM
        jsr .good_spare
        bcs .discard
        sta .state + STATE_SPARE_SOURCE
        ldx #STATE_SIZE - 1     ; what the loader needs to know
-       lda .state,x
        sta ZP_STATE,x
        dex
        bpl -
        lda .state + STATE_SPARE_SOURCE
        clc
        adc #SPARE_LOADER_PAGES - 1 ; its last part; it fetches the others
        sta ZP_SRC+1
        ldy #LOADER_PART_C_SIZE - 1
-       lda (ZP_SRC),y
        sta LOADER_PART_C,y
        dey
        cpy #$ff
        bne -
        jmp fetch_loader

.discard
        jsr .restore_bank
-       lda .state + STATE_LENGTH_LO
        ora .state + STATE_LENGTH_HI
        beq .silent
        jsr .get_byte
        lda .state + STATE_LENGTH_LO
        bne +
        dec .state + STATE_LENGTH_HI
+       dec .state + STATE_LENGTH_LO
        jmp -
.silent jmp .silent             ; until started again

.call_init
        jmp (.init_address)
.call_play
        jmp (.play_address)

; IRQ through $0314 (the KERNAL's entry saved A, X, Y), and BRK through
; $0316: keep a timer tick for the poll loop and return.
.kernal_irq
        jsr .note_irq
        pla
        tay
        pla
        tax
        pla
.nmi_return
        rti
; IRQ through $FFFE with the KERNAL banked out.
.ram_irq
        pha
        jsr .note_irq
        pla
        rti
.note_irq
        asl VIC_IRQ_FLAGS       ; a raster interrupt the tune enabled: done
        lda CIA1_ICR
        and #1
        ora .tick_pending
        sta .tick_pending
        rts

.code_end
        !if .code_end - .start > RESIDENT_SIZE {
                !error "resident code too large by ", .code_end - .start - RESIDENT_SIZE
        }

; Variables, after the code: not in the spare and not repaired.
        !fill RESIDENT_SIZE - (.code_end - .start), 0
.state          = .start + RESIDENT_SIZE    ; as in page zero while an image arrives
.bank           = .state + STATE_BANK
.image_last     = .state + STATE_LAST
.spare1         = .state + STATE_SPARE1
.spare2         = .state + STATE_SPARE2
.playing        = .state + STATE_SIZE       ; zeroed with each new home from here on
.tick_pending   = .playing + 1              ; bit 0: timer A ran out while an IRQ was taken
.gap_left       = .playing + 2              ; gap timer ticks until the receiver starts afresh
.low_nibble     = .playing + 3
.home_summed    = .playing + 4              ; 0: a new home, its sum not yet taken
.map_bits       = .playing + 5
.delta          = .playing + 6
.groups_left    = .playing + 7
.sum_high       = .playing + 8
.checked_page   = .playing + 9
.sum_pages      = .playing + 10
.sum_limit      = .playing + 11
.home_sum       = .playing + 12             ; (2 bytes)
HOME_SUM = .home_sum - .state
.init_address   = .playing + 14             ; set by $81
.play_address   = .playing + 16             ; set by $82
.end            = .playing + 18
        !if <.init_address = $ff or <.play_address = $ff { !error "JMP () takes its high byte from the same page" }
        !if .end - .start > HOME_PAGES * 256 { !error "home too small" }

        !if PASS = 0 {
HOME_COMMAND_LOOP = .command_loop - .start
HOME_STATE = .state - .start
HOME_ZEROED = .end - .playing
RESIDENT_FREE = RESIDENT_SIZE - (.code_end - .start)
        }
