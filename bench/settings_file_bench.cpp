// The program over a big settings file: how long start-up, opening the About window and one save
// take when settings.ini holds 16 MiB of short lines, against an ordinary file. The program runs
// on the simulated desktop with the real settings file (the Linux program's store), so the
// figures are what the settings cost the window's thread, in the program's own order of reads
// and saves. Each operation's heap allocations are counted too: a file of millions of lines may
// cost no more of them than a small one.
//
// Usage: settings-file-bench FOLDER [RUNS]   (5 unless told)
// Prints a Markdown table; bench/settings-file runs it and keeps the table.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "bench/bench_support.h"
#include "platform/headless/headless_platform.h"
#include "platform/posix/ini_settings.h"

namespace {

constexpr std::size_t kBigBytes = (16u << 20) - 4096;  // under the 16 MiB the store reads

struct Case {
    std::string name;
    std::string bytes;
};

std::string programSection() {
    return "[qv-tickspan]\nMAIN_Left=1000\nMAIN_Top=1000\nABOUT_Left=1000\nABOUT_Top=1000\n"
           "AlwaysOnTop_TICKBOX=1\nAUTOSTART_TICKBOX=1\n";
}

std::string filled(std::string head, std::string_view line) {
    head.reserve(kBigBytes);
    while (head.size() + line.size() <= kBigBytes) head.append(line);
    return head;
}

std::vector<Case> cases() {
    return {
        {"ordinary (the program's 6 keys)", programSection()},
        {"16 MiB of `;` comment lines", filled(programSection(), ";\n")},
        {"16 MiB of blank lines", filled(programSection(), "\n")},
        {"16 MiB of `k=v` lines of another section",
         filled(programSection() + "[other]\n", "k=v\n")},
    };
}

struct Sample {
    double ms = 0;
    std::size_t allocations = 0;
};

// Runs `step` and measures it.
template <class F>
Sample timed(F&& step) {
    const std::size_t before = qv::bench::allocations();
    const auto start = std::chrono::steady_clock::now();
    step();
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(),
            qv::bench::allocations() - before};
}

struct Run {
    Sample startUp, openAbout, save;
    bool ok = false;
};

Run runOnce(const std::string& folder, const Case& c) {
    const std::string file = folder + "/QV_TKS/settings.ini";
    std::filesystem::create_directories(folder + "/QV_TKS");
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.bytes;

    qv::HandlerGuard guard;
    qv::posix::IniSettingsOptions options;
    options.configHome = folder;
    qv::posix::IniSettingsBackend store(guard, options);
    qv::headless::HeadlessPlatform platform;
    platform.useSettings(store);
    std::unique_ptr<qv::Program> program;
    Run run;
    run.startUp = timed([&] {
        program = std::make_unique<qv::Program>(platform, guard);
        program->start();
    });
    qv::headless::HeadlessWindow& main = *platform.peerOf(program->main);
    run.openAbout = timed([&] {
        platform.doubleClickAt(program->main, main.client().width / 2, main.client().height / 2);
    });
    const bool opened = program->about.loaded();
    // One click, one save: AutoStart cleared.
    run.save = timed([&] { platform.clickControl(program->about, "AUTOSTART_TICKBOX"); });
    const auto saved = store.read(qv::kSettingsApplication, "qv-tickspan", "AUTOSTART_TICKBOX");
    run.ok = opened && saved == "0";
    platform.requestClose(program->about);
    platform.requestClose(program->main);
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string figure(const std::vector<double>& ms) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f ms (%.1f)", median(ms),
                  *std::max_element(ms.begin(), ms.end()));
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: settings-file-bench FOLDER [RUNS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int runs =
        qv::bench::wholeArgument("settings-file-bench", argc > 2 ? argv[2] : nullptr, 5);
    bool allOk = true;
    std::printf(
        "| settings.ini | start-up | opening the About window | one save | heap "
        "allocations: start-up, About, save |\n|---|---|---|---|---|\n");
    for (const Case& c : cases()) {
        std::vector<double> startUp, about, save;
        Run last;
        for (int i = 0; i < runs; ++i) {
            last = runOnce(folder, c);
            allOk = allOk && last.ok;
            startUp.push_back(last.startUp.ms);
            about.push_back(last.openAbout.ms);
            save.push_back(last.save.ms);
        }
        std::printf("| %s, %zu bytes | %s | %s | %s | %zu, %zu, %zu |\n", c.name.c_str(),
                    c.bytes.size(), figure(startUp).c_str(), figure(about).c_str(),
                    figure(save).c_str(), last.startUp.allocations, last.openAbout.allocations,
                    last.save.allocations);
    }
    std::filesystem::remove_all(folder + "/QV_TKS");
    if (!allOk) std::fprintf(stderr, "settings-file-bench: a run did not open About or save\n");
    return allOk ? 0 : 1;
}
