# Run by CPack on the staged installation: the programs lose their symbols
# and the compiler's comment and note sections, as Debian's own packages do.
find_program(strip_program strip REQUIRED)
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no programs staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program ${programs})
    execute_process(COMMAND ${strip_program} --remove-section=.comment --remove-section=.note
                            ${program} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "strip failed on ${program}")
    endif()
endforeach()
