# The release in one place: its version, the files of the release folder
# (dist/) and of its archive, and the papers the installer puts beside the
# DLL. The build copies, packs and installs from these lists; the release
# tests and the installer test read them from the header made below.

# The version is project()'s; it names the installer and the archive and is
# the DLL's version resource.
set(ZORBIN_RELEASE in_zorbin-${PROJECT_VERSION})
set(ZORBIN_SETUP_NAME ${ZORBIN_RELEASE}-setup.exe)

# The release folder: <name there> <where it comes from> pairs. Tree files
# are paths in the source tree; "cross:" ones are built by the cross build
# straight into dist/, "built:" ones by either build. The driver's source
# goes whole, with every file it includes besides the kernel's headers.
set(ZORBIN_RELEASE_FILES
    full/in_zorbin.dll   "cross: the full build"
    fixed/in_zorbin.dll  "cross: the fixed build"
    ${ZORBIN_SETUP_NAME} "cross: the installer"
    c64/in_zorbin.d64    "built: the disk image"
    c64/receiver.prg     "built: the receiver"
    README.md            docs/user-guide.md
    cable.md             docs/cable.md
    driver/userport.c    driver/userport.c
    driver/port_grant.h  driver/port_grant.h)

# What the installer puts into <player>\Plugins\in_zorbin besides its
# uninstaller: <installed name> <name in the release folder> pairs.
set(ZORBIN_PAPERS
    user-guide.md  README.md
    cable.md       cable.md
    in_zorbin.d64  c64/in_zorbin.d64)

# The file a release name comes from in this build, into `out`. The built
# ones exist only once their directories are added (receiver/, plugin/).
function(zorbin_release_source name out)
    set(built_full_in_zorbin.dll $<TARGET_FILE:in_zorbin_full>)
    set(built_fixed_in_zorbin.dll $<TARGET_FILE:in_zorbin_fixed>)
    set(built_${ZORBIN_SETUP_NAME} ${CMAKE_SOURCE_DIR}/dist/${ZORBIN_SETUP_NAME})
    set(built_c64_in_zorbin.d64 ${ZORBIN_DISK_IMAGE})
    set(built_c64_receiver.prg ${ZORBIN_RECEIVER_PRG})
    list(FIND ZORBIN_RELEASE_FILES ${name} at)
    if(at LESS 0)
        message(FATAL_ERROR "${name} is not in the release")
    endif()
    math(EXPR at "${at} + 1")
    list(GET ZORBIN_RELEASE_FILES ${at} from)
    string(REPLACE "/" "_" key ${name})
    if(from MATCHES "^(cross|built): ")
        set(${out} ${built_${key}} PARENT_SCOPE)
    else()
        set(${out} ${CMAKE_SOURCE_DIR}/${from} PARENT_SCOPE)
    endif()
endfunction()

# Every other item of a pair list: its names.
function(zorbin_pair_names list out)
    set(names)
    set(i 0)
    list(LENGTH ${list} length)
    while(i LESS length)
        list(GET ${list} ${i} name)
        list(APPEND names ${name})
        math(EXPR i "${i} + 2")
    endwhile()
    set(${out} ${names} PARENT_SCOPE)
endfunction()

# For the resource script and the tests: the version and both name lists.
zorbin_pair_names(ZORBIN_RELEASE_FILES release_names)
zorbin_pair_names(ZORBIN_PAPERS paper_names)
string(REPLACE ";" "\", \"" release_names "\"${release_names}\"")
string(REPLACE ";" "\", \"" paper_names "\"${paper_names}\"")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/zorbin_release.h CONTENT
"// Made by cmake/release.cmake from the project's version and release lists.
#define ZORBIN_VERSION_TEXT \"${PROJECT_VERSION}\"
#define ZORBIN_VERSION_NUMBERS ${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, ${PROJECT_VERSION_PATCH}, ${PROJECT_VERSION_TWEAK}
#define ZORBIN_RELEASE_TOP \"${ZORBIN_RELEASE}\"
#define ZORBIN_SETUP_NAME \"${ZORBIN_SETUP_NAME}\"
#define ZORBIN_RELEASE_FILES ${release_names}
#define ZORBIN_PAPERS ${paper_names}
")
include_directories(${CMAKE_BINARY_DIR}/generated)
