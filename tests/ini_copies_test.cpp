// Copies of the program saving at once, and savers killed half-way.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <locale>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/memory_settings.h"
#include "platform/posix/ini_settings.h"
#include "settings/settings_store.h"
#include "tests/ini_document.h"
#include "tests/ini_test_support.h"

using namespace qv;
using namespace qv::test;
using namespace qv::headless;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------------------ several processes

std::string copyKey(int process, int save) {
    std::string key = "p";
    key.append(std::to_string(process)).append("_k").append(std::to_string(save));
    return key;
}

TEST_F(IniStoreTest, CopiesSavingAtOnceKeepEachOthersKeys) {
    constexpr int kProcesses = 8;
    constexpr int kSaves = 200;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(spawn([&, p] {
            ::close(gate[1]);
            char c;
            while (::read(gate[0], &c, 1) < 0 && errno == EINTR) {
            }
            IniSettingsOptions o = options();
            IniSettingsBackend backend(guard, o);
            // The program never saves a key again: a save refused is a save lost.
            int refused = 0;
            for (int i = 0; i < kSaves; ++i) {
                const std::string value = std::to_string(i * 7 + p);
                refused += !backend.save("QV_TKS", "qv-tickspan", copyKey(p, i), value).ok;
            }
            return std::min(refused, 100);
        }));
    }
    ::close(gate[0]);
    ::close(gate[1]);  // go

    // Meanwhile reads never see a partial file.
    IniSettingsBackend reader(guard, options());
    int reads = 0;
    while (!children.empty()) {
        reader.read("QV_TKS", "qv-tickspan", "p0_k0");
        ++reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::erase_if(children, [](pid_t c) {
            int status = 0;
            if (::waitpid(c, &status, WNOHANG) != c) return false;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "a copy had " << WEXITSTATUS(status) << " saves refused";
            return true;
        });
    }
    EXPECT_TRUE(reports.empty()) << reports.front();
    const ini::Document doc = ini::Document::parse(slurp(file()));
    EXPECT_EQ(doc.unreadableLines(), 0u);
    int missing = 0;
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kSaves; ++i)
            missing += doc.find("qv-tickspan", copyKey(p, i)) != std::to_string(i * 7 + p);
    EXPECT_EQ(missing, 0);
    EXPECT_GT(reads, 0);
}

TEST_F(IniStoreTest, ASaverKilledAtAnyMomentLeavesAReadableFile) {
    const std::vector<std::string> keys = {"MAIN_Left", "MAIN_Top", "AlwaysOnTop_TICKBOX",
                                           "AUTOSTART_TICKBOX"};
    // A file of some size, so that a write is caught half-way now and then.
    {
        IniSettingsBackend backend(guard, options());
        for (int i = 0; i < 300; ++i)
            ASSERT_TRUE(
                backend.save("QV_TKS", "other", "padding" + std::to_string(i), std::string(40, 'x'))
                    .ok);
    }
    std::mt19937 rng(12345);
    for (int round = 0; round < 40; ++round) {
        const pid_t child = spawn([&] {
            IniSettingsOptions o = options();
            IniSettingsBackend backend(guard, o);
            for (unsigned n = 0;; ++n)
                backend.save("QV_TKS", "qv-tickspan", keys[n % keys.size()],
                             std::to_string(n % 10));
            return 0;
        });
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
        ::kill(child, SIGKILL);
        exitCode(child);

        const ini::Document doc = ini::Document::parse(slurp(file()));
        ASSERT_EQ(doc.unreadableLines(), 0u) << "round " << round;
        ASSERT_EQ(doc.find("other", "padding299"), std::string(40, 'x'));
        for (const auto& key : keys) {
            const auto value = doc.find("qv-tickspan", key);
            if (value) {
                ASSERT_TRUE(value->size() == 1 && std::isdigit((*value)[0])) << *value;
            }
        }
    }
    // The dead saver's lock is gone and its temporary is cleared by the next save.
    IniSettingsBackend backend(guard, options());
    EXPECT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "42").ok);
    EXPECT_FALSE(fs::exists(file() + ".tmp"));
    EXPECT_TRUE(reports.empty());
}

}  // namespace
