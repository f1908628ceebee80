// The timer database handle and its one failure routine.
#include <cstdio>
#include <cstdlib>

#include "websched/websched.h"

sqlite3* web_sched_db = nullptr;

int exitIfError(int code, int site) {
  if (code == SQLITE_OK) return code;
  quibPrintHttpHeader();
  std::printf("SQL error code: %d, message: \"%s\" at line %d\n", code,
              sqlite3_errmsg(web_sched_db), site);
  std::fflush(stdout);
  sqlite3_close(web_sched_db);
  web_sched_db = nullptr;
  std::exit(1);
}
