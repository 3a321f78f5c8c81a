#include "settings/settings_store.h"

#include <algorithm>
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

std::optional<std::string> SettingsStore::currentText(const std::string& section, SettingKey key) {
    auto text = backend_.read(kSettingsApplication, section, keyName(key));
    const auto it = std::find_if(unsaved_.begin(), unsaved_.end(), [&](const Unsaved& u) {
        return u.key == key && u.section == section;
    });
    if (it == unsaved_.end()) return text;
    if (it->held == text) return it->text;
    unsaved_.erase(it);  // another copy saved the key since: its save wins
    return text;
}

std::string SettingsStore::storedText(SettingKey key) {
    if (auto text = currentText(section_.sectionName(), key)) return std::move(*text);
    // The default passes through the same reading as a stored text.
    return defaultText(key);
}

std::optional<float> SettingsStore::readStoredSingle(SettingKey key, float fallback) {
    const auto text = currentText(section_.sectionName(), key);
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
    if (r.ok) {
        forget(section, key);
        retryUnsaved();
        return true;
    }
    refused(key, r);
    remember(section, key, text);
    return false;
}

void SettingsStore::refused(SettingKey key, const SaveResult& r) {
    if (r.reported) return;
    // Once per cause: the keys refused after it for the same one are named at shut-down.
    const std::string cause = r.error.empty() ? std::string("unknown error") : r.error;
    warnAboutSettings(guard_, "cannot save " + std::string(keyName(key)) + ": " + cause, cause);
}

void SettingsStore::remember(const std::string& section, SettingKey key, std::string_view text) {
    forget(section, key);
    auto held = backend_.read(kSettingsApplication, section, keyName(key));
    if (held == text) return;  // the store holds it already: nothing is unsaved
    unsaved_.push_back({section, key, std::string(text), std::move(held)});
}

void SettingsStore::forget(const std::string& section, SettingKey key) {
    std::erase_if(unsaved_, [&](const Unsaved& u) { return u.key == key && u.section == section; });
}

void SettingsStore::retryUnsaved() {
    std::string saved;
    while (!unsaved_.empty()) {
        const Unsaved& u = unsaved_.front();
        const SaveResult r =
            backend_.saveIfHolds(kSettingsApplication, u.section, keyName(u.key), u.text, u.held);
        if (!r.ok && !r.superseded) {
            refused(u.key, r);
            break;  // still refused: tried again after the next save that goes through
        }
        if (r.ok) saved.append(saved.empty() ? "" : ", ").append(keyName(u.key));
        unsaved_.erase(unsaved_.begin());
    }
    if (!saved.empty())
        tellAboutSettings(guard_, saved + " saved now; the store had refused it before");
}

void SettingsStore::reportUnsaved() {
    if (unsaved_.empty()) return;
    std::string keys;
    for (const Unsaved& u : unsaved_) keys.append(keys.empty() ? "" : ", ").append(keyName(u.key));
    tellAboutSettings(guard_, "not saved, since the store refused it to the end: " + keys);
}

}  // namespace qv
