#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix/ini_settings.h"
#include "platform/program_identity.h"

namespace qv::posix {

namespace {

constexpr std::string_view kDeletedMark = " (deleted)";

std::string runningExecutablePath() {
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) break;
        if (static_cast<std::size_t>(n) < buf.size()) {
            std::string path(buf.data(), static_cast<std::size_t>(n));
            // NOTE: once the executable is replaced or removed, the kernel appends
            // " (deleted)" to the link. A file really named so that is still there and is the
            // running program keeps its name.
            if (path.size() > kDeletedMark.size() && path.ends_with(kDeletedMark)) {
                struct stat named {
                }, running{};
                const bool same = ::stat(path.c_str(), &named) == 0 &&
                                  ::stat("/proc/self/exe", &running) == 0 &&
                                  named.st_dev == running.st_dev && named.st_ino == running.st_ino;
                if (!same) path.resize(path.size() - kDeletedMark.size());
            }
            return path;
        }
        buf.resize(buf.size() * 2);
    }
    // Without /proc (a chroot, say): the path the program was started by.
    if (const auto* execFn = reinterpret_cast<const char*>(::getauxval(AT_EXECFN))) return execFn;
    return std::string(kProgramName);
}

}  // namespace

std::string sectionForExecutable(std::string_view path) {
    const auto slash = path.rfind('/');
    const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return std::string(withoutExtension(file));
}

std::string ProcSelfExeSection::sectionName() const {
    return sectionForExecutable(runningExecutablePath());
}

std::unique_ptr<SectionSource> makeProcSelfExeSection() {
    return std::make_unique<ProcSelfExeSection>();
}

}  // namespace qv::posix
