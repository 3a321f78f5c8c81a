#include "platform/win32/win32_text.h"

#include <algorithm>
#include <limits>

namespace qv::win32ui {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    // Text longer than an int can describe never reaches a caption or a label.
    const int inLength =
        static_cast<int>(std::min<std::size_t>(utf8.size(), std::numeric_limits<int>::max()));
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, out.data(), length);
    return out;
}

std::string narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int inLength =
        static_cast<int>(std::min<std::size_t>(utf16.size(), std::numeric_limits<int>::max()));
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLength, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLength, out.data(), length, nullptr,
                            nullptr);
    return out;
}

std::string errorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring_view text(buffer ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.remove_suffix(1);
    std::string out = text.empty() ? "error " + std::to_string(code) : narrow(text);
    if (buffer) LocalFree(buffer);
    return out;
}

std::string lastErrorLine(std::string_view what) {
    const DWORD code = GetLastError();
    std::string line(what);
    line += " failed: ";
    line += errorText(code);
    return line;
}

}  // namespace qv::win32ui
