# Puts the release files that the native build can make beside the two DLLs
# and the installer, which the cross build puts into dist/ itself.
set(ZORBIN_DIST ${CMAKE_SOURCE_DIR}/dist)
set(commands)
set(i 0)
list(LENGTH ZORBIN_RELEASE_FILES length)
while(i LESS length)
    list(GET ZORBIN_RELEASE_FILES ${i} name)
    math(EXPR i "${i} + 1")
    list(GET ZORBIN_RELEASE_FILES ${i} from)
    math(EXPR i "${i} + 1")
    if(NOT from MATCHES "^cross: ")
        zorbin_release_source(${name} source)
        get_filename_component(folder ${ZORBIN_DIST}/${name} DIRECTORY)
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
                             COMMAND ${CMAKE_COMMAND} -E copy ${source} ${ZORBIN_DIST}/${name})
    endif()
endwhile()
add_custom_target(dist_files ALL ${commands}
    DEPENDS receiver_prg disk_image
    COMMENT "Gathering the release folder dist/")
