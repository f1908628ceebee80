// The timer database of the request: its handle, its read transaction and the one routine that ends
// the request on a failure.
#pragma once

#include <sqlite3.h>

#include <string_view>

#include "quib/quib.h"
#include "store/failure_sites.h"

// Handle of the recorder's timer database, open for the whole request.
extern sqlite3* web_sched_db;

// How long a statement on the timer database waits for a lock that another
// process (the firmware, another request) holds before it fails.
constexpr int kWebSchedBusyTimeoutMs = kQuibBusyTimeoutMs;

// Opens path into web_sched_db with the busy timeout set. Returns the SQLite
// result code.
int openWebSchedDb(const char* path,
                   int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI);

// Records that the request's timer action has been committed; a failure
// after that says so in front of its error line.
void noteActionDone();
bool actionDone();

// The reads of one page share one read transaction, so that the firmware
// meets the page's shared lock once and briefly. beginTimerRead starts it
// unless a transaction is open already; endTimerRead ends it when one is
// open. A failure ends the request through exitIfError at site.
void beginTimerRead(FailureSite site);
void endTimerRead(FailureSite site);

// Returns when code is 0. Otherwise replaces the response's page text with
// the "SQL error code" line naming site (after a committed action, the line
// saying it was carried out comes first), sends it, closes the timer database
// (closeTimerDbAfterFailure) and ends the process with exit status 1. The
// sites and their numbers are listed in store/failure_sites.h.
int exitIfError(int code, FailureSite site);

// How a failure of the timer database is answered, in place of the page's
// error line: code is the SQLite result code, text the error line. The
// answer goes out through the response; exitIfError then ends the request.
using FailureAnswer = void (*)(int code, std::string_view text);
void answerFailuresWith(FailureAnswer answer);

// Finalises every statement still open on web_sched_db, rolls back a
// transaction that is still open, then closes it and sets it to null.
// Returns SQLITE_OK when the rollback and the close both succeeded, else the
// first failing code. Statements held by SqliteStatement handles must not be
// used or finalised again afterwards.
int closeTimerDbAfterFailure();

// Prepares, steps once and finalises one statement on web_sched_db.
void execSQL(const char* sql);
