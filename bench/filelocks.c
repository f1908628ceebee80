/* How long a process holds SQLite's file locks on one database.
 *
 * An LD_PRELOAD shim: it sees every fcntl(F_SETLK/F_SETLKW) the process makes
 * on the file named by FILELOCKS_DB and measures each span from the first lock
 * taken while none was held (SQLite's shared lock, or more) to the unlock of
 * the whole file (SQLite's return to no lock). At exit it appends one line to
 * FILELOCKS_OUT (or standard error):
 *
 *   spans N total T.TTT ms longest L.LLL ms: S1 S2 ...
 *
 * SQLite's own calls reach fcntl through the dynamic linker, so this works
 * with a program linked against the shared libsqlite3, not with one that has
 * SQLite compiled in.
 *
 *   cc -O2 -shared -fPIC -o filelocks.so bench/filelocks.c -ldl
 *   FILELOCKS_DB=/path/schedule_record.db LD_PRELOAD=./filelocks.so skedra ...
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define MAX_SPANS 256

static double spans[MAX_SPANS];
static int span_count;
static double total_ms, longest_ms;
static double held_since = -1;

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* True when fd is the database that FILELOCKS_DB names. */
static int is_watched(int fd) {
  const char* want = getenv("FILELOCKS_DB");
  char link[64], path[PATH_MAX], real[PATH_MAX];
  if (!want || !realpath(want, real)) return 0;
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  if (n < 0) return 0;
  path[n] = '\0';
  return strcmp(path, real) == 0;
}

static void note(int fd, int cmd, const struct flock* lock, int result) {
  if (result != 0 || (cmd != F_SETLK && cmd != F_SETLKW) || !is_watched(fd)) return;
  if (lock->l_type != F_UNLCK) {
    if (held_since < 0) held_since = now_ms();
  } else if (lock->l_start == 0 && lock->l_len == 0 && held_since >= 0) {
    double span = now_ms() - held_since;
    held_since = -1;
    if (span_count < MAX_SPANS) spans[span_count] = span;
    span_count++;
    total_ms += span;
    if (span > longest_ms) longest_ms = span;
  }
}

static int forward(const char* name, int fd, int cmd, void* arg) {
  int (*real)(int, int, ...) = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);
  int result = real(fd, cmd, arg);
  if (cmd == F_SETLK || cmd == F_SETLKW) note(fd, cmd, (const struct flock*)arg, result);
  return result;
}

int fcntl(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);
  va_end(args);
  return forward("fcntl", fd, cmd, arg);
}

int fcntl64(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);
  va_end(args);
  return forward("fcntl64", fd, cmd, arg);
}

__attribute__((destructor)) static void report(void) {
  const char* out = getenv("FILELOCKS_OUT");
  FILE* file = out ? fopen(out, "a") : stderr;
  if (!file) return;
  fprintf(file, "spans %d total %.3f ms longest %.3f ms:", span_count, total_ms, longest_ms);
  for (int i = 0; i < span_count && i < MAX_SPANS; i++) fprintf(file, " %.3f", spans[i]);
  fprintf(file, "\n");
  if (file != stderr) fclose(file);
}
