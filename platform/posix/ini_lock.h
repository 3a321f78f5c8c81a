#pragma once
// The lock that settings saves take turns with: an exclusive flock() on a file beside
// settings.ini. Every holder bumps a count kept in the lock file, so that a waiter that gives up
// can tell a lock busy with other copies (the count moved) from one holder that never let go
// (the count stood still).

#include <chrono>
#include <cstdint>

namespace qv::posix {

// The count of hand-overs in the lock file open at `fd`.
std::uint64_t handOvers(int fd);

// Takes an exclusive flock(), waiting at most `bound`. 0 once held; EWOULDBLOCK when it is still
// held at the bound and the count of hand-overs stood still (one holder never let go), EBUSY
// when it moved (the lock went from copy to copy, never to us); else flock()'s errno.
//
// A holder that is merely slow (a sync on a busy disk) does not bump the count while it works,
// so nothing short of the bound tells it from a hung one: the wait never gives up earlier. The
// wait blocks in the kernel rather than polling: a waiter is woken the moment the lock is let go,
// so copies saving in quick succession take turns instead of the last holder taking it again.
int lockWithin(int fd, std::chrono::milliseconds bound, std::uint64_t& countAtStart);

}  // namespace qv::posix
