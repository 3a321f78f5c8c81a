#include "platform/headless/memory_settings.h"

namespace qv::headless {

std::optional<std::string> MemorySettingsBackend::read(std::string_view application,
                                                       std::string_view section,
                                                       std::string_view key) {
    auto found = raw(section, key, application);
    log_.push_back({Op::Read, std::string(section), std::string(key), found});
    return found;
}

SaveResult MemorySettingsBackend::save(std::string_view application, std::string_view section,
                                       std::string_view key, std::string_view value) {
    log_.push_back({Op::Save, std::string(section), std::string(key), std::string(value)});
    if (!saveError_.empty()) return {false, saveError_};
    setRaw(section, key, value, application);
    return {};
}

void MemorySettingsBackend::setRaw(std::string_view section, std::string_view key,
                                   std::string_view value, std::string_view application) {
    values_[Address(application, section, key)] = std::string(value);
}

std::optional<std::string> MemorySettingsBackend::raw(std::string_view section,
                                                      std::string_view key,
                                                      std::string_view application) const {
    auto it = values_.find(Address(application, section, key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

}  // namespace qv::headless
