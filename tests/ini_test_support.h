#pragma once
// What the settings file's tests share: a temporary folder, whole-file reads and writes, names
// that a naive INI file would mangle, child processes, and the store's test fixture.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/ini_settings.h"
#include "tests/captured_warnings.h"

namespace qv::test {

using namespace qv::posix;

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "qv-settings-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spill(const std::string& path, std::string_view bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every name an executable could have that a naive INI file would mangle.
inline const std::vector<std::string>& oddNames() {
    static const std::vector<std::string> names = {
        "qv-tickspan",
        "with space",
        " leading and trailing ",
        "[bracketed]",
        "]",
        "a=b",
        ";semicolon",
        "#hash",
        "line\nbreak",
        "carriage\rreturn",
        "tab\there",
        std::string("nul\0byte", 8),
        "latin1 \xE9t\xE9",
        "\xFF\xFE",
        "\xC3",          // a UTF-8 lead byte cut off
        "\xED\xA0\x80",  // an encoded surrogate
        "\xC3\x9C"
        "bersicht \xE2\x8F\xB1",  // valid UTF-8 stands as it is
        "\xEF\xBB\xBF"
        "byte order mark first",
        "back\\slash\\",
        "\\x41 is not A",
        "",
    };
    return names;
}
// Forks a child that runs `body` and exits with its result; never returns in the child.
template <class F>
pid_t spawn(F body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    return pid;
}

inline int exitCode(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class IniStoreTest : public ::testing::Test {
  protected:
    IniSettingsOptions options() {
        IniSettingsOptions o;
        o.configHome = dir.path() + "/config";
        return o;
    }
    std::string file() const { return dir.path() + "/config/QV_TKS/settings.ini"; }

    TempDir dir;
    HandlerGuard guard;
    test::CapturedWarnings warnings{guard};
    std::vector<std::string>& reports = warnings.lines;
};

}  // namespace qv::test
