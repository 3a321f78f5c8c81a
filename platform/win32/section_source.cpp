#include <windows.h>

#include <vector>

#include "platform/program_identity.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"

namespace qv::win32 {

namespace {
// The longest path Windows can hand out, in UTF-16 units.
constexpr std::size_t kMaxPathChars = 32768;
}  // namespace

std::wstring moduleFileName(std::size_t initialChars) {
    std::vector<wchar_t> buf(initialChars > 0 ? initialChars : 1);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        // NOTE: a cut-off name fills the buffer exactly; Windows XP does not even set
        // ERROR_INSUFFICIENT_BUFFER, so the length is what tells.
        if (n < buf.size() || buf.size() >= kMaxPathChars) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::string sectionForModulePath(std::wstring_view path) {
    const auto separator = path.find_last_of(L"\\/");
    const std::wstring_view file =
        separator == std::wstring_view::npos ? path : path.substr(separator + 1);
    const std::string name = narrowFromWide(file);
    return std::string(withoutExtension(name));
}

std::string ModuleFileSection::sectionName() const {
    const std::wstring path = moduleFileName();
    // GetModuleFileNameW does not fail for the running program; the name is a last resort.
    return path.empty() ? std::string(kProgramName) : sectionForModulePath(path);
}

std::unique_ptr<SectionSource> makeModuleFileSection() {
    return std::make_unique<ModuleFileSection>();
}

}  // namespace qv::win32
