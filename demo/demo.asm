; in_zorbin demo tune: a PSID file with three short sub-songs, assembled
; with ACME straight into its final form (header and all), so nothing but
; this file and the assembler is needed to make it:
;     acme -o demo.sid demo.asm
;
; init ($1000) takes the 0-based song index in A, clears the SID and sets
; up the song; play ($1003) is called 50 times a second and steps through
; a note list on voice 1, doubling it an octave lower on voice 2.
; No zero page is used, so the tune cannot collide with the receiver.

        !cpu 6502

SID     = $d400
FREQ_LO = 0
FREQ_HI = 1
PW_HI   = 3
CONTROL = 4
ATT_DEC = 5
SUS_REL = 6
VOICE2  = 7
VOLUME  = $18

GATE    = $01
REST    = $fe                   ; note list: silence for one step
LOOP    = $ff                   ; note list: start the song again

; ------------------------------------------------------------- PSID header
        * = $0000
        !text "PSID"
        !be16 2                 ; version
        !be16 data - header_base ; data offset
        !be16 0                 ; load address: first two data bytes
        !be16 init
        !be16 play
        !be16 3                 ; songs
        !be16 1                 ; start song
        !be32 0                 ; speed: every song on the vertical blank
header_base = 0
name    !text "Zorbin Demo"
        !fill 32 - (* - name), 0
author  !text "in_zorbin project"
        !fill 32 - (* - author), 0
release !text "2026 in_zorbin project"
        !fill 32 - (* - release), 0
        !be16 %0000000000010100 ; flags: PAL, 6581
        !byte 0, 0              ; start page, page length
        !be16 0                 ; reserved
data    !word $1000             ; load address, little-endian

; ------------------------------------------------------------- the tune
        !pseudopc $1000 {
init    jmp start_song
play    jmp next_frame

start_song
        cmp #SONGS
        bcc +
        lda #0                  ; unknown song: play the first
+       tax
        stx song
        lda #0
        ldy #VOLUME
-       sta SID,y
        dey
        bpl -
        lda first_note,x
        sta position
        lda tempo,x
        sta frames_per_step
        lda #1
        sta frames_left
        lda waveform,x
        sta wave
        lda #$08
        sta SID+PW_HI
        lda #$09
        sta SID+ATT_DEC
        lda #$a4
        sta SID+SUS_REL
        lda #$08
        sta SID+VOICE2+ATT_DEC
        lda #$c6
        sta SID+VOICE2+SUS_REL
        lda #$0f
        sta SID+VOLUME
        rts

next_frame
        dec frames_left
        bne done
        lda frames_per_step
        sta frames_left
        ldx position
        lda notes,x
        cmp #LOOP
        bne +
        ldy song
        ldx first_note,y
        lda notes,x
+       inx
        stx position
        tay
        lda wave                ; gate off: release the previous note
        sta SID+CONTROL
        lda #$10
        sta SID+VOICE2+CONTROL
        cpy #REST
        beq done
        lda freq_lo,y
        sta SID+FREQ_LO
        lda freq_hi,y
        sta SID+FREQ_HI
        lda wave
        ora #GATE
        sta SID+CONTROL
        cpy #12
        bcc done                ; no lower octave in the table
        lda freq_lo-12,y
        sta SID+VOICE2+FREQ_LO
        lda freq_hi-12,y
        sta SID+VOICE2+FREQ_HI
        lda #$11                ; triangle, gate on
        sta SID+VOICE2+CONTROL
done    rts

SONGS = 3
first_note      !byte song1 - notes, song2 - notes, song3 - notes
tempo           !byte 12, 18, 6            ; frames per step
waveform        !byte $40, $10, $20        ; pulse, triangle, sawtooth

song    !byte 0
position !byte 0
frames_per_step !byte 0
frames_left !byte 0
wave    !byte 0

; Note numbers index the tables below: 0 = C2, 12 = C3, 24 = C4, 36 = C5.
notes
song1   !byte 24, 28, 31, 36, 31, 28, 24, REST
        !byte 26, 29, 33, 38, 33, 29, 26, REST, LOOP
song2   !byte 21, 24, 28, 33, 28, 24, 19, 23, 26, 31, 26, 23, LOOP
song3   !byte 12, 24, 12, 24, 15, 27, 15, 27, 17, 29, 17, 29, 19, 31, 19, 31, LOOP

; PAL frequencies (985248 Hz clock) for C2..B5
freq_lo !byte $5a,$9c,$e2,$2d,$7b,$cf,$27,$85,$e8,$51,$c1,$37
        !byte $b4,$38,$c4,$59,$f7,$9d,$4e,$0a,$d0,$a2,$81,$6d
        !byte $67,$70,$89,$b2,$ed,$3b,$9c,$13,$a0,$45,$02,$da
        !byte $ce,$e0,$11,$64,$da,$76,$39,$26,$40,$89,$04,$b4
freq_hi !byte $04,$04,$04,$05,$05,$05,$06,$06,$06,$07,$07,$08
        !byte $08,$09,$09,$0a,$0a,$0b,$0c,$0d,$0d,$0e,$0f,$10
        !byte $11,$12,$13,$14,$15,$17,$18,$1a,$1b,$1d,$1f,$20
        !byte $22,$24,$27,$29,$2b,$2e,$31,$34,$37,$3a,$3e,$41
        }
