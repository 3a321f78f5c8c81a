#include "platform/posix/ini_lock.h"

#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>

#include "platform/posix/posix_file.h"

namespace qv::posix {

std::uint64_t handOvers(int fd) {
    char buf[32];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    std::uint64_t count = 0;
    if (n > 0) std::from_chars(buf, buf + n, count);
    return count;
}

namespace {

void countHandOver(int fd) {
    char buf[24];
    auto r = std::to_chars(buf, buf + 20, handOvers(fd) + 1);
    const std::size_t digits = static_cast<std::size_t>(r.ptr - buf);
    // Fixed width: each count overwrites the whole previous one.
    std::memmove(buf + 20 - digits, buf, digits);
    std::memset(buf, '0', 20 - digits);
    buf[20] = '\n';
    if (::pwrite(fd, buf, 21, 0) != 21) {
        // A count not kept only words a later refusal less precisely; the save itself goes on.
    }
}

// Interrupts a blocking flock() once a wait's time is up: SIGALRM with a handler that does not
// restart the call, so flock() returns EINTR. Everything is put back as it was when it goes.
volatile std::sig_atomic_t gLockWaitExpired = 0;

extern "C" void onLockWaitAlarm(int) {
    gLockWaitExpired = 1;
}

class LockWaitAlarm {
  public:
    explicit LockWaitAlarm(std::chrono::milliseconds after) {
        gLockWaitExpired = 0;
        struct sigaction action {};
        action.sa_handler = onLockWaitAlarm;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &oldAction_);
        itimerval timer{};
        timer.it_value.tv_sec = static_cast<time_t>(after.count() / 1000);
        timer.it_value.tv_usec = static_cast<suseconds_t>(after.count() % 1000 * 1000);
        if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
        // NOTE: the alarm repeats after the first: one that strikes just before flock() blocks
        // would otherwise leave it blocked for good.
        timer.it_interval.tv_usec = 10000;
        ::setitimer(ITIMER_REAL, &timer, &oldTimer_);
    }
    ~LockWaitAlarm() {
        ::setitimer(ITIMER_REAL, &oldTimer_, nullptr);
        ::sigaction(SIGALRM, &oldAction_, nullptr);
    }
    LockWaitAlarm(const LockWaitAlarm&) = delete;
    LockWaitAlarm& operator=(const LockWaitAlarm&) = delete;

  private:
    struct sigaction oldAction_ {};
    itimerval oldTimer_{};
};

}  // namespace

int lockWithin(int fd, std::chrono::milliseconds bound, std::uint64_t& countAtStart) {
    countAtStart = handOvers(fd);
    auto taken = [&] {
        countHandOver(fd);
        return 0;
    };
    if (retryOnEintr([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) return taken();
    if (errno != EWOULDBLOCK) return errno;
    if (bound > std::chrono::milliseconds::zero()) {
        const LockWaitAlarm alarm(bound);
        while (!gLockWaitExpired) {
            if (::flock(fd, LOCK_EX) == 0) return taken();
            if (errno != EINTR) return errno;
        }
    }
    return handOvers(fd) == countAtStart ? EWOULDBLOCK : EBUSY;
}

}  // namespace qv::posix
