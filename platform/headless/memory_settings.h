#pragma once
// A settings store in memory, for tests and the headless backend. It logs every read and save so
// a test can check their order and count, lets a test put raw texts in place (as a person editing
// the store would), and can be told to refuse saves.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/program_identity.h"
#include "platform/settings_backend.h"

namespace qv::headless {

class MemorySettingsBackend : public SettingsBackend {
  public:
    enum class Op { Read, Save };
    struct LogEntry {
        Op op = Op::Read;
        std::string section;
        std::string key;
        // Save: the text saved. Read: the text found, std::nullopt when absent.
        std::optional<std::string> value;
        bool operator==(const LogEntry&) const = default;
    };

    std::optional<std::string> read(std::string_view application, std::string_view section,
                                    std::string_view key) override;
    SaveResult save(std::string_view application, std::string_view section, std::string_view key,
                    std::string_view value) override;

    // Stores a text without logging it.
    void setRaw(std::string_view section, std::string_view key, std::string_view value,
                std::string_view application = kDefaultApplication);
    // The stored text, without logging the look-up.
    std::optional<std::string> raw(std::string_view section, std::string_view key,
                                   std::string_view application = kDefaultApplication) const;
    // Number of stored values, over all applications and sections.
    std::size_t size() const { return values_.size(); }

    // From now on every save fails with `error` and stores nothing; an empty text ends that.
    void failSaves(std::string error) { saveError_ = std::move(error); }

    const std::vector<LogEntry>& log() const { return log_; }
    void clearLog() { log_.clear(); }

    static constexpr std::string_view kDefaultApplication = kSettingsApplication;

  private:
    using Address = std::tuple<std::string, std::string, std::string>;
    std::map<Address, std::string> values_;
    std::vector<LogEntry> log_;
    std::string saveError_;
};

// A section name set by the test; counts how often it was asked for.
class FixedSection : public SectionSource {
  public:
    explicit FixedSection(std::string name = std::string(kProgramName)) : name_(std::move(name)) {}
    std::string sectionName() const override {
        ++calls_;
        return name_;
    }
    void setName(std::string name) { name_ = std::move(name); }
    int calls() const { return calls_; }

  private:
    std::string name_;
    mutable int calls_ = 0;
};

}  // namespace qv::headless
