/* How long a program holds the read lock of its timer query: preloaded
 * (LD_PRELOAD) into a program that links SQLite dynamically, it watches the
 * statement whose text starts with "select source, channel" and takes the
 * time from its first sqlite3_step (where SQLite takes the shared lock) to
 * the step that returns SQLITE_DONE or its reset or finalize, whichever
 * comes first (where an autocommit read ends and the lock goes). At exit it
 * appends the span in nanoseconds as one line to the file named by
 * LOCKSPAN_OUT.
 *
 *   cc -shared -fPIC -O2 -o lockspan.so lockspan.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const char kWatched[] = "select source, channel";

static sqlite3_stmt* watched;
static long long firstStep, released;

static long long nowNs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void* next(const char* name) {
  void* f = dlsym(RTLD_NEXT, name);
  if (!f) abort();
  return f;
}

static void release(sqlite3_stmt* statement) {
  if (statement == watched && firstStep && !released) released = nowNs();
}

int sqlite3_prepare_v2(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** statement,
                       const char** tail) {
  static int (*real)(sqlite3*, const char*, int, sqlite3_stmt**, const char**);
  if (!real)
    real = (int (*)(sqlite3*, const char*, int, sqlite3_stmt**, const char**))next(__func__);
  int rc = real(db, sql, bytes, statement, tail);
  if (rc == SQLITE_OK && sql && strncmp(sql, kWatched, sizeof kWatched - 1) == 0 && !watched) {
    watched = *statement;
  }
  return rc;
}

int sqlite3_step(sqlite3_stmt* statement) {
  static int (*real)(sqlite3_stmt*);
  if (!real) real = (int (*)(sqlite3_stmt*))next(__func__);
  if (statement == watched && !firstStep) firstStep = nowNs();
  int rc = real(statement);
  if (rc != SQLITE_ROW) release(statement);
  return rc;
}

int sqlite3_reset(sqlite3_stmt* statement) {
  static int (*real)(sqlite3_stmt*);
  if (!real) real = (int (*)(sqlite3_stmt*))next(__func__);
  release(statement);
  return real(statement);
}

int sqlite3_finalize(sqlite3_stmt* statement) {
  static int (*real)(sqlite3_stmt*);
  if (!real) real = (int (*)(sqlite3_stmt*))next(__func__);
  release(statement);
  if (statement == watched) watched = NULL;
  return real(statement);
}

__attribute__((destructor)) static void report(void) {
  const char* path = getenv("LOCKSPAN_OUT");
  if (!path || !firstStep || !released) return;
  FILE* out = fopen(path, "a");
  if (!out) return;
  fprintf(out, "%lld\n", released - firstStep);
  fclose(out);
}
