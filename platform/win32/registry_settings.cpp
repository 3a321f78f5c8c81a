#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/program_identity.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"

namespace qv::win32 {

namespace {

const char* typeName(DWORD type) {
    switch (type) {
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case REG_QWORD:
            return "REG_QWORD";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_NONE:
            return "REG_NONE";
        default:
            return "not text";
    }
}

// Software\<application>\<section>; std::nullopt when a name cannot be a registry key's.
std::optional<std::wstring> subkeyPath(std::string_view application, std::string_view section) {
    for (std::string_view name : {application, section}) {
        if (name.empty() || name.find('\\') != std::string_view::npos ||
            name.find('\0') != std::string_view::npos)
            return std::nullopt;
    }
    return L"Software\\" + wideFromNarrow(application) + L"\\" + wideFromNarrow(section);
}

std::string shownPath(const std::wstring& subkey) {
    return "HKEY_CURRENT_USER\\" + narrowFromWide(subkey);
}

}  // namespace

std::optional<std::string> RegistrySettingsBackend::read(std::string_view application,
                                                         std::string_view section,
                                                         std::string_view key) {
    const auto subkey = subkeyPath(application, section);
    if (!subkey) return std::nullopt;  // no such key can exist
    const std::wstring name = wideFromNarrow(key);
    std::vector<wchar_t> buf(64);
    for (;;) {
        DWORD bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
        // RRF_RT_REG_SZ: RegGetValueW adds the terminator a stored text may lack, and refuses
        // every other type rather than handing out its bytes.
        const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, subkey->c_str(), name.c_str(),
                                            RRF_RT_REG_SZ, nullptr, buf.data(), &bytes);
        if (status == ERROR_SUCCESS) {
            std::size_t chars = bytes / sizeof(wchar_t);
            if (chars > buf.size()) chars = buf.size();
            std::size_t end = 0;
            while (end < chars && buf[end] != L'\0') ++end;
            return narrowFromWide(std::wstring_view(buf.data(), end));
        }
        if (status == ERROR_MORE_DATA) {
            // The size asked for, plus room for a terminator; the value may grow meanwhile.
            buf.resize(std::max(bytes / sizeof(wchar_t) + 2, buf.size() * 2));
            continue;
        }
        if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
        const std::string where = shownPath(*subkey) + "\\" + std::string(key);
        if (status == ERROR_UNSUPPORTED_TYPE) {
            DWORD type = REG_NONE;
            RegGetValueW(HKEY_CURRENT_USER, subkey->c_str(), name.c_str(), RRF_RT_ANY, &type,
                         nullptr, nullptr);
            warnAboutSettings(guard_, where + " is " + typeName(type) +
                                          ", not a text (REG_SZ); the default is used instead");
        } else {
            warnAboutSettings(guard_, "cannot read " + where + ": " +
                                          systemMessage(static_cast<DWORD>(status)) +
                                          "; the default is used instead");
        }
        return std::nullopt;
    }
}

SaveResult RegistrySettingsBackend::save(std::string_view application, std::string_view section,
                                         std::string_view key, std::string_view value) {
    const auto subkey = subkeyPath(application, section);
    if (!subkey)
        return {false, std::string(application)
                           .append("\\")
                           .append(section)
                           .append(" cannot name a registry key")};
    HKEY handle = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, subkey->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS)
        return {false, "cannot open " + shownPath(*subkey) + ": " +
                           systemMessage(static_cast<DWORD>(status))};
    const std::wstring name = wideFromNarrow(key);
    const std::wstring data = wideFromNarrow(value);
    status =
        RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        return {false, "cannot set " + shownPath(*subkey) + "\\" + std::string(key) + ": " +
                           systemMessage(static_cast<DWORD>(status))};
    return {};
}

std::unique_ptr<SettingsBackend> makeRegistrySettingsBackend(HandlerGuard& guard) {
    return std::make_unique<RegistrySettingsBackend>(guard);
}

}  // namespace qv::win32
