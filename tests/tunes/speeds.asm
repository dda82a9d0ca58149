; Test tune: one sub-song per way of setting the play rate. Each play call
; counts in PLAY_COUNT (24 bits); init stores the song index at SONG.
;   song 1: leaves CIA 1 timer A alone: called once per frame
;   song 2: timer A latch 9851: 100 Hz on PAL
;   song 3: timer A latch 2052: 480 Hz on PAL
;   song 4: 100 Hz, re-programmed to 200 Hz (latch 4925) by its 256th play
;     acme -o speeds.sid speeds.asm

        !cpu 6502
LOAD            = $1000
INIT            = LOAD
PLAY            = LOAD + 3
PLAY_COUNT      = LOAD + 6
SONG            = LOAD + 9
SONGS           = 4
START_SONG      = 2
SPEED           = %1110
TIMER_A_LO      = $dc04
TIMER_A_HI      = $dc05
TIMER_A_CONTROL = $dc0e
SWITCH_AT       = 256

        !source "psid_header.asm"

        !pseudopc LOAD {
        jmp start
        jmp tick
        !byte 0, 0, 0           ; PLAY_COUNT
        !byte 0                 ; SONG

start   sta SONG
        ldx #0
        stx PLAY_COUNT
        stx PLAY_COUNT+1
        stx PLAY_COUNT+2
        tax
        cpx #SONGS
        bcs +
        lda latch_hi,x
        beq +                   ; song 1: the timer as the player set it
        sta TIMER_A_HI
        lda latch_lo,x
        sta TIMER_A_LO
        lda #$11                ; start it afresh, as many tunes do
        sta TIMER_A_CONTROL
+       rts

tick    inc PLAY_COUNT
        bne +
        inc PLAY_COUNT+1
        bne +
        inc PLAY_COUNT+2
+       lda SONG
        cmp #3
        bne +
        lda PLAY_COUNT
        bne +
        lda PLAY_COUNT+1
        cmp #>SWITCH_AT
        bne +
        lda #<4925
        sta TIMER_A_LO
        lda #>4925
        sta TIMER_A_HI
+       rts

latch_lo !byte 0, <9851, <2052, <9851
latch_hi !byte 0, >9851, >2052, >9851
        }
