# Run after every link of the program: writes the sizes of this build's program to OUTPUT, so
# that the figures the documentation points to always come from a build.
#   cmake -DPROGRAM=<file> -DOUTPUT=<sizes.md> [-DSTRIP=<strip> -DSTRIP_OPTIONS=<list>] -P this
file(SIZE "${PROGRAM}" bytes)
get_filename_component(name "${PROGRAM}" NAME)
function(kib bytes out)
    math(EXPR value "(${bytes} + 512) / 1024")
    set(${out} ${value} PARENT_SCOPE)
endfunction()
kib(${bytes} size)
set(rows "| `${name}`, as built | ${bytes} | ${size} |\n")
if(STRIP)
    # Stripped as the Debian package holds it, on a copy.
    set(copy "${OUTPUT}.stripped")
    file(COPY_FILE "${PROGRAM}" "${copy}")
    execute_process(COMMAND "${STRIP}" ${STRIP_OPTIONS} "${copy}" COMMAND_ERROR_IS_FATAL ANY)
    file(SIZE "${copy}" stripped)
    file(REMOVE "${copy}")
    kib(${stripped} size)
    string(APPEND rows "| `${name}`, stripped as the Debian package holds it | ${stripped} | ${size} |\n")
endif()
file(WRITE "${OUTPUT}" "# Sizes of this build\n\n"
                       "Written by the build each time it links the program.\n\n"
                       "| file | bytes | KiB |\n|---|---|---|\n${rows}")
