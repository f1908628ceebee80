// How the program's databases are opened and fail: lock waits
// (busy_wait.cpp), durable commits (durable_commits.cpp) and the one
// failure path of a database call (account_db.cpp).
#pragma once

struct sqlite3;

// Database calls of the toolkit and the timer interface wait this long for a
// lock another process holds before they count as failed.
constexpr int kQuibBusyTimeoutMs = 2000;
// Makes db wait up to kQuibBusyTimeoutMs for a lock, trying again every
// few milliseconds (every waiter alike, so that the first to wait is not the
// one to run out of time). slot: 0 for the account database, 1 for the timer
// database. Returns SQLite's result code.
int quibWaitForLocks(sqlite3* db, int slot);

// Makes every database the process opens from here on sync the deletion of
// its rollback journal, so that a commit survives a power cut once it has
// returned. Call before opening; the SQLite result code.
int quibUseDurableCommits();

// Returns code when it is 0; otherwise writes the fatal page and ends the
// process with exit status 1.
int checkDBout(int code);
