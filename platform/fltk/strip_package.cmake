# Run by CPack on the files it is about to package: strips the program as Debian's dh_strip does,
# dropping the symbols and the .comment and .note sections that nothing reads at run time.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no program to strip under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_QV_STRIP}" --remove-section=.comment --remove-section=.note
                            "${program}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
