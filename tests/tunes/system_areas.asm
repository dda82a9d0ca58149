; Test tune: uses the bytes real tunes take from the system. Each play call
; counts in PLAY_COUNT (24 bits) and copies its low byte into all of
; $0334-$033B, which the system leaves unused and tunes use as free RAM.
;   song 1: init clears $0278-$02A6, as the system's own screen set-up does
;   song 2: the same, then its own interrupt handler at $0314 that ends in
;           the system's ($EA31, which scans the keyboard into $028D/$028E
;           and counts the clock), CIA 1 timer A's interrupt on, I clear
;     acme -o system_areas.sid system_areas.asm

        !cpu 6502
LOAD            = $1000
INIT            = LOAD
PLAY            = LOAD + 3
PLAY_COUNT      = LOAD + 6
IRQ_COUNT       = LOAD + 9
SONGS           = 2
START_SONG      = 1
SPEED           = 0
CIA1_ICR        = $dc0d
IRQ_VECTOR      = $0314
SYSTEM_IRQ      = $ea31
FREE_BYTES      = $0334
FREE_SIZE       = 8
TABLES          = $0278
TABLES_END      = $02a6

        !source "psid_header.asm"

        !pseudopc LOAD {
        jmp start
        jmp tick
        !byte 0, 0, 0           ; PLAY_COUNT
        !byte 0                 ; IRQ_COUNT

start   tay
        lda #0
        sta PLAY_COUNT
        sta PLAY_COUNT+1
        sta PLAY_COUNT+2
        sta IRQ_COUNT
        ldx #TABLES_END - TABLES + 1
-       sta TABLES - 1,x
        dex
        bne -
        cpy #1
        bne +
        lda #<handler
        sta IRQ_VECTOR
        lda #>handler
        sta IRQ_VECTOR+1
        lda #$81                ; timer A's interrupt on
        sta CIA1_ICR
        cli
        ldy #40                 ; about 100 ms with interrupts running
-       dex
        bne -
        dey
        bne -
+       rts

handler inc IRQ_COUNT
        jmp SYSTEM_IRQ

tick    inc PLAY_COUNT
        bne +
        inc PLAY_COUNT+1
        bne +
        inc PLAY_COUNT+2
+       lda PLAY_COUNT
        ldx #FREE_SIZE
-       sta FREE_BYTES - 1,x
        dex
        bne -
        rts
        }
