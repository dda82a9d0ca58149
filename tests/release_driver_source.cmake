# The shipped driver source compiles from the release archive's files alone,
# with the kernel's headers: the archive's driver/ folder is unpacked into an
# empty folder and each of its C files compiled there by the compiler the
# build makes the driver with. A header the source includes but the archive
# lacks fails here.
#   cmake -DZIP=<archive> -DTOP=<its top folder> -DCC=<compiler> -DDDK=<kernel headers>
#         -DWORK=<scratch folder> -P release_driver_source.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} ${TOP}/driver
                WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status)
file(GLOB sources ${WORK}/${TOP}/driver/*.c)
if(NOT status EQUAL 0 OR NOT sources)
    message(FATAL_ERROR "no driver source in ${ZIP}")
endif()
foreach(source ${sources})
    execute_process(COMMAND ${CC} -c -ffreestanding -isystem ${DDK} ${source} -o ${source}.o
                    WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${source} does not compile from the archive's files")
    endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
