; Test tune: sub-songs that do what real tunes do to the machine around
; them. Each play call counts in PLAY_COUNT (24 bits); IRQ_COUNT counts the
; calls of song 3's own interrupt handler.
;   song 1: keeps variables in page zero ($02-$FF), $02A7-$02FF and the tape
;           buffer $033C-$03FB, rewriting them on every play call, and
;           pushes 24 bytes on the stack while it plays
;   song 2: init enables CIA 1 timer A's interrupt and clears I
;   song 3: the same with its own handler at $0314 (which ends in the
;           system's, $EA31)
;   song 4: init takes 5 seconds (PAL)
;     acme -o hostile.sid hostile.asm

        !cpu 6502
LOAD            = $1000
INIT            = LOAD
PLAY            = LOAD + 3
PLAY_COUNT      = LOAD + 6
IRQ_COUNT       = LOAD + 9
SONG            = LOAD + 10
SONGS           = 4
START_SONG      = 1
SPEED           = 0
CIA1_ICR        = $dc0d
IRQ_VECTOR      = $0314
SYSTEM_IRQ      = $ea31
STACK_BYTES     = 24

        !source "psid_header.asm"

        !pseudopc LOAD {
        jmp start
        jmp tick
        !byte 0, 0, 0           ; PLAY_COUNT
        !byte 0                 ; IRQ_COUNT
        !byte 0                 ; SONG

start   sta SONG
        ldx #0
        stx PLAY_COUNT
        stx PLAY_COUNT+1
        stx PLAY_COUNT+2
        stx IRQ_COUNT
        cmp #1
        beq enable_irq
        cmp #2
        beq own_handler
        cmp #3
        beq long_init
        ; fall through: song 1

; Fills what song 1 keeps as variables with the low byte of PLAY_COUNT.
fill    lda PLAY_COUNT
        ldx #$02
-       sta $00,x
        inx
        bne -
        ldx #$02a7 - $0200
-       sta $0200,x
        inx
        bne -
        ldx #$fb - $3c + 1
-       sta $033c - 1,x
        dex
        bne -
        rts

own_handler
        lda #<handler
        sta IRQ_VECTOR
        lda #>handler
        sta IRQ_VECTOR+1
enable_irq
        lda #$81                ; timer A's interrupt on
        sta CIA1_ICR
        cli
        ldy #40                 ; about 100 ms with interrupts running
-       dex
        bne -
        dey
        bne -
        rts

handler inc IRQ_COUNT
        jmp SYSTEM_IRQ

; About 5 seconds: 7 x 256 x 256 rounds of 11 cycles, 5.05 million
; cycles (5.1 s PAL, 4.9 s NTSC).
long_init
        lda #7
        sta rounds
outer   ldy #0
middle  ldx #0
inner   nop
        nop
        nop
        dex
        bne inner
        dey
        bne middle
        dec rounds
        bne outer
        rts
rounds  !byte 0

tick    inc PLAY_COUNT
        bne +
        inc PLAY_COUNT+1
        bne +
        inc PLAY_COUNT+2
+       lda SONG
        bne +
        jsr fill
        ldx #STACK_BYTES
-       pha
        dex
        bne -
        ldx #STACK_BYTES
-       pla
        dex
        bne -
+       rts
        }
