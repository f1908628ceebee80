// How a request waits for a database that another process holds.
//
// SQLite's own timed wait sleeps longer the longer it has waited (up to a
// tenth of a second between tries), so under a queue of requests a newcomer,
// trying every millisecond or two, takes the lock ahead of those that came
// first, and they run out of time. Here every waiter tries again after the
// same few milliseconds, give or take a random one, until its time is up.
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

#include "quib/database.h"

namespace {

constexpr int64_t kRetryMicroseconds = 2000;
constexpr int64_t kNanosecondsPerMillisecond = 1000000;

int64_t monotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / kNanosecondsPerMillisecond;
}

// The time of the first try of the current wait, per connection.
struct WaitState {
  int64_t startMs = 0;
};

WaitState waits[2];

int waitOnce(void* state, int tries) {
  auto* wait = static_cast<WaitState*>(state);
  const int64_t now = monotonicMilliseconds();
  if (tries == 0) wait->startMs = now;
  if (now - wait->startMs >= kQuibBusyTimeoutMs) return 0;
  // A jitter of up to a millisecond keeps waiters from trying in step.
  const int64_t jitter = (now * 7919 + tries * 104729 + int64_t{getpid()} * 31) % 1000;
  timespec pause{0, static_cast<long>((kRetryMicroseconds + jitter) * 1000)};
  nanosleep(&pause, nullptr);
  return 1;
}

}  // namespace

int quibWaitForLocks(sqlite3* db, int slot) {
  return sqlite3_busy_handler(db, waitOnce, &waits[slot & 1]);
}
