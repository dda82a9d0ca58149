# Puts the user's files beside the two DLLs in dist/: the guide, the cable,
# the receiver program and its disk image, and the driver's source.
set(ZORBIN_DIST ${CMAKE_SOURCE_DIR}/dist)
add_custom_target(dist_files ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZORBIN_DIST}/c64 ${ZORBIN_DIST}/driver
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/user-guide.md ${ZORBIN_DIST}/README.md
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/cable.md ${ZORBIN_DIST}/cable.md
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/driver/userport.c ${ZORBIN_DIST}/driver/userport.c
    COMMAND ${CMAKE_COMMAND} -E copy ${ZORBIN_RECEIVER_PRG} ${ZORBIN_DIST}/c64/receiver.prg
    COMMAND ${CMAKE_COMMAND} -E copy ${ZORBIN_DISK_IMAGE} ${ZORBIN_DIST}/c64/in_zorbin.d64
    DEPENDS receiver_prg disk_image
    COMMENT "Gathering the release folder dist/")
