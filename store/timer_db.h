// The timer database of the request: its handle, its read transaction and the one routine that ends
// the request on a failure.
#pragma once

#include <sqlite3.h>

#include "quib/quib.h"

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
void beginTimerRead(int site);
void endTimerRead(int site);

// Returns when code is 0. Otherwise replaces the response's page text with
// the "SQL error code" line naming site (after a committed action, the line
// saying it was carried out comes first), sends it, closes the timer database
// and ends the process with exit status 1.
int exitIfError(int code, int site);

// Call-site numbers handed to exitIfError: each statement has its own.
// Ranges: entry 1-9, group actions 10-19, create/update 20-29, padding
// defaults 30-49, schedule rows 50-59, list screen 60-69.

// Prepares, steps once and finalises one statement on web_sched_db.
void execSQL(const char* sql);
