# Debian's hardening flags for every target of a native Linux build: fortified string and I/O
# functions, the stack protector, and a read-only relocation table bound at start-up (relro,
# bindnow). Debian's gcc makes position-independent executables already. The flags come from
# dpkg-buildflags, as a Debian package build would take them; its -g and -O are left out, so the
# build type still decides debug information and optimisation.
option(QV_HARDENING "Build with Debian's hardening flags (dpkg-buildflags, hardening=+all)" ON)
if(NOT QV_HARDENING)
    return()
endif()
find_program(QV_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT QV_DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags not found (Debian: dpkg-dev); building without hardening flags")
    return()
endif()

function(qv_buildflags name out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${QV_DPKG_BUILDFLAGS} --get ${name}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^(-g[0-9]*|-O.*|-ffile-prefix-map=.*)$")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

qv_buildflags(CPPFLAGS QV_HARDENING_CPPFLAGS)
qv_buildflags(CFLAGS QV_HARDENING_CFLAGS)
qv_buildflags(CXXFLAGS QV_HARDENING_CXXFLAGS)
qv_buildflags(LDFLAGS QV_HARDENING_LDFLAGS)
# NOTE: _FORTIFY_SOURCE does nothing without optimisation, and glibc warns about it then.
add_compile_options(
    "$<$<NOT:$<CONFIG:Debug>>:${QV_HARDENING_CPPFLAGS}>"
    "$<$<COMPILE_LANGUAGE:C>:${QV_HARDENING_CFLAGS}>"
    "$<$<COMPILE_LANGUAGE:CXX>:${QV_HARDENING_CXXFLAGS}>")
add_link_options(${QV_HARDENING_LDFLAGS})
