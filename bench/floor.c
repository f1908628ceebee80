/* The floor of the list screen: the cheapest program that sends the same
 * response as skedra for a signed-in list screen (create mode, no message,
 * no action) and for the sign-in page, byte for byte, with the shipped
 * templates hard-coded as text. It does only the work those pages need:
 * the session lookup and its access-time update in the account database,
 * the padding defaults, the channel file, one pass over the timer rows into
 * memory, every enabled timer's recording windows over the next 14 days and
 * the overlaps among them (one sort and one sweep), and the page.
 *
 *   floor TIMER_DB CHANNEL_FILE
 *
 * Environment as for skedra: HTTP_COOKIE (quibsession=ID), quibauth (the
 * account database), TZ (the zone; the floor does not read /etc/TZ).
 * Plain C and SQLite only: no C++ runtime. bench/run compares its output
 * with skedra's before it measures either. */
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <time.h>

static const char kRowQuery[] =
    "select source, channel, date, date_year, date_month, date_day, start_hour, "
    "start_minute,length_hour, length_minute, ID, timestamp_start, timestamp_offset, enable, "
    "quality, target,lock, user_string from timer_record_table";

static const char* const kWeek[12] = {"Once",          "Everyday", "Mon-Fri", "Mon-Sat",
                                      "Every Weekend", "Sun",      "Mon",     "Tue",
                                      "Wed",           "Thu",      "Fri",     "Sat"};

static const char kHeader[] =
    "Content-Language: en\n"
    "Cache-Control: no-store\n"
    "X-Frame-Options: DENY\n"
    "Content-Security-Policy: frame-ancestors 'none'\n"
    "Referrer-Policy: same-origin\n"
    "X-Content-Type-Options: nosniff\n"
    "Content-type: text/html; charset=utf-8\n\n";

/* How many overlaps a row names. */
#define NAMED 5

struct Row {
  int source, channel, date, year, month, day, hh, mm, hours, mins, id, start, offset, enable,
      quality, target, lock;
  char* title;
  /* The next recording window (none when next == 0), the first NAMED
   * overlaps (the other rows' indexes and the instants, by instant and then
   * database order) and how many more there are. */
  int next;
  int64_t nextStart;
  int named;
  int other[NAMED];
  int64_t moment[NAMED];
  int more;
};

struct Channel {
  int number, alt;
  char* name;
};

static void fail(const char* what) {
  printf("%sfloor: %s\n", kHeader, what);
  exit(1);
}

static void putEscaped(const char* text) {
  const char* run = text;
  for (const char* c = text; *c; ++c) {
    const char* entity;
    switch (*c) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\'':
        entity = "&#39;";
        break;
      default:
        continue;
    }
    fwrite(run, 1, (size_t)(c - run), stdout);
    fputs(entity, stdout);
    run = c + 1;
  }
  fputs(run, stdout);
}

/* 32 lowercase hexadecimal digits from 16 random bytes. */
static void newToken(char* text) {
  unsigned char bytes[16];
  if (getrandom(bytes, sizeof bytes, 0) != (ssize_t)sizeof bytes) fail("no random source");
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = "0123456789abcdef"[bytes[i] >> 4];
    text[2 * i + 1] = "0123456789abcdef"[bytes[i] & 15];
  }
  text[32] = 0;
}

/* The value of quibsession in HTTP_COOKIE (a simplified reading: the bench
 * sends exactly one cookie). */
static const char* sessionCookie(void) {
  const char* header = getenv("HTTP_COOKIE");
  if (!header) return NULL;
  const char* at = strstr(header, "quibsession=");
  return at ? at + strlen("quibsession=") : NULL;
}

/* Looks the session up and, once a minute, touches it as skedra does; 1 when
 * it signs in. */
static int checkSession(const char* id) {
  const char* path = getenv("quibauth");
  sqlite3* db = NULL;
  sqlite3_stmt* st = NULL;
  if (sqlite3_open(path ? path : "/usr/local/etc/quibauth.db", &db) != SQLITE_OK) fail("open");
  sqlite3_busy_timeout(db, 2000);
  if (sqlite3_prepare_v2(db, "select access_time, sticky, login from sessions where id = ?", -1,
                         &st, NULL) != SQLITE_OK)
    fail("prepare");
  sqlite3_bind_text(st, 1, id, -1, SQLITE_STATIC);
  int valid = 0, sticky = 0, due = 0;
  int32_t accessed = 0;
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    sticky = sqlite3_column_int(st, 1) == 1;
    accessed = sqlite3_column_int(st, 0);
    int32_t idle = (int32_t)((uint32_t)time(NULL) - (uint32_t)accessed);
    valid = sqlite3_column_text(st, 2) != NULL && (sticky || idle < 300);
    due = idle >= 60 || idle < 0;
  } else if (rc != SQLITE_DONE) {
    fail("step");
  }
  sqlite3_finalize(st);
  if (valid && due) {
    if (sqlite3_prepare_v2(db, "update sessions set access_time=strftime('%s', 'now') where id = ?",
                           -1, &st, NULL) != SQLITE_OK)
      fail("prepare");
    sqlite3_bind_text(st, 1, id, -1, SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_DONE) fail("step");
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  if (valid && sticky) {
    static const char* const days[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    /* The cookie lives as long as the session's row. */
    time_t expiry = (due ? time(NULL) : (time_t)accessed) + 15811200;
    struct tm utc;
    gmtime_r(&expiry, &utc);
    printf(
        "Set-Cookie: quibsession=%s; HttpOnly; SameSite=Strict; expires=%s, %d-%s-%d "
        "%02d:%02d:%02d GMT\n",
        id, days[utc.tm_wday], utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour,
        utc.tm_min, utc.tm_sec);
  }
  return valid;
}

static void signInPage(void) {
  char token[33];
  newToken(token);
  /* The sign-in page's token goes out in its cookie as well. */
  printf("Set-Cookie: quibsignin=%s; HttpOnly; SameSite=Strict\n", token);
  fputs(kHeader, stdout);
  fputs(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Sign in - Recording timers</title>\n"
      "<link rel=\"icon\" href=\"../favicon.svg\" type=\"image/svg+xml\">\n"
      "<link rel=\"stylesheet\" href=\"../skedra.css\">\n</head>\n<body>\n"
      "<div class=\"page page-narrow\">\n<header class=\"topbar\">\n<h1>Recording timers</h1>\n"
      "<form class=\"inline language\" method=\"post\" action=\"skedra.cgi\" "
      "accept-charset=\"utf-8\">\n<label for=\"language\">Language</label>\n<select "
      "id=\"language\" name=\"language\"><option value=\"\" selected>Automatic</option><option "
      "value=\"en\" lang=\"en\">English</option><option value=\"de\" "
      "lang=\"de\">Deutsch</option><option value=\"fr\" lang=\"fr\">Fran\303\247ais</option><option "
      "value=\"pl\" lang=\"pl\">Polski</option></select>\n<button type=\"submit\" class=\"btn "
      "btn-quiet\" name=\"setlanguage\" value=\"1\">Apply</button>\n</form>\n"
      "</header>\n\n<div class=\"msg msg-error\" id=\"msg-error\" role=\"alert\"></div>\n"
      "<div class=\"msg msg-notice\" role=\"status\"></div>\n\n<main>\n"
      "<section class=\"panel\" aria-labelledby=\"signin-heading\">\n"
      "<h2 id=\"signin-heading\">Sign in</h2>\n"
      "<form method=\"post\" action=\"skedra.cgi\" accept-charset=\"utf-8\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n<div class=\"field\">\n<label for=\"login\">User name</label>\n"
      "<input type=\"text\" id=\"login\" name=\"login\" autocomplete=\"username\" "
      "autocapitalize=\"none\" spellcheck=\"false\" required autofocus>\n</div>\n"
      "<div class=\"field\">\n<label for=\"pass\">Password</label>\n"
      "<input type=\"password\" id=\"pass\" name=\"pass\" autocomplete=\"current-password\">\n"
      "</div>\n<div class=\"field\">\n<span class=\"choice\"><input type=\"checkbox\" "
      "id=\"sticky\" name=\"sticky\" value=\"on\"><label for=\"sticky\">Keep me signed "
      "in</label></span>\n</div>\n<div class=\"actions\">\n"
      "<button type=\"submit\" class=\"btn btn-primary\">Sign in</button>\n</div>\n</form>\n"
      "</section>\n</main>\n</div>\n</body>\n</html>\n",
      stdout);
}

/* The channel file: "name|number|alt" a line, '#' lines are comments, runs
 * of '|' count as one (as the library reads it). */
static struct Channel* readChannels(const char* path, int* count) {
  struct Channel* list = NULL;
  int size = 0, used = 0;
  FILE* file = fopen(path, "rb");
  char line[256];
  while (file && fgets(line, sizeof line, file)) {
    if (line[0] == '#') continue;
    char* save = NULL;
    char* name = strtok_r(line, "|", &save);
    char* number = name ? strtok_r(NULL, "|", &save) : NULL;
    char* alt = number ? strtok_r(NULL, "|", &save) : NULL;
    if (!alt) continue;
    if (used == size) {
      size = size ? 2 * size : 512;
      list = realloc(list, (size_t)size * sizeof *list);
      if (!list) fail("memory");
    }
    list[used].number = (int16_t)atoi(number);
    list[used].alt = (int16_t)atoi(alt);
    list[used].name = strdup(name);
    ++used;
  }
  if (file) fclose(file);
  *count = used;
  return list;
}

static int readSetting(sqlite3* db, sqlite3_stmt* st, const char* name, int* found) {
  sqlite3_reset(st);
  sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
  int value = 0;
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    value = sqlite3_column_int(st, 0);
    *found = 1;
  } else if (rc != SQLITE_DONE) {
    fail(sqlite3_errmsg(db));
  }
  return value;
}

/* Every row in one pass, the statement reset before anything is printed. */
static struct Row* readRows(sqlite3* db, int* count) {
  sqlite3_stmt* st = NULL;
  if (sqlite3_prepare_v2(db, kRowQuery, -1, &st, NULL) != SQLITE_OK) fail(sqlite3_errmsg(db));
  struct Row* rows = NULL;
  int size = 0, used = 0, rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (used == size) {
      size = size ? 2 * size : 64;
      rows = realloc(rows, (size_t)size * sizeof *rows);
      if (!rows) fail("memory");
    }
    struct Row* r = &rows[used++];
    r->source = sqlite3_column_int(st, 0);
    r->channel = (int16_t)sqlite3_column_int(st, 1);
    r->date = sqlite3_column_int(st, 2);
    r->year = sqlite3_column_int(st, 3);
    r->month = sqlite3_column_int(st, 4);
    r->day = sqlite3_column_int(st, 5);
    r->hh = sqlite3_column_int(st, 6);
    r->mm = sqlite3_column_int(st, 7);
    r->hours = sqlite3_column_int(st, 8);
    r->mins = sqlite3_column_int(st, 9);
    r->id = sqlite3_column_int(st, 10);
    r->start = sqlite3_column_int(st, 11);
    r->offset = sqlite3_column_int(st, 12);
    r->enable = sqlite3_column_int(st, 13);
    r->quality = sqlite3_column_int(st, 14);
    r->target = sqlite3_column_int(st, 15);
    r->lock = sqlite3_column_int(st, 16);
    const char* title = (const char*)sqlite3_column_text(st, 17);
    r->title = strdup(title ? title : "");
  }
  if (rc != SQLITE_DONE) fail(sqlite3_errmsg(db));
  sqlite3_finalize(st);
  *count = used;
  return rows;
}

static int64_t dayNumber(const struct tm* t) {
  int64_t before = (int64_t)t->tm_year + 1900 - 1;
  return before * 365 + before / 4 - before / 100 + before / 400 + t->tm_yday;
}

/* ------------------------------------------------ when the timers record --
 * As skedra reads them: a timer without a pattern records once, from
 * timestamp_start for timestamp_offset seconds; a pattern (codes 1-11)
 * records on every day it allows from the start's local date on, at the
 * start's local wall-clock time of that day, with the first window's margin
 * and length. Windows that have ended at now or begin 14 days after it or
 * later do not count. */

#define DAY_SECONDS 86400
#define HORIZON_SECONDS (14 * DAY_SECONDS)

/* The recorder's tuners (skedra's RECORDER_TUNERS, 1 unless it is built
 * otherwise) and its one AV input: how many windows of each kind can record
 * at one instant. */
#ifndef FLOOR_TUNERS
#define FLOOR_TUNERS 1
#endif

static int64_t floorDiv(int64_t a, int64_t b) {
  int64_t quotient = a / b;
  return quotient - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

static int32_t wrap32(int64_t value) {
  return (int32_t)(uint32_t)value;
}

/* Days from 1970-01-01 to a date of the Gregorian calendar (month 1-12). */
static int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  int64_t era = floorDiv(year, 400);
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
}

/* The month (1-12) and day of the month of a day counted from 1970-01-01. */
static void civilFromDays(int64_t days, int* month, int* day) {
  days += 719468;
  int64_t dayOfEra = days - floorDiv(days, 146097) * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shifted = (5 * dayOfYear + 2) / 153;
  *day = (int)(dayOfYear - (153 * shifted + 2) / 5 + 1);
  *month = (int)(shifted < 10 ? shifted + 3 : shifted - 9);
}

/* The zone's offset from UTC at the first second of one UTC day, as the C
 * library's rule gives it, and once it is needed the first second of the
 * next day's offset when the two differ. No zone changes its offset twice
 * within a day, so one look-up per day touched (and a bisection per change)
 * gives the offset of every instant: localtime_r runs once per day touched,
 * not several times per row and window. An open-addressing table by day. */
struct ZoneDay {
  int64_t day;
  int64_t change; /* valid when changeKnown */
  int32_t offset;
  char used, changeKnown;
};

static struct ZoneDay* zoneDays;
static size_t zoneSlots, zoneUsed;

/* Seconds east of UTC at the instant; 0 where the library cannot convert it. */
static int32_t libraryOffset(int64_t instant) {
  time_t value = (time_t)instant;
  struct tm local;
  if (!localtime_r(&value, &local)) return 0;
  return (int32_t)local.tm_gmtoff;
}

static size_t zoneSlot(const struct ZoneDay* table, size_t slots, int64_t day) {
  size_t slot = (size_t)(((uint64_t)day * UINT64_C(0x9e3779b97f4a7c15)) >> 40) & (slots - 1);
  while (table[slot].used && table[slot].day != day) slot = (slot + 1) & (slots - 1);
  return slot;
}

static struct ZoneDay* zoneDay(int64_t day) {
  if (2 * (zoneUsed + 1) > zoneSlots) {
    size_t slots = zoneSlots ? 2 * zoneSlots : 256;
    struct ZoneDay* table = calloc(slots, sizeof *table);
    if (!table) fail("memory");
    for (size_t i = 0; i < zoneSlots; ++i) {
      if (zoneDays[i].used) table[zoneSlot(table, slots, zoneDays[i].day)] = zoneDays[i];
    }
    free(zoneDays);
    zoneDays = table;
    zoneSlots = slots;
  }
  struct ZoneDay* entry = &zoneDays[zoneSlot(zoneDays, zoneSlots, day)];
  if (!entry->used) {
    entry->used = 1;
    entry->day = day;
    entry->offset = libraryOffset(day * DAY_SECONDS);
    ++zoneUsed;
  }
  return entry;
}

/* The first second of the next day's offset within a day whose first
 * second has another offset, by bisection; kept in the day's entry. */
static int64_t changeWithin(int64_t day) {
  struct ZoneDay* entry = zoneDay(day);
  if (!entry->changeKnown) {
    int64_t low = day * DAY_SECONDS, high = low + DAY_SECONDS;
    while (high - low > 1) {
      int64_t middle = low + (high - low) / 2;
      if (libraryOffset(middle) == entry->offset) {
        low = middle;
      } else {
        high = middle;
      }
    }
    entry->change = high;
    entry->changeKnown = 1;
  }
  return entry->change;
}

static int32_t tableOffset(int64_t instant) {
  int64_t day = floorDiv(instant, DAY_SECONDS);
  int32_t after = zoneDay(day + 1)->offset;
  int32_t before = zoneDay(day)->offset;
  if (before == after) return after;
  return instant < changeWithin(day) ? before : after;
}

/* The days around the request's time in which the repeating timers' windows
 * are read (the next 14 days and the longest window looked for back, each
 * with a day before and after): their offset and changes, found once, so
 * that a window's start costs a few comparisons. */
#define SPAN_DAYS 41

static struct {
  int64_t start, end; /* empty until readSpan */
  int32_t offset;     /* at start */
  int changes;
  int64_t at[SPAN_DAYS];
  int32_t to[SPAN_DAYS];
} span;

static void readSpan(int64_t now) {
  int64_t first = floorDiv(now, DAY_SECONDS) - SPAN_DAYS / 2;
  int32_t offset = span.offset = zoneDay(first)->offset;
  for (int64_t day = first; day < first + SPAN_DAYS; ++day) {
    int32_t next = zoneDay(day + 1)->offset;
    if (next == offset) continue;
    span.at[span.changes] = changeWithin(day);
    span.to[span.changes++] = offset = next;
  }
  span.start = first * DAY_SECONDS;
  span.end = span.start + SPAN_DAYS * DAY_SECONDS;
}

static int32_t offsetAt(int64_t instant) {
  if (instant < span.start || instant >= span.end) return tableOffset(instant);
  int32_t offset = span.offset;
  for (int i = 0; i < span.changes && instant >= span.at[i]; ++i) offset = span.to[i];
  return offset;
}

/* The instant a local wall-clock time (seconds from 1970-01-01 as if UTC)
 * stands for, as skedra reads it: of the readings with the offsets a day
 * before and a day after, the one that holds; the later when both do (the
 * repeated hour of autumn); the earlier offset's when neither does (the
 * skipped hour of spring moves forward by the change). */
static int64_t instantOfWall(int64_t wall) {
  /* Outside the span: where the offset is the same from the day before to
   * the day after, that offset's reading is the only one. */
  if (wall - DAY_SECONDS < span.start || wall + 2 * DAY_SECONDS > span.end) {
    int64_t day = floorDiv(wall, DAY_SECONDS);
    int32_t offset = zoneDay(day - 1)->offset;
    if (zoneDay(day)->offset == offset && zoneDay(day + 1)->offset == offset &&
        zoneDay(day + 2)->offset == offset)
      return wall - offset;
  }
  int32_t offsetBefore = offsetAt(wall - DAY_SECONDS);
  int32_t offsetAfter = offsetAt(wall + DAY_SECONDS);
  int64_t early = wall - offsetBefore, late = wall - offsetAfter;
  int earlyHolds = offsetAt(early) == offsetBefore;
  int lateHolds = offsetAt(late) == offsetAfter;
  if (earlyHolds && lateHolds) return early > late ? early : late;
  return lateHolds ? late : early;
}

/* The local day of an instant, counted from 1970-01-01, and its second. */
static int64_t localDay(int64_t instant, int64_t* second) {
  int64_t local = instant + offsetAt(instant);
  int64_t day = floorDiv(local, DAY_SECONDS);
  if (second) *second = local - day * DAY_SECONDS;
  return day;
}

/* 0 = Sunday. */
static int weekdayOf(int64_t day) {
  return (int)(day - floorDiv(day + 4, 7) * 7 + 4);
}

/* "Tue 9/12 20:15": the local weekday, day/month and time of an instant. */
static void putMoment(int64_t instant) {
  int64_t second;
  int64_t day = localDay(instant, &second);
  int month, dayOfMonth;
  civilFromDays(day, &month, &dayOfMonth);
  int hour = (int)(second / 3600), minute = (int)(second % 3600 / 60);
  char text[16]; /* "Wed 30/12 23:59" */
  size_t n = 4;
  memcpy(text, kWeek[5 + weekdayOf(day)], 3);
  text[3] = ' ';
  if (dayOfMonth >= 10) text[n++] = (char)('0' + dayOfMonth / 10);
  text[n++] = (char)('0' + dayOfMonth % 10);
  text[n++] = '/';
  if (month >= 10) text[n++] = (char)('0' + month / 10);
  text[n++] = (char)('0' + month % 10);
  text[n++] = ' ';
  text[n++] = (char)('0' + hour / 10);
  text[n++] = (char)('0' + hour % 10);
  text[n++] = ':';
  text[n++] = (char)('0' + minute / 10);
  text[n++] = (char)('0' + minute % 10);
  fwrite(text, 1, n, stdout);
}

/* "Tue 9/12/2025 20:15": the same with the year, for a recording half a
 * year or more ahead. */
static void putMomentOrYear(int64_t instant, int64_t now) {
  if (instant - now < 183 * (int64_t)DAY_SECONDS) {
    putMoment(instant);
    return;
  }
  time_t value = (time_t)instant;
  struct tm local;
  localtime_r(&value, &local);
  printf("%s %d/%d/%d %02d:%02d", kWeek[5 + local.tm_wday], local.tm_mday, local.tm_mon + 1,
         local.tm_year + 1900, local.tm_hour, local.tm_min);
}

static int patternAllows(int repeat, int weekday) {
  switch (repeat) {
    case 1:
      return 1;
    case 2:
      return weekday >= 1 && weekday <= 5;
    case 3:
      return weekday != 0;
    case 4:
      return weekday == 0 || weekday == 6;
    default:
      return weekday == repeat - 5;
  }
}

/* The start columns as a local wall-clock time (seconds from 1970-01-01 as
 * if UTC), out-of-range fields carried over (minute 75, 31 April, month 13). */
static int64_t startWall(const struct Row* r) {
  int64_t month = wrap32((int64_t)r->month - 1);
  int64_t year = (int64_t)wrap32((int64_t)r->year - 1900) + 1900 + floorDiv(month, 12);
  return (daysFromCivil(year, month - floorDiv(month, 12) * 12 + 1, 1) + r->day - 1) * DAY_SECONDS +
         (int64_t)r->hh * 3600 + (int64_t)r->mm * 60;
}

/* A window's start or end. */
struct Point {
  int64_t time;
  uint32_t window; /* index in the window list */
  uint32_t start;
};

struct Windows {
  struct Point* points;
  int* timer; /* per window: its row */
  size_t used, size;
};

static void addWindow(struct Windows* w, int timer, int64_t start, int64_t end) {
  if (w->used == w->size) {
    w->size = w->size ? 2 * w->size : 1024;
    w->points = realloc(w->points, 2 * w->size * sizeof *w->points);
    w->timer = realloc(w->timer, w->size * sizeof *w->timer);
    if (!w->points || !w->timer) fail("memory");
  }
  uint32_t index = (uint32_t)w->used++;
  w->timer[index] = timer;
  w->points[2 * index] = (struct Point){start, index, 1};
  w->points[2 * index + 1] = (struct Point){end, index, 0};
}

/* Adds the window when it has not ended at now; 0 once windows begin beyond
 * the horizon (every later one does too). */
static int keepWindow(struct Windows* w, struct Row* r, int timer, int64_t start, int64_t length,
                      int64_t now) {
  if (start >= now + HORIZON_SECONDS) return 0;
  if (start + length > now) {
    if (!r->next) {
      r->next = 1;
      r->nextStart = start;
    }
    addWindow(w, timer, start, start + length);
  }
  return 1;
}

/* The windows of one row, in time order. */
static void timerWindows(struct Windows* w, struct Row* r, int timer, int64_t now) {
  int64_t length = r->offset;
  if (r->enable != 0 || length <= 0) return;
  if (r->date < 1 || r->date > 11) {
    keepWindow(w, r, timer, r->start, length, now);
    return;
  }
  /* Every start of a pattern lies after timestamp_start, less what the
   * zone's offsets can differ by (under two days): a pattern that begins
   * three days past the horizon has no window in it yet. */
  if ((int64_t)r->start - 3 * DAY_SECONDS >= now + HORIZON_SECONDS) return;
  if (span.start == span.end) readSpan(now);
  int64_t wall = startWall(r);
  int64_t first = instantOfWall(wall);
  int32_t firstStart = wrap32(first);
  int weekday = weekdayOf(localDay(first, NULL));
  /* From the first day whose window can still record at now (the windows
   * lie about a day apart; one longer than the horizon is looked for only
   * that far back) to past the horizon by more than a clock change moves
   * one. */
  int64_t lengthDays = length / DAY_SECONDS + 1;
  if (lengthDays > 15) lengthDays = 15;
  int64_t day = floorDiv(now - r->start, DAY_SECONDS) - lengthDays - 1;
  if (day < 0) day = 0;
  int64_t lastDay = day + lengthDays + HORIZON_SECONDS / DAY_SECONDS + 3;
  for (; day <= lastDay; ++day) {
    if (!patternAllows(r->date, (int)((weekday + day) % 7))) continue;
    int32_t at = wrap32(instantOfWall(wall + day * DAY_SECONDS));
    /* skedra's 32-bit sum: start + (this day's start - the first day's). */
    int64_t start = (int32_t)((uint32_t)r->start + ((uint32_t)at - (uint32_t)firstStart));
    if (!keepWindow(w, r, timer, start, length, now)) break;
  }
}

/* The next start of a row without a window in the next 14 days that will
 * record again: a single window's start, or a pattern's first day from the
 * day of now on that it allows. */
static int64_t nextStartAhead(const struct Row* r, int64_t now) {
  if (r->date < 1 || r->date > 11) return r->start;
  if (span.start == span.end) readSpan(now);
  int64_t wall = startWall(r);
  int64_t first = instantOfWall(wall);
  int32_t firstStart = wrap32(first);
  int weekday = weekdayOf(localDay(first, NULL));
  int64_t length = r->offset > 0 ? r->offset : 0;
  int64_t day = floorDiv(now - length - r->start, DAY_SECONDS) - 1;
  if (day < 0) day = 0;
  for (int64_t lastDay = day + 9; day <= lastDay; ++day) {
    if (!patternAllows(r->date, (int)((weekday + day) % 7))) continue;
    int32_t at = wrap32(instantOfWall(wall + day * DAY_SECONDS));
    int64_t start = (int32_t)((uint32_t)r->start + ((uint32_t)at - (uint32_t)firstStart));
    if (start + length > now) return start;
  }
  return now;
}

/* Sorts the points by time (the order within one instant does not matter):
 * least significant digit first, 11 bits a pass, over the bits in which the
 * times differ from the earliest. */
static void sortPoints(struct Point* points, size_t count) {
  if (count < 2) return;
  uint64_t low = (uint64_t)points[0].time, range = 0;
  for (size_t i = 1; i < count; ++i) {
    if ((int64_t)low > points[i].time) low = (uint64_t)points[i].time;
  }
  for (size_t i = 0; i < count; ++i) {
    if ((uint64_t)points[i].time - low > range) range = (uint64_t)points[i].time - low;
  }
  struct Point* from = points;
  struct Point* to = malloc(count * sizeof *to);
  if (!to) fail("memory");
  struct Point* spare = to;
  for (int shift = 0; shift < 64 && range >> shift; shift += 11) {
    size_t place[2048] = {0};
    for (size_t i = 0; i < count; ++i) ++place[((uint64_t)from[i].time - low) >> shift & 2047];
    size_t sum = 0;
    for (size_t digit = 0; digit < 2048; ++digit) {
      size_t here = place[digit];
      place[digit] = sum;
      sum += here;
    }
    for (size_t i = 0; i < count; ++i)
      to[place[((uint64_t)from[i].time - low) >> shift & 2047]++] = from[i];
    struct Point* sorted = to;
    to = from;
    from = sorted;
  }
  if (from != points) memcpy(points, from, count * sizeof *points);
  free(spare);
}

/* The overlaps found: each pair of rows once (a bit per pair, in the row of
 * the lower index), each row's first NAMED by instant and database order. */
static uint64_t** pairSeen;

static void nameOverlap(struct Row* r, int other, int64_t moment) {
  int at = r->named;
  if (r->named == NAMED) {
    ++r->more;
    int last = NAMED - 1;
    if (moment > r->moment[last] || (moment == r->moment[last] && other > r->other[last])) return;
    at = last;
  } else {
    ++r->named;
  }
  while (at > 0 && (r->moment[at - 1] > moment ||
                    (r->moment[at - 1] == moment && r->other[at - 1] > other))) {
    r->other[at] = r->other[at - 1];
    r->moment[at] = r->moment[at - 1];
    --at;
  }
  r->other[at] = other;
  r->moment[at] = moment;
}

static void addOverlap(struct Row* rows, int rowCount, int a, int b, int64_t moment) {
  if (a == b) return;
  int low = a < b ? a : b, high = a < b ? b : a;
  if (!pairSeen[low]) {
    pairSeen[low] = calloc((size_t)(rowCount + 63) / 64, sizeof(uint64_t));
    if (!pairSeen[low]) fail("memory");
  }
  uint64_t bit = (uint64_t)1 << (high % 64);
  if (pairSeen[low][high / 64] & bit) return;
  pairSeen[low][high / 64] |= bit;
  nameOverlap(&rows[a], b, moment);
  nameOverlap(&rows[b], a, moment);
}

static int compareInts(const void* a, const void* b) {
  return *(const int*)a - *(const int*)b;
}

/* Every row's overlaps: a sweep over the windows' start and end points. At
 * every instant where a window starts and more windows of its kind (the
 * tuners, or the AV input) record than there are of them, the rows that
 * record overlap: all of them with each other when the kind was within its
 * capacity before, else each row that starts with every one recording.
 * Within one instant all points are applied before the check, so a window
 * that ends as another begins does not overlap it. */
static void findOverlaps(struct Windows* w, struct Row* rows, int rowCount) {
  size_t count = 2 * w->used;
  sortPoints(w->points, count);
  pairSeen = calloc((size_t)rowCount + 1, sizeof *pairSeen);
  /* Per kind the windows recording (unordered; place[] finds each), the
   * rows that started at this instant, and the recording rows in database
   * order. */
  uint32_t* recording = malloc((w->used + 1) * 2 * sizeof *recording);
  uint32_t* place = malloc((w->used + 1) * sizeof *place);
  int* started = malloc((w->used + 1) * 2 * sizeof *started);
  int* members = malloc((w->used + 1) * sizeof *members);
  if (!pairSeen || !recording || !place || !started || !members) fail("memory");
  uint32_t* active[2] = {recording, recording + w->used + 1};
  int* starts[2] = {started, started + w->used + 1};
  size_t recordingCount[2] = {0, 0}, startCount[2] = {0, 0};
  int over[2] = {0, 0};
  const size_t capacity[2] = {FLOOR_TUNERS > 1 ? FLOOR_TUNERS : 1, 1};
  size_t next = 0;
  while (next < count) {
    int64_t instant = w->points[next].time;
    for (; next < count && w->points[next].time == instant; ++next) {
      uint32_t window = w->points[next].window;
      struct Row* r = &rows[w->timer[window]];
      int kind = r->source == 1;
      if (w->points[next].start) {
        place[window] = (uint32_t)recordingCount[kind];
        active[kind][recordingCount[kind]++] = window;
        starts[kind][startCount[kind]++] = w->timer[window];
      } else {
        uint32_t moved = active[kind][--recordingCount[kind]];
        active[kind][place[window]] = moved;
        place[moved] = place[window];
      }
    }
    for (int kind = 0; kind < 2; ++kind) {
      int nowOver = recordingCount[kind] > capacity[kind];
      if (nowOver && startCount[kind]) {
        size_t n = 0;
        for (size_t i = 0; i < recordingCount[kind]; ++i) members[n++] = w->timer[active[kind][i]];
        qsort(members, n, sizeof *members, compareInts);
        if (!over[kind]) {
          for (size_t i = 0; i < n; ++i)
            for (size_t j = i + 1; j < n; ++j)
              addOverlap(rows, rowCount, members[i], members[j], instant);
        } else {
          for (size_t i = 0; i < startCount[kind]; ++i)
            for (size_t j = 0; j < n; ++j)
              addOverlap(rows, rowCount, starts[kind][i], members[j], instant);
        }
      }
      over[kind] = nowOver;
      startCount[kind] = 0;
    }
  }
  for (int i = 0; i < rowCount; ++i) free(pairSeen[i]);
  free(pairSeen);
  free(recording);
  free(place);
  free(started);
  free(members);
}

/* The next windows and overlaps of every row at now; the number of rows
 * with an overlap. */
static int scheduleRows(struct Row* rows, int count, int64_t now) {
  struct Windows windows = {0};
  for (int i = 0; i < count; ++i) {
    rows[i].next = 0;
    rows[i].named = 0;
    rows[i].more = 0;
    timerWindows(&windows, &rows[i], i, now);
  }
  findOverlaps(&windows, rows, count);
  free(windows.points);
  free(windows.timer);
  int overlapping = 0;
  for (int i = 0; i < count; ++i) overlapping += rows[i].named > 0;
  return overlapping;
}

static const struct Channel* findChannel(const struct Channel* list, int count, int number) {
  for (int i = 0; i < count; ++i) {
    if (list[i].number == number) return &list[i];
  }
  return NULL;
}

static void putChannelLabel(const struct Channel* c) {
  printf("%d ", c->number);
  putEscaped(c->name);
  if (c->alt != c->number) printf(" (%d)", c->alt);
}

/* The form's option label: the name first, then the numbers. */
static void putOptionLabel(const struct Channel* c) {
  putEscaped(c->name);
  if (c->alt != c->number) {
    printf(" (%d, %d)", c->number, c->alt);
  } else {
    printf(" (%d)", c->number);
  }
}

/* A link to a row: its title, or "(untitled)". */
static void putRowLink(const struct Row* r) {
  printf("<a href=\"#timer-%d\">", r->id);
  if (r->title[0]) {
    putEscaped(r->title);
  } else {
    fputs("(untitled)", stdout);
  }
  fputs("</a>", stdout);
}

static void putRow(const struct Row* rows, int n, int64_t now, const struct Channel* channels,
                   int channelCount) {
  const struct Row* r = &rows[n];
  int channel = r->source == 1 ? -1 : r->channel;
  /* The start read as skedra reads it (the later reading of a repeated
   * hour, a skipped one moved forward), with no mktime per row; the sums in
   * 32 bits as skedra makes them, the start's local date from the instant
   * before it is cut to 32 bits. */
  int64_t instant = instantOfWall(startWall(r));
  int32_t start = wrap32(instant);
  int32_t length =
      wrap32((int64_t)wrap32((int64_t)r->hours * 3600) + wrap32((int64_t)r->mins * 60));
  int32_t prepad = wrap32((int64_t)start - r->start) / 60;
  int32_t postpad = wrap32((int64_t)(wrap32((int64_t)r->offset - length) / 60) - prepad);
  time_t begin = (time_t)instant, end = wrap32((int64_t)start + length), stamp = r->start;
  struct tm first, last;
  localtime_r(&begin, &first);
  localtime_r(&end, &last);
  int endDays = (int)(dayNumber(&last) - dayNumber(&first));
  const char* dot = r->enable ? "disabled" : "enabled";
  const int past = (r->date < 1 || r->date > 11) && (int64_t)r->start + r->offset <= now;
  struct tm stampFields;
  localtime_r(&stamp, &stampFields);

  printf("<tr id=\"timer-%d\" class=\"%s %s\">\n<td class=\"tick\">", r->id, n % 2 ? "odd" : "even",
         dot);
  if (!r->lock) {
    printf(
        "<label class=\"tick-target\"><input type=\"checkbox\" name=\"key\" value=\"%d\">"
        "<span class=\"sr\">Select ",
        r->id);
    putEscaped(r->title);
    fputs("</span></label>\n", stdout);
  }
  printf(
      "</td>\n<td class=\"state\" data-label=\"Status\"><span class=\"status status-%s\">%s"
      "</span></td>\n<td class=\"channel\" data-label=\"Channel\">",
      past ? "past" : dot,
      past        ? "Past"
      : r->enable ? "Disabled"
                  : "Enabled");
  const struct Channel* known;
  if (channel == -1) {
    fputs("AV", stdout);
  } else if ((known = findChannel(channels, channelCount, channel))) {
    putChannelLabel(known);
  } else {
    printf("&lt; %d &gt;", channel);
  }
  fputs("</td>\n<td class=\"day\" data-label=\"Day\">", stdout);
  if (r->date == 0) {
    printf("%s %d/%02d/%d", kWeek[5 + first.tm_wday], r->day, r->month, r->year);
  } else if (r->date >= 1 && r->date <= 11) {
    fputs(kWeek[r->date], stdout);
  } else {
    printf("[%d] %d/%02d/%d", r->date, r->day, r->month, r->year);
  }
  printf(
      "</td>\n<td class=\"num time\" data-label=\"Time\" title=\"Recording starts "
      "%s %d/%02d/%d %02d:%02d\">"
      "%02d:%02d\xe2\x80\x93%02d:%02d<span class=\"nextday\" title=\"ends on a later day\">",
      kWeek[5 + stampFields.tm_wday], stampFields.tm_mday, stampFields.tm_mon + 1,
      stampFields.tm_year + 1900, stampFields.tm_hour, stampFields.tm_min, r->hh, r->mm,
      last.tm_hour, last.tm_min);
  if (endDays > 0) printf("+%d", endDays);
  fputs("</span></td>\n<td class=\"next\" data-label=\"Next recording\">", stdout);
  if (past) {
    fputs("past", stdout);
  } else if (r->enable) {
    fputs("disabled", stdout);
  } else if (r->next && r->nextStart <= now) {
    fputs("now", stdout);
  } else if (r->next) {
    putMoment(r->nextStart);
  } else {
    int64_t ahead = nextStartAhead(r, now);
    if (ahead <= now) {
      fputs("now", stdout);
    } else {
      putMomentOrYear(ahead, now);
    }
  }
  printf(
      "</td>\n<td class=\"num length\" data-label=\"Length\">%d:%02d</td>\n"
      "<td class=\"num margins\" data-label=\"Margins\">%d / %d min</td>\n<td class=\"title\">",
      r->hours, r->mins, prepad, postpad);
  if (!r->lock) {
    printf("<a href=\"skedra.cgi?edit=Edit&amp;key=%d#timer-form\">", r->id);
    putEscaped(r->title);
    fputs("</a>\n", stdout);
  } else {
    putEscaped(r->title);
  }
  fputs("<span class=\"conflict\">", stdout);
  for (int i = 0; i < r->named; ++i) {
    fputs(i ? ", " : "Overlaps with ", stdout);
    putRowLink(&rows[r->other[i]]);
    fputs(" on ", stdout);
    putMoment(r->moment[i]);
  }
  if (r->more) printf(" and %d more", r->more);
  printf("</span></td>\n<td class=\"target\" data-label=\"Target\">%s</td>\n</tr>\n",
         r->target ? "USB" : "HDD");
}

static void listPage(const char* timerDb, const char* channelFile) {
  char token[33];
  newToken(token);
  sqlite3* db = NULL;
  if (sqlite3_open_v2(timerDb, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL) != SQLITE_OK)
    fail("open");
  sqlite3_busy_timeout(db, 2000);
  int prepad = 0, postpad = 0, stored = 0;
  sqlite3_stmt* st = NULL;
  if (sqlite3_prepare_v2(db, "select value from settings where name = ?", -1, &st, NULL) ==
      SQLITE_OK) {
    prepad = readSetting(db, st, "prepad", &stored);
    postpad = readSetting(db, st, "postpad", &stored);
  }
  sqlite3_finalize(st);
  /* Default rows without their three triggers ask to be saved again. */
  int triggers = 0;
  if (sqlite3_prepare_v2(db,
                         "select count(*) from sqlite_master where type = 'trigger' and "
                         "lower(tbl_name) = 'timer_record_table' and lower(name) in "
                         "('ins_padding', 'upd_prepadding', 'upd_postpadding')",
                         -1, &st, NULL) != SQLITE_OK ||
      sqlite3_step(st) != SQLITE_ROW)
    fail(sqlite3_errmsg(db));
  triggers = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  const int resave = stored && triggers != 3;
  int rowCount = 0;
  struct Row* rows = readRows(db, &rowCount);
  int channelCount = 0;
  struct Channel* channels = readChannels(channelFile, &channelCount);

  /* The request's time: the rows' windows and the form's default start. */
  time_t requestTime = time(NULL);
  int overlapping = scheduleRows(rows, rowCount, requestTime);
  time_t soon = requestTime + 300;
  struct tm now;
  localtime_r(&soon, &now);
  time_t ends = soon + 1800;
  struct tm end;
  localtime_r(&ends, &end);

  fputs(kHeader, stdout);
  fputs(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Recording timers</title>\n"
      "<link rel=\"icon\" href=\"../favicon.svg\" type=\"image/svg+xml\">\n"
      "<link rel=\"stylesheet\" href=\"../skedra.css\">\n"
      "<style>:root { --locked: \"locked\"; --untitled: \"(untitled)\"; --no-timers: \"No timers "
      "yet: create one with the form below.\"; }</style>\n</head>\n<body>\n"
      "<a class=\"skip\" href=\"#timer-form\">Skip to the timer form</a>\n"
      "<div class=\"page\">\n<header class=\"topbar\">\n<h1>Recording timers</h1>\n"
      "<a class=\"btn btn-primary new-timer\" href=\"skedra.cgi#timer-form\">New timer</a>\n"
      "<nav class=\"account\" aria-label=\"Account\">\n"
      "<a class=\"btn btn-quiet\" href=\"skedra.cgi?chpass=1\">Change password</a>\n"
      "<a class=\"btn btn-quiet\" href=\"skedra.cgi?tokens\">API tokens</a>\n"
      "<form class=\"inline language\" method=\"post\" action=\"skedra.cgi\" "
      "accept-charset=\"utf-8\">\n"
      "<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n<label for=\"language\">Language</label>\n<select id=\"language\" "
      "name=\"language\"><option value=\"\" selected>Automatic</option><option value=\"en\" "
      "lang=\"en\">English</option><option value=\"de\" lang=\"de\">Deutsch</option><option "
      "value=\"fr\" lang=\"fr\">Fran\303\247ais</option><option value=\"pl\" "
      "lang=\"pl\">Polski</option></select>\n<button type=\"submit\" class=\"btn btn-quiet\" "
      "name=\"setlanguage\" value=\"1\">Apply</button>\n</form>\n"
      "<form class=\"inline\" method=\"post\" action=\"skedra.cgi\" accept-charset=\"utf-8\">\n"
      "<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n<button type=\"submit\" class=\"btn btn-quiet\" name=\"logout\" value=\"1\">Sign "
      "out</button>\n</form>\n</nav>\n</header>\n\n"
      "<div class=\"msg msg-notice\" role=\"status\"></div>\n"
      "<div class=\"msg msg-error\" role=\"alert\" tabindex=\"-1\"></div>\n"
      "<div class=\"msg msg-warning\" role=\"status\"></div>\n",
      stdout);
  if (resave) {
    fputs(
        "<div class=\"msg msg-warning\" role=\"status\">\n"
        "<form class=\"inline\" method=\"post\" action=\"skedra.cgi\" accept-charset=\"utf-8\">\n"
        "<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
        "<input type=\"hidden\" name=\"formtoken\" value=\"",
        stdout);
    fputs(token, stdout);
    printf(
        "\">\n<input type=\"hidden\" name=\"sort\" value=\"\">\n"
        "<input type=\"hidden\" name=\"savedef\" value=\"1\">\n"
        "<input type=\"hidden\" name=\"prepad\" value=\"%d\">\n"
        "<input type=\"hidden\" name=\"postpad\" value=\"%d\">\n"
        "The default margins are stored but no longer applied to the recorder's own timers: "
        "save them again.\n"
        "<button type=\"submit\" class=\"btn\" name=\"update\" value=\"Save defaults "
        "again\">Save defaults again</button>\n</form>\n</div>\n",
        prepad / 60, postpad / 60);
  }
  fputs(
      "\n\n<main>\n"
      "<section class=\"panel\" aria-labelledby=\"timers-heading\">\n"
      "<h2 id=\"timers-heading\">Timers</h2>\n"
      "<form method=\"post\" action=\"skedra.cgi\" accept-charset=\"utf-8\">\n"
      "<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n<input type=\"hidden\" name=\"sort\" value=\"\">\n"
      "<div class=\"table-wrap\">\n<table class=\"timers\">\n<thead>\n<tr>\n"
      "<th scope=\"col\"><span class=\"sr\">Select</span></th>\n<th scope=\"col\">Status</th>\n"
      "<th scope=\"col\">Channel</th>\n<th scope=\"col\">Day</th>\n<th scope=\"col\">Time</th>\n"
      "<th scope=\"col\" aria-sort=\"none\"><a href=\"skedra.cgi?sort=next\">Next "
      "recording</a></th>\n"
      "<th scope=\"col\">Length</th>\n"
      "<th scope=\"col\">Margins <span class=\"hint\">before / after</span></th>\n"
      "<th scope=\"col\">Title</th>\n<th scope=\"col\">Target</th>\n</tr>\n</thead>\n<tbody>",
      stdout);
  for (int i = 0; i < rowCount; ++i) putRow(rows, i, requestTime, channels, channelCount);
  fputs("</tbody>\n</table>\n</div>\n<p class=\"msg msg-warning overlaps\" role=\"status\">",
        stdout);
  if (overlapping) {
    printf(overlapping == 1 ? "%d timer overlaps in the next 14 days: "
                            : "%d timers overlap in the next 14 days: ",
           overlapping);
    int linked = 0;
    for (int i = 0; i < rowCount && linked < NAMED; ++i) {
      if (!rows[i].named) continue;
      if (linked++) fputs(", ", stdout);
      putRowLink(&rows[i]);
    }
    if (overlapping > NAMED) printf(" and %d more", overlapping - NAMED);
  }
  fputs(
      "</p>\n"
      "<p class=\"hint\">Tick timers, then choose what to do with them. Select a title to edit "
      "that timer.</p>\n"
      "<div class=\"msg msg-error\" role=\"alert\" tabindex=\"-1\"></div>\n"
      "<div class=\"actions\">\n"
      "<label class=\"choice select-all\" hidden><input type=\"checkbox\" id=\"select-all\"> "
      "Select all</label>\n"
      "<button type=\"submit\" class=\"btn\" name=\"enable\" value=\"Enable\">Enable</button>\n"
      "<button type=\"submit\" class=\"btn\" name=\"disable\" "
      "value=\"Disable\">Disable</button>\n"
      "<button type=\"submit\" class=\"btn\" name=\"clone\" value=\"Clone\">Clone</button>\n"
      "<button type=\"submit\" class=\"btn btn-danger\" name=\"confirmdelete\" "
      "value=\"Delete\">Delete</button>\n"
      "</div>\n"
      "</form>\n"
      "</section>\n"
      "\n"
      "<section class=\"panel\" aria-labelledby=\"form-heading\">\n"
      "<h2 id=\"form-heading\">Create new timer</h2>\n"
      "<form class=\"timer-form\" method=\"post\" action=\"skedra.cgi\" "
      "accept-charset=\"utf-8\">\n"
      "<input type=\"submit\" hidden tabindex=\"-1\" name=\"create\" value=\"Create\">\n"
      "<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n"
      "<input type=\"hidden\" name=\"sort\" value=\"\">\n"
      "<input type=\"hidden\" name=\"key\" value=\"0\">\n"
      "<div class=\"msg msg-error\" role=\"alert\" id=\"form-error\" tabindex=\"-1\"></div>\n"
      "\n"
      "<div class=\"field\">\n"
      "<label for=\"timer-form\">Title</label>\n"
      "<input type=\"text\" id=\"timer-form\" name=\"title\" required "
      "aria-describedby=\"form-error\" value=\"Web Timer\">\n"
      "</div>\n"
      "\n"
      "<div class=\"field\">\n"
      "<label for=\"f-channel\">Channel</label>\n"
      "<div class=\"chfind\" hidden>\n"
      "<label class=\"sr\" for=\"f-chfind\">Find a channel by part of its name</label>\n"
      "<input type=\"search\" id=\"f-chfind\" placeholder=\"Find a channel\" "
      "autocomplete=\"off\" aria-controls=\"f-channel\" aria-describedby=\"f-chfind-count\">\n"
      "<span class=\"hint\" id=\"f-chfind-count\" role=\"status\"></span>\n"
      "</div>\n"
      "<select id=\"f-channel\" name=\"channel\" required "
      "aria-describedby=\"f-channel-hint\">\n"
      "<option value=\"\">Choose a channel</option>\n"
      "<option value=\"AV\">AV</option>\n",
      stdout);
  for (int i = 0; i < channelCount; ++i) {
    printf("<option value=\"%d\">", channels[i].number);
    putOptionLabel(&channels[i]);
    fputs("</option>\n", stdout);
  }
  fputs(
      "\n"
      "</select>\n"
      "<span class=\"hint\" id=\"f-channel-hint\">AV is the external input</span>\n"
      "</div>\n"
      "\n"
      "<div class=\"field when\">\n"
      "<div class=\"when-part\">\n"
      "<label for=\"f-date\">Date</label>\n"
      "<input type=\"date\" id=\"f-date\" name=\"date\" min=\"1970-01-01\" max=\"2038-01-19\" "
      "required aria-describedby=\"form-error\" value=\"",
      stdout);
  printf("%04d-%02d-%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
  fputs(
      "\">\n"
      "</div>\n"
      "<div class=\"when-part\">\n"
      "<label for=\"f-start\">Start</label>\n"
      "<input type=\"time\" id=\"f-start\" name=\"start\" required "
      "aria-describedby=\"form-error\" value=\"",
      stdout);
  printf("%02d:%02d", now.tm_hour, now.tm_min);
  fputs(
      "\">\n"
      "</div>\n"
      "<div class=\"when-part\">\n"
      "<label for=\"f-end\">End</label>\n"
      "<input type=\"time\" id=\"f-end\" name=\"end\" required aria-describedby=\"form-error "
      "f-end-hint\" value=\"",
      stdout);
  printf("%02d:%02d", end.tm_hour, end.tm_min);
  fputs(
      "\">\n"
      "</div>\n"
      "<span class=\"hint\" id=\"f-end-hint\">An end before the start is on the next "
      "day.</span>\n"
      "</div>\n"
      "\n"
      "<fieldset class=\"field\">\n"
      "<legend>Margins <span class=\"hint\">minutes</span></legend>\n"
      "<div class=\"group\">\n"
      "<span class=\"unit\" aria-hidden=\"true\">before</span>\n"
      "<input type=\"number\" class=\"w3\" id=\"f-prepad\" name=\"prepad\" min=\"-720\" "
      "max=\"720\" required aria-describedby=\"form-error\" aria-label=\"Margin before "
      "(minutes)\" value=\"",
      stdout);
  printf("%d", prepad / 60);
  fputs(
      "\">\n"
      "<span class=\"unit\" aria-hidden=\"true\">after</span>\n"
      "<input type=\"number\" class=\"w3\" id=\"f-postpad\" name=\"postpad\" min=\"-720\" "
      "max=\"720\" required aria-label=\"Margin after (minutes)\" value=\"",
      stdout);
  printf("%d", postpad / 60);
  fputs(
      "\">\n"
      "<button type=\"submit\" class=\"btn\" name=\"savedefonly\" value=\"Save as defaults "
      "only\" formnovalidate>Save as defaults only</button>\n"
      "</div>\n"
      "<div class=\"choice\">\n"
      "<input type=\"checkbox\" id=\"f-savedef\" name=\"savedef\" value=\"1\">\n"
      "<label for=\"f-savedef\">Save margins as defaults</label>\n"
      "</div>\n"
      "</fieldset>\n"
      "\n"
      "<div class=\"field\">\n"
      "<label for=\"f-repeat\">Repeat</label>\n"
      "<select id=\"f-repeat\" name=\"repeat\">\n"
      "<option value=\"0\">Once</option>\n"
      "<option value=\"1\">Everyday</option>\n"
      "<option value=\"2\">Mon-Fri</option>\n"
      "<option value=\"3\">Mon-Sat</option>\n"
      "<option value=\"4\">Every Weekend</option>\n"
      "<option value=\"5\">Sun</option>\n"
      "<option value=\"6\">Mon</option>\n"
      "<option value=\"7\">Tue</option>\n"
      "<option value=\"8\">Wed</option>\n"
      "<option value=\"9\">Thu</option>\n"
      "<option value=\"10\">Fri</option>\n"
      "<option value=\"11\">Sat</option>\n"
      "\n"
      "</select>\n"
      "</div>\n"
      "\n"
      "<fieldset class=\"field\">\n"
      "<legend>Quality</legend>\n"
      "<div class=\"choices\">\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-qual-sp\" name=\"quality\" "
      "value=\"0\" ><label for=\"f-qual-sp\">SP (standard)</label></span>\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-qual-hq\" name=\"quality\" "
      "value=\"1\" checked=\"checked\" ><label for=\"f-qual-hq\">HQ (high "
      "quality)</label></span>\n"
      "</div>\n"
      "</fieldset>\n"
      "\n"
      "<fieldset class=\"field\">\n"
      "<legend>Record to</legend>\n"
      "<div class=\"choices\">\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-target-hdd\" name=\"target\" "
      "value=\"0\" checked=\"checked\" ><label for=\"f-target-hdd\">HDD (internal "
      "disk)</label></span>\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-target-usb\" name=\"target\" "
      "value=\"1\" ><label for=\"f-target-usb\">USB</label></span>\n"
      "</div>\n"
      "</fieldset>\n"
      "\n"
      "<fieldset class=\"field\">\n"
      "<legend>Status</legend>\n"
      "<div class=\"choices\">\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-enabled\" name=\"disabled\" "
      "value=\"0\" checked=\"checked\" ><label for=\"f-enabled\">Enabled</label></span>\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-disabled\" name=\"disabled\" "
      "value=\"1\" ><label for=\"f-disabled\">Disabled</label></span>\n"
      "</div>\n"
      "</fieldset>\n"
      "\n"
      "<div class=\"actions\">\n"
      "<button type=\"submit\" class=\"btn btn-primary\" name=\"create\" "
      "value=\"Create\">Create</button>\n"
      "\n"
      "</div>\n"
      "</form>\n"
      "<script>\n"
      "// Optional help for the page; it works the same without scripts.\n"
      "(function () {\n"
      "  // \"Select all\" ticks or clears every timer of the table.\n"
      "  var all = document.getElementById('select-all');\n"
      "  var ticks = document.querySelectorAll('.timers input[name=\"key\"]');\n"
      "  if (all && ticks.length) {\n"
      "    all.parentNode.hidden = false;\n"
      "    all.addEventListener('change', function () {\n"
      "      for (var i = 0; i < ticks.length; i++) ticks[i].checked = all.checked;\n"
      "    });\n"
      "  }\n"
      "  // A remote control has arrows and OK: up and down step through links,\n"
      "  // buttons and boxes, and Enter ticks a box. Inputs that take arrows keep them.\n"
      "  document.addEventListener('keydown', function (event) {\n"
      "    var here = document.activeElement;\n"
      "    if (event.altKey || event.ctrlKey || event.metaKey || !here) return;\n"
      "    var steps = here.matches('a[href], button, input[type=\"checkbox\"], "
      "input[type=\"submit\"]');\n"
      "    if (event.key === 'Enter' && here.matches('input[type=\"checkbox\"]')) {\n"
      "      here.click();\n"
      "      event.preventDefault();\n"
      "    } else if (steps && (event.key === 'ArrowDown' || event.key === 'ArrowUp')) {\n"
      "      var stops = Array.prototype.filter.call(\n"
      "        document.querySelectorAll('a[href], button, input, select, textarea'),\n"
      "        function (e) { return !e.disabled && e.tabIndex >= 0 && e.offsetParent !== "
      "null; });\n"
      "      var at = stops.indexOf(here) + (event.key === 'ArrowDown' ? 1 : -1);\n"
      "      if (at >= 0 && at < stops.length) {\n"
      "        stops[at].focus();\n"
      "        event.preventDefault();\n"
      "      }\n"
      "    }\n"
      "  });\n"
      "})();\n"
      "\n"
      "// Narrows the channel list to the channels whose label holds what is typed\n"
      "// into the box above it, ignoring case and accents; without scripts the list\n"
      "// is whole and its type-ahead finds a channel by the first letters of its\n"
      "// name.\n"
      "(function () {\n"
      "  var box = document.getElementById('f-chfind');\n"
      "  var select = document.getElementById('f-channel');\n"
      "  var count = document.getElementById('f-chfind-count');\n"
      "  if (!box || !select) return;\n"
      "  var fold = function (text) {\n"
      "    return text.normalize('NFD').replace(/[\\u0300-\\u036f]/g, '').toLowerCase();\n"
      "  };\n"
      "  var placeholder = select.options[0];\n"
      "  var all = Array.prototype.slice.call(select.options, 1).map(function (option) {\n"
      "    return { option: option, text: fold(option.text) };\n"
      "  });\n"
      "  box.parentNode.hidden = false;\n"
      "  box.addEventListener('input', function () {\n"
      "    var wanted = fold(box.value.trim());\n"
      "    var chosen = select.value;\n"
      "    var shown = all.filter(function (entry) { return entry.text.indexOf(wanted) >= 0; "
      "});\n"
      "    select.textContent = '';\n"
      "    select.appendChild(placeholder);\n"
      "    shown.forEach(function (entry) { select.appendChild(entry.option); });\n"
      "    var kept = shown.some(function (entry) { return entry.option.value === chosen; });\n"
      "    if (kept) select.value = chosen;\n"
      "    else select.selectedIndex = wanted && shown.length ? 1 : 0;\n"
      "    count.textContent = wanted ? shown.length + ' of ' + all.length + ' channels' : "
      "'';\n"
      "  });\n"
      "})();\n"
      "</script>\n"
      "</section>\n"
      "</main>\n"
      "</div>\n"
      "</body>\n"
      "</html>\n",
      stdout);
  sqlite3_close(db);
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fputs("usage: floor TIMER_DB CHANNEL_FILE\n", stderr);
    return 2;
  }
  tzset();
  const char* id = sessionCookie();
  if (!id || !checkSession(id)) {
    signInPage();
    return 0;
  }
  listPage(argv[1], argv[2]);
  return 0;
}
