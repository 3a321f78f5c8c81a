# The Windows program: the Win32 backend, its entry point and resources, and the ZIP that
# ships it. Included from the top-level CMakeLists.txt on Windows builds only.

set(QV_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(qv_win32 STATIC
    ${QV_WIN32_DIR}/win32_platform.cpp
    ${QV_WIN32_DIR}/win32_text.cpp
    ${QV_WIN32_DIR}/win32_window.cpp)
qv_defaults(qv_win32)
# Windows 10 declarations; the newer functions are looked up at run time so that the program
# still starts on Windows 7 and 8.
target_compile_definitions(qv_win32 PUBLIC UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN
                                           WINVER=0x0A00 _WIN32_WINNT=0x0A00)
target_link_libraries(qv_win32 PUBLIC qv_platform user32 gdi32 comctl32)

# The version numbers live in project(): 1.1.0.0 for the numeric fields, "1.01" (major, then
# minor in two digits) for the version strings.
set(QV_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
if(PROJECT_VERSION_MINOR LESS 10)
    set(QV_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")
else()
    set(QV_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endif()
set(QV_ICON_FILE ${PROJECT_SOURCE_DIR}/assets/qv-tickspan.ico)
set(QV_MANIFEST_FILE ${CMAKE_CURRENT_BINARY_DIR}/qv-tickspan.manifest)
configure_file(${QV_WIN32_DIR}/qv-tickspan.manifest.in ${QV_MANIFEST_FILE} @ONLY)
configure_file(${QV_WIN32_DIR}/qv-tickspan.rc.in ${CMAKE_CURRENT_BINARY_DIR}/qv-tickspan.rc @ONLY)

if(NOT TARGET qv_win32_settings)
    message(WARNING "qv_win32_settings (the registry store) is missing: no qv-tickspan.exe")
    return()
endif()

add_executable(qv-tickspan WIN32 ${QV_WIN32_DIR}/win32_main.cpp
                                 ${CMAKE_CURRENT_BINARY_DIR}/qv-tickspan.rc)
qv_defaults(qv-tickspan)
target_link_libraries(qv-tickspan PRIVATE qv_win32 qv_app qv_win32_settings)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/qv-tickspan.rc PROPERTIES
                            OBJECT_DEPENDS "${QV_ICON_FILE};${QV_MANIFEST_FILE}")
if(MSVC)
    # The manifest comes from the resource script.
    target_link_options(qv-tickspan PRIVATE /MANIFEST:NO)
endif()

# A ZIP with the program and the README: `cpack` in the build folder.
install(TARGETS qv-tickspan RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qv-tickspan)
set(CPACK_PACKAGE_VENDOR "QV-TKS")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
