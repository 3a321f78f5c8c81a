#pragma once
// The program on the simulated desktop, driven as a person would drive it: what the windows'
// tests share.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "engine/uptime_steps.h"
#include "platform/handler_guard.h"
#include "platform/headless/headless_platform.h"
#include "platform/headless/memory_settings.h"

namespace qv::test {

using namespace qv::headless;

using Op = MemorySettingsBackend::Op;

constexpr std::uint64_t kUptimeAtStart = 123456789 - kTimerResolutionMs;
constexpr std::string_view kRunning = "QV-TICKSPAN: 1d, 10h, 17m, 36s";

struct Desktop {
    HandlerGuard guard;
    HeadlessPlatform platform{kUptimeAtStart};
    MemorySettingsBackend& store = platform.store();
    std::unique_ptr<Program> program;

    // Starts the program (the settings as the test left them).
    Program& start() {
        program = std::make_unique<Program>(platform, guard);
        program->start();
        return *program;
    }
    MainWindow& main() { return program->main; }
    AboutWindow& about() { return program->about; }
    HeadlessWindow& mainPeer() { return *platform.peerOf(main()); }
    std::string screenCaption() { return mainPeer().screenCaption(); }
    std::optional<std::string> stored(std::string_view key) {
        return store.raw("qv-tickspan", key);
    }
    void put(std::string_view key, std::string_view value) {
        store.setRaw("qv-tickspan", key, value);
    }

    // A double-click in the strip below the main window's title bar.
    bool doubleClickStrip() {
        const PixelRect client = mainPeer().client();
        return platform.doubleClickAt(main(), client.width / 2, client.height / 2);
    }
    std::vector<std::string> savesOf(std::string_view key) {
        std::vector<std::string> saves;
        for (const auto& e : store.log())
            if (e.op == Op::Save && e.key == key) saves.push_back(*e.value);
        return saves;
    }
    std::vector<std::string> keysRead() {
        std::vector<std::string> keys;
        for (const auto& e : store.log())
            if (e.op == Op::Read) keys.push_back(e.key);
        return keys;
    }
};

inline bool allSixEnabled(MainWindow& main, bool enabled) {
    for (Timer* t : main.startupOrder())
        if (t->enabled() != enabled) return false;
    return true;
}

}  // namespace qv::test
