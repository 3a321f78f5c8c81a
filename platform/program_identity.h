#pragma once
// The names the program goes by, for all of its code. The program's name comes from project() in
// the top CMakeLists.txt, which names the targets, the packages and the Windows resources after
// it too.

#include <string_view>

#ifndef QV_PROGRAM_NAME
#error "QV_PROGRAM_NAME is set by CMake for every target that links qv_platform"
#endif

namespace qv {

// The executable's file name without extension: the section of a copy that cannot learn its
// own file name, the X window class, and the start of every line the program reports.
inline constexpr std::string_view kProgramName = QV_PROGRAM_NAME;
// What a warning about the settings store starts with, after the program's name.
inline constexpr std::string_view kSettingsWarningPrefix = "settings: ";
// The settings store's application: HKEY_CURRENT_USER\Software\QV_TKS on Windows,
// $XDG_CONFIG_HOME/QV_TKS on Linux.
inline constexpr std::string_view kSettingsApplication = "QV_TKS";

}  // namespace qv
