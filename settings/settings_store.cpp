#include "settings/settings_store.h"

#include <array>
#include <cmath>

#include "engine/quoted_text.h"
#include "platform/program_identity.h"

namespace qv {

namespace {

struct KeyInfo {
    std::string_view name;
    int defaultValue;
};

constexpr std::array<KeyInfo, kSettingKeyCount> kKeys{{
    {"MAIN_Left", 1000},
    {"MAIN_Top", 1000},
    {"MAIN_Width", 4410},
    {"MAIN_Height", 350},
    {"ABOUT_Left", 1000},
    {"ABOUT_Top", 1000},
    {"ABOUT_Width", 8730},
    {"ABOUT_Height", 2415},
    {"AlwaysOnTop_TICKBOX", 1},
    {"AUTOSTART_TICKBOX", 1},
}};

const KeyInfo& info(SettingKey key) {
    return kKeys[static_cast<std::size_t>(key)];
}

std::string defaultText(SettingKey key) {
    return integer16Text(static_cast<std::int16_t>(info(key).defaultValue));
}

}  // namespace

std::string_view keyName(SettingKey key) {
    return info(key).name;
}

int keyDefault(SettingKey key) {
    return info(key).defaultValue;
}

SettingsStore::SettingsStore(SettingsBackend& backend, const SectionSource& section,
                             HandlerGuard& guard)
    : backend_(backend), section_(section), guard_(guard) {}

std::string SettingsStore::storedText(SettingKey key) {
    const std::string section = section_.sectionName();
    if (auto text = backend_.read(kSettingsApplication, section, keyName(key)))
        return std::move(*text);
    // The default passes through the same reading as a stored text.
    return defaultText(key);
}

std::optional<float> SettingsStore::readStoredSingle(SettingKey key, float fallback) {
    const std::string section = section_.sectionName();
    const auto text = backend_.read(kSettingsApplication, section, keyName(key));
    if (!text) return std::nullopt;
    float value = 0.0f;
    const ReadStatus r = singleReading(*text, value);
    if (r == ReadStatus::Ok) return value;
    rejected(key, *text, r, "the single-precision range", singleText(fallback));
    return std::nullopt;
}

float SettingsStore::readSingle(SettingKey key) {
    const std::string text = storedText(key);
    float value = 0.0f;
    const ReadStatus r = singleReading(text, value);
    if (r == ReadStatus::Ok) return value;
    rejected(key, text, r, "the single-precision range", defaultText(key));
    return static_cast<float>(keyDefault(key));
}

std::int16_t SettingsStore::readInteger16(SettingKey key) {
    const std::string text = storedText(key);
    std::int16_t value = 0;
    const ReadStatus r = integer16Reading(text, value);
    if (r == ReadStatus::Ok) return value;
    rejected(key, text, r, "-32768 to 32767", defaultText(key));
    return static_cast<std::int16_t>(keyDefault(key));
}

void SettingsStore::rejected(SettingKey key, std::string_view text, ReadStatus why,
                             std::string_view range, std::string_view instead) {
    std::string line(keyName(key));
    line.append(" holds ").append(quotedForReport(text));
    if (why == ReadStatus::OutOfRange)
        line.append(", which lies outside ").append(range);
    else
        line.append(", which is not a number");
    line.append("; the default ").append(instead).append(" is used instead");
    warnAboutSettings(guard_, line);
}

bool SettingsStore::saveSingle(SettingKey key, float value) {
    if (!std::isfinite(value)) {
        // A window never has such a position; saving it would only plant an unreadable text.
        warnAboutSettings(guard_, "not saving " + std::string(keyName(key)) + ": the value " +
                                      singleText(value) + " is not a finite number");
        return false;
    }
    return save(key, singleText(value));
}

bool SettingsStore::saveInteger16(SettingKey key, std::int16_t value) {
    return save(key, integer16Text(value));
}

bool SettingsStore::save(SettingKey key, std::string_view text) {
    const std::string section = section_.sectionName();
    const SaveResult r = backend_.save(kSettingsApplication, section, keyName(key), text);
    if (r.ok) return true;
    if (r.reported) return false;
    warnAboutSettings(guard_, "cannot save " + std::string(keyName(key)) + ": " +
                                  (r.error.empty() ? std::string("unknown error") : r.error));
    return false;
}

}  // namespace qv
