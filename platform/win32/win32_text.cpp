#include "platform/win32/win32_text.h"

namespace qv::win32 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The code point that starts at `narrow[i]`, and how many bytes it takes; U+FFFD for one byte
// that starts no UTF-8 sequence. Surrogates are let through: they are how WTF-8 carries
// unpaired ones.
char32_t decodeAt(std::string_view narrow, std::size_t i, std::size_t& length) {
    const auto b0 = static_cast<unsigned char>(narrow[i]);
    std::size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        len = 1;
        cp = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    }
    bool ok = len > 0 && i + len <= narrow.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
        const auto b = static_cast<unsigned char>(narrow[i + k]);
        ok = (b & 0xC0) == 0x80;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok || cp < min || cp > 0x10FFFF) {
        length = 1;
        return kReplacement;
    }
    length = len;
    return cp;
}

// Hands each UTF-16 unit of `narrow` to `unit`.
template <typename Unit>
void forEachWideUnit(std::string_view narrow, Unit&& unit) {
    for (std::size_t i = 0; i < narrow.size();) {
        std::size_t length = 0;
        char32_t cp = decodeAt(narrow, i, length);
        i += length;
        if (cp < 0x10000) {
            unit(static_cast<wchar_t>(cp));
        } else {
            cp -= 0x10000;
            unit(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            unit(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        }
    }
}

}  // namespace

std::string narrowFromWide(std::wstring_view wide) {
    std::string out;
    out.reserve(wide.size() * 3);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char16_t>(wide[i]);
        if (isHighSurrogate(c) && i + 1 < wide.size() &&
            isLowSurrogate(static_cast<char16_t>(wide[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(wide[i + 1]) - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);  // an unpaired surrogate as its own three bytes
    }
    return out;
}

std::wstring wideFromNarrow(std::string_view narrow) {
    std::wstring out;
    out.reserve(narrow.size());
    forEachWideUnit(narrow, [&](wchar_t u) { out += u; });
    return out;
}

bool wideFromNarrowInto(std::string_view narrow, wchar_t* out, std::size_t capacity) {
    std::size_t units = 0;
    forEachWideUnit(narrow, [&](wchar_t) { ++units; });
    if (units >= capacity) return false;
    std::size_t n = 0;
    forEachWideUnit(narrow, [&](wchar_t u) { out[n++] = u; });
    out[n] = L'\0';
    return true;
}

std::string systemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring_view text(buffer ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.remove_suffix(1);
    std::string out = text.empty() ? "error " + std::to_string(code) : narrowFromWide(text);
    if (buffer) LocalFree(buffer);
    return out;
}

std::string lastErrorLine(std::string_view what) {
    const DWORD code = GetLastError();
    std::string line(what);
    line += " failed: ";
    line += systemMessage(code);
    return line;
}

}  // namespace qv::win32
