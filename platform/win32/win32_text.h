#pragma once
// Text at the edge of the Win32 API: the program keeps UTF-8, Windows wants UTF-16.

#include <windows.h>

#include <string>
#include <string_view>

namespace qv::win32ui {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// The system's message for an error code (GetLastError), without the trailing line break.
std::string errorText(DWORD code);
// "<what> failed: <the message for GetLastError()>".
std::string lastErrorLine(std::string_view what);

}  // namespace qv::win32ui
