#pragma once
// UTF-16 from Windows to the UTF-8 the program keeps, and back, for the settings store and the
// section name. A Windows file name may hold an unpaired surrogate; it travels as its three-byte
// form (WTF-8), so that every name Windows can give comes back unchanged. Bytes that are not
// UTF-8 at all turn into U+FFFD on the way to Windows.

#include <string>
#include <string_view>

namespace qv::win32settings {

std::string narrowFromWide(std::wstring_view wide);
std::wstring wideFromNarrow(std::string_view narrow);

}  // namespace qv::win32settings
