#pragma once
// The program's settings: the key table with its defaults, and reading or saving one key at a
// time with the key's conversion. Every read and save takes the section name anew and stands
// alone; nothing is cached, so copies of the program running at once see each other's saves and
// the last save of a key wins.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/handler_guard.h"
#include "platform/settings_backend.h"
#include "settings/setting_texts.h"

namespace qv {

enum class SettingKey {
    MAIN_Left,
    MAIN_Top,
    MAIN_Width,
    MAIN_Height,
    ABOUT_Left,
    ABOUT_Top,
    ABOUT_Width,
    ABOUT_Height,
    AlwaysOnTop_TICKBOX,
    AUTOSTART_TICKBOX,
};
inline constexpr int kSettingKeyCount = 10;

std::string_view keyName(SettingKey key);  // "MAIN_Left", ...
int keyDefault(SettingKey key);            // 1000, 1000, 4410, 350, 1000, 1000, 8730, 2415, 1, 1

class SettingsStore {
  public:
    // Values that cannot be used and saves that fail are reported through `guard`.
    SettingsStore(SettingsBackend& backend, const SectionSource& section, HandlerGuard& guard);

    HandlerGuard& guard() const { return guard_; }

    // Single-precision reading of the key (its default, as decimal text, when absent). A text the
    // reading rejects gives the default and is reported once.
    float readSingle(SettingKey key);
    // The same for a key that is stored: std::nullopt when it is absent (nothing to report) or
    // holds a text the reading rejects (reported once, naming `fallback` as what is used instead).
    std::optional<float> readStoredSingle(SettingKey key, float fallback);
    // 16-bit integer reading; a rejected text gives the default, reported once.
    std::int16_t readInteger16(SettingKey key);

    // Saves the single-precision number text / 16-bit integer text. False when the save failed;
    // each distinct failure is reported once, with the store's own message.
    bool saveSingle(SettingKey key, float value);
    bool saveInteger16(SettingKey key, std::int16_t value);

  private:
    // The stored text, or the default as text.
    std::string storedText(SettingKey key);
    void rejected(SettingKey key, std::string_view text, ReadStatus why, std::string_view range,
                  std::string_view instead);
    bool save(SettingKey key, std::string_view text);

    SettingsBackend& backend_;
    const SectionSource& section_;
    HandlerGuard& guard_;
};

}  // namespace qv
