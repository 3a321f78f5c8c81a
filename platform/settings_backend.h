#pragma once
// The per-user settings store as the platform keeps it: text values under application, section
// and key. The Windows build keeps them in the registry, the Linux build in an INI file, tests in
// memory. Conversions between numbers and these texts belong to settings/, not here.

#include <optional>
#include <string>
#include <string_view>

namespace qv {

class HandlerGuard;

struct SaveResult {
    bool ok = true;
    std::string error;  // the OS's message when !ok
    // The backend has told the person at the desktop already, in words of its own: one message
    // for a store that refuses every key alike.
    bool reported = false;
};

class SettingsBackend {
  public:
    virtual ~SettingsBackend() = default;
    // The stored text, or std::nullopt when the key, its section or the application is absent
    // (or unreadable: the backend reports that itself, once).
    virtual std::optional<std::string> read(std::string_view application, std::string_view section,
                                            std::string_view key) = 0;
    virtual SaveResult save(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view value) = 0;
};

// The running executable's file name without directory and extension, taken anew at each call.
class SectionSource {
  public:
    virtual ~SectionSource() = default;
    virtual std::string sectionName() const = 0;
};

// Tells the person at the desktop of a settings problem (a value that cannot be read, a store
// that cannot be written) through the handler guard: once per distinct text, as
// "<program>: settings: <what>".
void warnAboutSettings(HandlerGuard& guard, std::string_view what);

// A file name without its extension: everything before the last ".", unless that dot is the
// name's first character ("qv-tickspan.exe" -> "qv-tickspan", ".hidden" stays).
std::string_view withoutExtension(std::string_view fileName);

}  // namespace qv
