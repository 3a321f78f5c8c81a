// Copies of the program saving at once: PROCESSES processes each save SAVES keys of their own
// into one settings file, through the store the Linux program saves with, and count the saves
// the store refused. Then the file must hold every key that was saved. bench/settings-saves runs
// it beside a disk writer.
//
// Usage: settings-saves-bench FOLDER [PROCESSES [SAVES]]   (8 and 200 unless told)
// Prints one line of figures; exits 0 only when every save went through and is in the file.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "platform/handler_guard.h"
#include "platform/posix/ini_settings.h"
#include "platform/posix/posix_file.h"
#include "platform/program_identity.h"
#include "tests/ini_document.h"

namespace {

std::string keyOf(int process, int save) {
    std::string key = "p";
    key.append(std::to_string(process)).append("_k").append(std::to_string(save));
    return key;
}

std::string valueOf(int process, int save) {
    return std::to_string(save * 7 + process);
}

bool writeAll(int fd, const void* data, std::size_t size) {
    return qv::posix::writeAll(fd, std::string_view(static_cast<const char*>(data), size)) == 0;
}

bool readAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = qv::posix::retryOnEintr([&] { return ::read(fd, p, size); });
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// One copy: its saves, each one's time in microseconds (negative when refused) to `out`.
int saveAll(const std::string& folder, int process, int saves, int gate, int out) {
    char go;
    if (!readAll(gate, &go, 1)) return 3;
    qv::posix::IniSettingsOptions options;
    options.configHome = folder;
    qv::HandlerGuard guard;
    qv::posix::IniSettingsBackend backend(guard, options);
    std::vector<long long> times;
    bool told = false;
    for (int i = 0; i < saves; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const qv::SaveResult r = backend.save(qv::kSettingsApplication, qv::kProgramName,
                                              keyOf(process, i), valueOf(process, i));
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        times.push_back(r.ok ? us : -1 - us);
        if (!r.ok && !told) {
            std::fprintf(stderr, "copy %d: %s\n", process, r.error.c_str());
            told = true;
        }
    }
    return writeAll(out, times.data(), times.size() * sizeof times[0]) ? 0 : 4;
}

double ms(long long us) {
    return static_cast<double>(us) / 1000.0;
}

// The copies, forked and waiting at the gate; each one's results come through a pipe.
struct Copies {
    std::vector<pid_t> pids;
    std::vector<int> results;
    int gate = -1;  // writing one byte per copy lets them all go
};

bool startCopies(const std::string& folder, int processes, int saves, Copies& copies) {
    int gate[2];
    if (::pipe(gate) != 0) return false;
    for (int p = 0; p < processes; ++p) {
        int out[2];
        if (::pipe(out) != 0) return false;
        const pid_t pid = ::fork();
        if (pid < 0) return false;
        if (pid == 0) {
            ::close(gate[1]);
            ::close(out[0]);
            ::_exit(saveAll(folder, p, saves, gate[0], out[1]));
        }
        ::close(out[1]);
        copies.pids.push_back(pid);
        copies.results.push_back(out[0]);
    }
    ::close(gate[0]);
    copies.gate = gate[1];
    return true;
}

// Every save's time, the refused ones counted; false when a copy failed or said nothing.
bool collectTimes(const Copies& copies, int saves, std::vector<long long>& done, int& refused) {
    bool whole = true;
    for (const int fd : copies.results) {
        std::vector<long long> times(static_cast<std::size_t>(saves));
        if (!readAll(fd, times.data(), times.size() * sizeof times[0])) {
            whole = false;
            continue;
        }
        for (const long long t : times) {
            if (t < 0) ++refused;
            done.push_back(t < 0 ? -1 - t : t);
        }
    }
    for (const pid_t pid : copies.pids) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        whole = whole && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return whole;
}

// How many of the saves the file holds.
int keptInFile(const std::string& folder, int processes, int saves) {
    std::ifstream in(folder + "/" + std::string(qv::kSettingsApplication) + "/settings.ini",
                     std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const qv::posix::ini::Document doc = qv::posix::ini::Document::parse(bytes);
    int kept = 0;
    for (int p = 0; p < processes; ++p)
        for (int i = 0; i < saves; ++i)
            kept += doc.find(qv::kProgramName, keyOf(p, i)) == valueOf(p, i);
    return kept;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: settings-saves-bench FOLDER [PROCESSES [SAVES]]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int processes =
        qv::bench::wholeArgument("settings-saves-bench", argc > 2 ? argv[2] : nullptr, 8);
    const int saves =
        qv::bench::wholeArgument("settings-saves-bench", argc > 3 ? argv[3] : nullptr, 200);

    Copies copies;
    if (!startCopies(folder, processes, saves, copies)) return 2;
    const std::string go(static_cast<std::size_t>(processes), 'g');
    const auto start = std::chrono::steady_clock::now();
    if (!writeAll(copies.gate, go.data(), go.size())) return 2;
    ::close(copies.gate);

    std::vector<long long> done;
    int refused = 0;
    const bool whole = collectTimes(copies, saves, done, refused);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int kept = keptInFile(folder, processes, saves);

    const int total = processes * saves;
    std::sort(done.begin(), done.end());
    auto at = [&](double q) {
        return done.empty()
                   ? 0LL
                   : done[std::min(done.size() - 1, static_cast<std::size_t>(q * done.size()))];
    };
    std::printf(
        "saved %d/%d, refused %d, in the file %d/%d; per save: median %.1f ms, p99 %.1f ms, "
        "longest %.1f ms; %.1f s in all\n",
        total - refused, total, refused, kept, total, ms(at(0.5)), ms(at(0.99)),
        ms(done.empty() ? 0 : done.back()), seconds);
    return whole && refused == 0 && kept == total ? 0 : 1;
}
