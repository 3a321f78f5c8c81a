#pragma once
// The Windows settings store: HKEY_CURRENT_USER\Software\<application>\<section>, one REG_SZ
// value per key, through the wide-character registry functions so that any section name works.
// Each save sets one value; nothing ever deletes a value or a key.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_backend.h"

namespace qv::win32 {

class RegistrySettingsBackend : public SettingsBackend {
  public:
    // A value that cannot be read is reported through `guard`.
    explicit RegistrySettingsBackend(HandlerGuard& guard) : guard_(guard) {}

    std::optional<std::string> read(std::string_view application, std::string_view section,
                                    std::string_view key) override;
    SaveResult save(std::string_view application, std::string_view section, std::string_view key,
                    std::string_view value) override;

  private:
    HandlerGuard& guard_;
};

// The section of the running program: the file name of its module without extension.
class ModuleFileSection : public SectionSource {
  public:
    std::string sectionName() const override;
};

// The full path of the running executable, read into a buffer that starts at `initialChars` and
// grows until the whole path fits, so long paths work.
std::wstring moduleFileName(std::size_t initialChars = 260);
// The section for an executable path: its file name without directory and extension, UTF-8.
std::string sectionForModulePath(std::wstring_view path);

std::unique_ptr<SettingsBackend> makeRegistrySettingsBackend(HandlerGuard& guard);
std::unique_ptr<SectionSource> makeModuleFileSection();

}  // namespace qv::win32
