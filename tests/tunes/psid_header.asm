; PSID v2 header for the receiver's test tunes, written by the assembler.
; The including file defines SONGS, START_SONG, SPEED (bit n-1: song n is
; called from CIA 1 timer A), INIT and PLAY, and follows with its code
; from LOAD on.

        * = $0000
        !text "PSID"
        !be16 2                 ; version
        !be16 header_end        ; data offset
        !be16 0                 ; load address: first two data bytes
        !be16 INIT
        !be16 PLAY
        !be16 SONGS
        !be16 START_SONG
        !be32 SPEED
.name   !text "in_zorbin test tune"
        !fill 32 - (* - .name), 0
.author !text "in_zorbin project"
        !fill 32 - (* - .author), 0
.release !text "2026 in_zorbin project"
        !fill 32 - (* - .release), 0
        !be16 %0000000000010100 ; flags: PAL, 6581
        !byte 0, 0              ; start page, page length
        !be16 0                 ; reserved
header_end
        !word LOAD              ; load address, little-endian
