/* The floor of the list screen: the cheapest program that sends the same
 * response as skedra for a signed-in list screen (create mode, no message,
 * no action) and for the sign-in page, byte for byte, with the shipped
 * templates hard-coded as text. It does only the work those pages need:
 * the session lookup and its access-time update in the account database,
 * the padding defaults, the channel file, one pass over the timer rows into
 * memory, and the page.
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
    "Cache-Control: no-store\n"
    "X-Frame-Options: DENY\n"
    "Content-Security-Policy: frame-ancestors 'none'\n"
    "Referrer-Policy: no-referrer\n"
    "X-Content-Type-Options: nosniff\n"
    "Content-type: text/html; charset=utf-8\n\n";

static const char kChecked[] = "checked=\"checked\" ";

struct Row {
  int source, channel, date, year, month, day, hh, mm, hours, mins, id, start, offset, enable,
      quality, target, lock;
  char* title;
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

/* Looks the session up and touches it as skedra does; 1 when it signs in. */
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
  int valid = 0, sticky = 0;
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    sticky = sqlite3_column_int(st, 1) == 1;
    int32_t idle = (int32_t)((uint32_t)time(NULL) - (uint32_t)sqlite3_column_int(st, 0));
    valid = sqlite3_column_text(st, 2) != NULL && (sticky || idle < 300);
  } else if (rc != SQLITE_DONE) {
    fail("step");
  }
  sqlite3_finalize(st);
  if (valid) {
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
    time_t expiry = time(NULL) + 15811200;
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
  fputs(kHeader, stdout);
  fputs(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Sign in - Recording timers</title>\n"
      "<link rel=\"icon\" href=\"../favicon.svg\" type=\"image/svg+xml\">\n"
      "<link rel=\"stylesheet\" href=\"../skedra.css\">\n</head>\n<body>\n"
      "<div class=\"page page-narrow\">\n<header class=\"topbar\">\n<h1>Recording timers</h1>\n"
      "</header>\n\n<div class=\"msg msg-error\" role=\"alert\"></div>\n\n<main>\n"
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

static int readSetting(sqlite3* db, sqlite3_stmt* st, const char* name) {
  sqlite3_reset(st);
  sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
  int value = 0;
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    value = sqlite3_column_int(st, 0);
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

static void putRow(const struct Row* r, int n, const struct Channel* channels, int channelCount) {
  int channel = r->source == 1 ? -1 : r->channel;
  struct tm local = {0};
  local.tm_year = r->year - 1900;
  local.tm_mon = r->month - 1;
  local.tm_mday = r->day;
  local.tm_hour = r->hh;
  local.tm_min = r->mm;
  local.tm_isdst = -1;
  int32_t start = (int32_t)mktime(&local);
  int32_t length = r->hours * 3600 + r->mins * 60;
  int32_t prepad = (start - r->start) / 60;
  int32_t postpad = (r->offset - length) / 60 - prepad;
  time_t begin = start, end = (time_t)(start + length), stamp = r->start;
  struct tm first, last;
  localtime_r(&begin, &first);
  localtime_r(&end, &last);
  int endDays = (int)(dayNumber(&last) - dayNumber(&first));
  char ctimeText[64];
  ctime_r(&stamp, ctimeText);
  const char* dot = r->enable ? "disabled" : "enabled";

  printf("<tr class=\"%s %s\">\n<td class=\"tick\">", n % 2 ? "odd" : "even", dot);
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
      dot, dot);
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
    printf("%d/%02d/%d", r->day, r->month, r->year);
  } else if (r->date >= 1 && r->date <= 11) {
    fputs(kWeek[r->date], stdout);
  } else {
    printf("[%d] %d/%02d/%d", r->date, r->day, r->month, r->year);
  }
  printf(
      "</td>\n<td class=\"num\" data-label=\"Time\" title=\"Recording starts %s\">"
      "%02d:%02d\xe2\x80\x93%02d:%02d<span class=\"nextday\" title=\"ends on a later day\">",
      ctimeText, r->hh, r->mm, last.tm_hour, last.tm_min);
  if (endDays > 0) printf("+%d", endDays);
  printf(
      "</span></td>\n<td class=\"num\" data-label=\"Length\">%d:%02d</td>\n"
      "<td class=\"num\" data-label=\"Margins\">%d / %d min</td>\n<td class=\"title\">",
      r->hours, r->mins, prepad, postpad);
  if (!r->lock) {
    printf("<a href=\"skedra.cgi?edit=Edit&amp;key=%d#timer-form\">", r->id);
    putEscaped(r->title);
    fputs("</a>\n", stdout);
  } else {
    putEscaped(r->title);
  }
  printf("</td>\n<td class=\"target\" data-label=\"Target\">%s</td>\n</tr>\n",
         r->target ? "USB" : "HDD");
}

static void listPage(const char* timerDb, const char* channelFile) {
  char token[33];
  newToken(token);
  sqlite3* db = NULL;
  if (sqlite3_open_v2(timerDb, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL) != SQLITE_OK)
    fail("open");
  sqlite3_busy_timeout(db, 2000);
  int prepad = 0, postpad = 0;
  sqlite3_stmt* st = NULL;
  if (sqlite3_prepare_v2(db, "select value from settings where name = ?", -1, &st, NULL) ==
      SQLITE_OK) {
    prepad = readSetting(db, st, "prepad");
    postpad = readSetting(db, st, "postpad");
  }
  sqlite3_finalize(st);
  int rowCount = 0;
  struct Row* rows = readRows(db, &rowCount);
  int channelCount = 0;
  struct Channel* channels = readChannels(channelFile, &channelCount);

  time_t soon = time(NULL) + 300;
  struct tm now;
  localtime_r(&soon, &now);

  fputs(kHeader, stdout);
  fputs(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Recording timers</title>\n"
      "<link rel=\"icon\" href=\"../favicon.svg\" type=\"image/svg+xml\">\n"
      "<link rel=\"stylesheet\" href=\"../skedra.css\">\n</head>\n<body>\n"
      "<a class=\"skip\" href=\"#timer-form\">Skip to the timer form</a>\n"
      "<div class=\"page\">\n<header class=\"topbar\">\n<h1>Recording timers</h1>\n"
      "<nav class=\"account\" aria-label=\"Account\">\n"
      "<a class=\"btn btn-quiet\" href=\"skedra.cgi?chpass=1\">Change password</a>\n"
      "<form class=\"inline\" method=\"post\" action=\"skedra.cgi\" accept-charset=\"utf-8\">\n"
      "<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n<button type=\"submit\" class=\"btn btn-quiet\" name=\"logout\" value=\"1\">Sign "
      "out</button>\n</form>\n</nav>\n</header>\n\n"
      "<div class=\"msg msg-error\" role=\"alert\"></div>\n"
      "<div class=\"msg msg-notice\" role=\"status\"></div>\n\n<main>\n"
      "<section class=\"panel\" aria-labelledby=\"timers-heading\">\n"
      "<h2 id=\"timers-heading\">Timers</h2>\n"
      "<form method=\"post\" action=\"skedra.cgi\" accept-charset=\"utf-8\">\n"
      "<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n<div class=\"table-wrap\">\n<table class=\"timers\">\n<thead>\n<tr>\n"
      "<th scope=\"col\"><span class=\"sr\">Select</span></th>\n<th scope=\"col\">Status</th>\n"
      "<th scope=\"col\">Channel</th>\n<th scope=\"col\">Day</th>\n<th scope=\"col\">Time</th>\n"
      "<th scope=\"col\">Length</th>\n"
      "<th scope=\"col\">Margins <span class=\"hint\">before / after</span></th>\n"
      "<th scope=\"col\">Title</th>\n<th scope=\"col\">Target</th>\n</tr>\n</thead>\n<tbody>",
      stdout);
  for (int i = 0; i < rowCount; ++i) putRow(&rows[i], i, channels, channelCount);
  fputs(
      "</tbody>\n</table>\n</div>\n"
      "<p class=\"hint\">Tick timers, then choose what to do with them. Select a title to edit "
      "that timer.</p>\n<div class=\"actions\">\n"
      "<button type=\"submit\" class=\"btn\" name=\"enable\" value=\"Enable\">Enable</button>\n"
      "<button type=\"submit\" class=\"btn\" name=\"disable\" value=\"Disable\">Disable</button>\n"
      "<button type=\"submit\" class=\"btn\" name=\"clone\" value=\"Clone\">Clone</button>\n"
      "<button type=\"submit\" class=\"btn btn-danger\" name=\"delete\" "
      "value=\"Delete\">Delete</button>\n</div>\n</form>\n</section>\n\n"
      "<section class=\"panel\" "
      "aria-labelledby=\"form-heading\">\n<h2 id=\"form-heading\">Create new timer</h2>\n"
      "<form class=\"timer-form\" method=\"post\" action=\"skedra.cgi\" "
      "accept-charset=\"utf-8\">\n<input type=\"hidden\" name=\"quibsession\" value=\"\">\n"
      "<input type=\"hidden\" name=\"formtoken\" value=\"",
      stdout);
  fputs(token, stdout);
  fputs(
      "\">\n<input type=\"hidden\" name=\"key\" value=\"0\">\n\n<div class=\"field\">\n"
      "<label for=\"timer-form\">Title</label>\n"
      "<input type=\"text\" id=\"timer-form\" name=\"title\" value=\"Web Timer\" >\n</div>\n\n"
      "<div class=\"field\">\n<label for=\"f-channel\">Channel</label>\n"
      "<select id=\"f-channel\" name=\"channel\" aria-describedby=\"f-channel-hint\">\n"
      "<option value=\"AV\">AV</option>\n",
      stdout);
  for (int i = 0; i < channelCount; ++i) {
    printf("<option value=\"%d\"%s>", channels[i].number,
           channels[i].number == 0 ? " selected=\"selected\"" : "");
    putChannelLabel(&channels[i]);
    fputs("</option>\n", stdout);
  }
  printf(
      "\n</select>\n<span class=\"hint\" id=\"f-channel-hint\">AV is the external input</span>\n"
      "</div>\n\n<fieldset class=\"field\">\n"
      "<legend>Date <span class=\"hint\">day / month / year</span></legend>\n"
      "<div class=\"group\">\n<label class=\"sr\" for=\"f-day\">Day</label>\n"
      "<input type=\"number\" class=\"w2\" id=\"f-day\" name=\"day\" min=\"1\" max=\"31\" "
      "required value=\"%d\">\n<span class=\"sep\">/</span>\n"
      "<label class=\"sr\" for=\"f-month\">Month</label>\n"
      "<input type=\"number\" class=\"w2\" id=\"f-month\" name=\"month\" min=\"1\" max=\"12\" "
      "required value=\"%d\">\n<span class=\"sep\">/</span>\n"
      "<label class=\"sr\" for=\"f-year\">Year</label>\n"
      "<input type=\"number\" class=\"w4\" id=\"f-year\" name=\"year\" min=\"1970\" "
      "max=\"2037\" required value=\"%d\">\n</div>\n</fieldset>\n\n<fieldset class=\"field\">\n"
      "<legend>Start <span class=\"hint\">hours : minutes</span></legend>\n"
      "<div class=\"group\">\n<label class=\"sr\" for=\"f-hh\">Start hour</label>\n"
      "<input type=\"number\" class=\"w2\" id=\"f-hh\" name=\"hh\" min=\"0\" max=\"23\" "
      "required value=\"%02d\">\n<span class=\"sep\">:</span>\n"
      "<label class=\"sr\" for=\"f-mm\">Start minute</label>\n"
      "<input type=\"number\" class=\"w2\" id=\"f-mm\" name=\"mm\" min=\"0\" max=\"59\" "
      "required value=\"%02d\">\n</div>\n</fieldset>\n\n",
      now.tm_mday, now.tm_mon + 1, now.tm_year + 1900, now.tm_hour, now.tm_min);
  printf(
      "<fieldset class=\"field\">\n<legend>Length</legend>\n<div class=\"group\">\n"
      "<input type=\"number\" class=\"w2\" id=\"f-hours\" name=\"hours\" min=\"0\" max=\"24\" "
      "required "
      "aria-label=\"Length hours\" value=\"0\">\n"
      "<span class=\"unit\" aria-hidden=\"true\">hours</span>\n"
      "<input type=\"number\" class=\"w2\" id=\"f-mins\" name=\"mins\" min=\"0\" max=\"59\" "
      "required "
      "aria-label=\"Length minutes\" value=\"30\">\n"
      "<span class=\"unit\" aria-hidden=\"true\">minutes</span>\n</div>\n</fieldset>\n\n"
      "<fieldset class=\"field\">\n<legend>Margins <span class=\"hint\">minutes</span></legend>\n"
      "<div class=\"group\">\n<span class=\"unit\" aria-hidden=\"true\">before</span>\n"
      "<input type=\"number\" class=\"w3\" id=\"f-prepad\" name=\"prepad\" min=\"-720\" "
      "max=\"720\" required aria-label=\"Margin before (minutes)\" value=\"%d\">\n"
      "<span class=\"unit\" aria-hidden=\"true\">after</span>\n"
      "<input type=\"number\" class=\"w3\" id=\"f-postpad\" name=\"postpad\" min=\"-720\" "
      "max=\"720\" required aria-label=\"Margin after (minutes)\" value=\"%d\">\n</div>\n"
      "<div class=\"choice\">\n"
      "<input type=\"checkbox\" id=\"f-savedef\" name=\"savedef\" value=\"1\">\n"
      "<label for=\"f-savedef\">Save margins as defaults</label>\n</div>\n</fieldset>\n\n"
      "<div class=\"field\">\n<label for=\"f-repeat\">Repeat</label>\n"
      "<select id=\"f-repeat\" name=\"repeat\">\n",
      prepad / 60, postpad / 60);
  for (int code = 0; code < 12; ++code) {
    printf("<option value=\"%d\">%s</option>\n", code, kWeek[code]);
  }
  printf(
      "\n</select>\n</div>\n\n<fieldset class=\"field\">\n<legend>Quality</legend>\n"
      "<div class=\"choices\">\n<span class=\"choice\"><input type=\"radio\" id=\"f-qual-sp\" "
      "name=\"quality\" value=\"0\" ><label for=\"f-qual-sp\">SP (standard)</label></span>\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-qual-hq\" name=\"quality\" "
      "value=\"1\" %s><label for=\"f-qual-hq\">HQ (high quality)</label></span>\n</div>\n"
      "</fieldset>\n\n<fieldset class=\"field\">\n<legend>Record to</legend>\n"
      "<div class=\"choices\">\n<span class=\"choice\"><input type=\"radio\" "
      "id=\"f-target-hdd\" name=\"target\" value=\"0\" %s><label for=\"f-target-hdd\">HDD "
      "(internal disk)</label></span>\n<span class=\"choice\"><input type=\"radio\" "
      "id=\"f-target-usb\" name=\"target\" value=\"1\" ><label "
      "for=\"f-target-usb\">USB</label></span>\n</div>\n</fieldset>\n\n"
      "<fieldset class=\"field\">\n<legend>Status</legend>\n<div class=\"choices\">\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-enabled\" name=\"disabled\" "
      "value=\"0\" %s><label for=\"f-enabled\">Enabled</label></span>\n"
      "<span class=\"choice\"><input type=\"radio\" id=\"f-disabled\" name=\"disabled\" "
      "value=\"1\" ><label for=\"f-disabled\">Disabled</label></span>\n</div>\n"
      "</fieldset>\n\n<div class=\"actions\">\n<button type=\"submit\" class=\"btn "
      "btn-primary\" name=\"create\" value=\"Create\">Create</button>\n\n</div>\n</form>\n"
      "</section>\n</main>\n</div>\n</body>\n</html>\n",
      kChecked, kChecked, kChecked);
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
