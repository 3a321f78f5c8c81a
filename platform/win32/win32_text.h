#pragma once
// Text at the edge of the Windows API, for the backend and the registry store alike: the program
// keeps UTF-8, Windows wants UTF-16. A Windows name may hold an unpaired surrogate; it travels
// as its three-byte form (WTF-8), so that every name Windows gives comes back unchanged. Bytes
// that are not UTF-8 at all turn into U+FFFD on the way to Windows.

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::win32 {

std::string narrowFromWide(std::wstring_view wide);
std::wstring wideFromNarrow(std::string_view narrow);
// The same into a fixed buffer, allocating nothing, with a terminator. False, and nothing
// written, when the text needs more than `capacity` units with its terminator.
bool wideFromNarrowInto(std::string_view narrow, wchar_t* out, std::size_t capacity);

// The system's message for an error code (from GetLastError or a registry call), without the
// trailing line break; "error N" when the system has none.
std::string systemMessage(DWORD code);
// "<what> failed: <the message for GetLastError()>".
std::string lastErrorLine(std::string_view what);

}  // namespace qv::win32
