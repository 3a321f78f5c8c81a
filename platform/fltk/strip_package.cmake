# Run by CPack on the files it is about to package: strips the program as Debian's dh_strip does
# (CPACK_QV_STRIP_OPTIONS, from CMakeLists.txt).
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no program to strip under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_QV_STRIP}" ${CPACK_QV_STRIP_OPTIONS} "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
