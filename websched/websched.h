// websched: the recorder's timer web interface (entry, sign-in gate, list
// screen, timer store and page renderers).
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <forward_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lineup/lineup.h"
#include "quib/quib.h"
#include "skedra_recorder.h"
#include "websched/failure_sites.h"

// ---------------------------------------------------------------------------
// Request entry (main.cpp, errors.cpp)
// ---------------------------------------------------------------------------

// Handle of the recorder's timer database, open for the whole request.
extern sqlite3* web_sched_db;

extern const char* const createCmd;  // "create"

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
// sites and their numbers are listed in websched/failure_sites.h.
int exitIfError(int code, FailureSite site);

// Finalises every statement still open on web_sched_db, rolls back a
// transaction that is still open, then closes it and sets it to null.
// Returns SQLITE_OK when the rollback and the close both succeeded, else the
// first failing code. Statements held by SqliteStatement handles must not be
// used or finalised again afterwards.
int closeTimerDbAfterFailure();

// ---------------------------------------------------------------------------
// Sign-in gate (signin_gate.cpp)
// ---------------------------------------------------------------------------

struct GateOutcome {
  bool letThrough = false;               // false: the gate wrote a page
  std::optional<std::string> message;    // for the list screen
  std::optional<std::string> sessionId;  // for the self URL
  // The request may act on nothing (another site started it, a method other
  // than GET and POST, more pairs than the table holds): it carries out no
  // timer action and gets the list screen with refusal, when it asks for one.
  bool crossSite = false;
  std::string_view refusal;
  // The request signed in by its own password: its form is the sign-in
  // page's, whose token the sign-in cookie repeats.
  bool signedInByPassword = false;
};
// Signs in and out, changes passwords; renders the sign-in or password page
// itself when the request may not go on.
GateOutcome runSignInGate();

// ---------------------------------------------------------------------------
// Request origin (request_origin.cpp)
// ---------------------------------------------------------------------------

// True when the request says that anything but the interface's own pages
// started it: Sec-Fetch-Site other than "same-origin" or "none", or an Origin
// ("null" included) or Referer that is not the host and port of HTTP_HOST (a
// missing port stands for the scheme's default; host names compare without
// regard to case). A request without these headers is not cross-site.
bool crossSiteRequest();
// True for the methods that may act: GET and POST (and a run without
// REQUEST_METHOD, read as GET).
bool actingMethod();

// ---------------------------------------------------------------------------
// Timer store: group actions (group_actions.cpp)
// ---------------------------------------------------------------------------

// The selected keys of a request, in request order (none for a bare "key").
using KeyList = std::vector<ParamValue>;

// Runs sql once per key, binding the key to ":id" and, when sourceBase is 0
// or more, sourceBase to ":sourceBase", all keys in one transaction. The
// first failing key ends the request with nothing written. When
// changed is given, the number of rows the statements touched is added to it.
int groupExec(const char* sql, const KeyList& keys, int32_t sourceBase, int32_t* changed = nullptr);
int deleteTimers(const KeyList& keys, int32_t* changed = nullptr);
int enableTimers(const KeyList& keys, int32_t* changed = nullptr);
int disableTimers(const KeyList& keys, int32_t* changed = nullptr);
int cloneTimers(const KeyList& keys, int32_t* changed = nullptr);
// The title of the timer with this id, or none when there is no such timer.
std::optional<std::string> timerTitle(int32_t id);
// Prepares, steps once and finalises one statement on web_sched_db.
void execSQL(const char* sql);

// ---------------------------------------------------------------------------
// One-time form tokens (form_token.cpp)
// ---------------------------------------------------------------------------

// "Nothing was changed: this request did not come from a form of this page.
// ..." for an acting request without a token of its session.
extern const char* const noticeRefusedForm;
// True when "formtoken" was drawn for the request's session (or, with
// signInPage, is the sign-in page's token that its cookie repeats).
bool formTokenValid(bool signInPage);
// Records the request's "formtoken" in a transaction that stays open until
// commitFormToken (the action committed) or releaseFormToken (it did
// nothing); false for a form already sent. Whatever ends the request before
// leaves the token usable.
bool claimFormToken();
void commitFormToken();
void releaseFormToken();

// ---------------------------------------------------------------------------
// Action notices (action_notices.cpp)
// ---------------------------------------------------------------------------

// The group actions, for their notices.
enum class GroupAction { kDelete, kEnable, kDisable, kClone };

extern const char* const noticeGone;         // "That timer no longer exists."
extern const char* const noticeAlreadySent;  // "This form was already sent."
// Default rows without their triggers: "The default margins are stored but
// no longer applied to the recorder's own timers: save them again."
extern const char* const noticeDefaultsNotApplied;

// "Deleted 2 timers.", "Enabled 1 timer.", "Cloned 1 timer (the copy is
// disabled)." ...; count 0 says that the timers no longer exist.
std::string groupNotice(GroupAction action, int32_t count);
// 'Created "<title>".' / 'Updated "<title>".' with the title HTML-escaped.
std::string createdNotice(std::string_view title);
std::string updatedNotice(std::string_view title);
// "Saved the default margins: 5 minutes before, 10 minutes after. No timer
// was written."
std::string defaultsSavedNotice(int32_t prepadMinutes, int32_t postpadMinutes);
// Appends sentence to notice, separated by one space: the action's own
// sentence comes first, any remarks on the entry follow it.
void appendNotice(std::string& notice, std::string_view sentence);

// ---------------------------------------------------------------------------
// Timer store: create and update (timer_write.cpp)
// ---------------------------------------------------------------------------

// One timer as the form sends it: raw request texts (an absent parameter is
// the empty text and reads as 0), the margins already in seconds and the
// title already URL-decoded.
struct TimerValues {
  std::string_view channel, day, month, year, hh, mm, hours, mins;
  int32_t prepad = 0;
  int32_t postpad = 0;
  std::string_view repeat;
  std::string title;
  std::string_view quality, target, disabled;
};

// The channel text as the firmware's signed 16-bit channel number.
int32_t channelNumber(std::string_view text);
// The form's start fields as entered (month 0-based, year from 1900, out of
// range as sent), before they are read as local time.
std::tm enteredStartFields(const TimerValues& values);

int createTimer(const TimerValues& values);
int updateTimer(int32_t id, const TimerValues& values);
// The one routine behind both: id 0 leaves ":id" unbound.
int execBoundSQL(const char* sql, int32_t id, const TimerValues& values);
// Moves the first start of a repeating timer onto a day its pattern allows,
// in whole local days (the time of day stays across a daylight-saving
// change); leaves the local fields of the returned start in brokenDown.
int32_t adjustBookTime(int32_t start, int32_t repeat, std::tm& brokenDown);
// The start that a write of the form books, unwrapped: the entered fields
// read as local time and, for a pattern of days, moved as adjustBookTime
// moves it. start gets its local fields.
int64_t bookedStart(const TimerValues& values, std::tm& start);
// Seconds to subtract from a time on weekday to reach the first
// targetWeekday on or after it (0 = Sunday).
int32_t adjustSeconds(int32_t weekday, int32_t targetWeekday);

// ---------------------------------------------------------------------------
// Local time (local_time.cpp)
// ---------------------------------------------------------------------------

// Settles the zone that local times are read in (this process's and SQLite's
// through the C library): TZ when it is set; else the first line of ruleFile
// when that file exists and the line is not empty; else the C library's own
// default (its zone file, UTC without one). A zone name found is replaced in
// TZ by its rule from the zone table, a rule is kept when isZoneRule reads
// it, and anything else becomes UTC ("UTC0"), which unreadableTimeZone then
// reports (time_zone.cpp).
void useRecorderTimeZone(const char* ruleFile);

// Reads the date and time fields (year, month, day, hour, minute, second;
// out-of-range values carry over) as local time of the recorder's zone,
// addDays whole days later, and returns the time value, wrapped to 32 bits.
// The fields are rewritten with the local date and time of that value, so a
// caller can see how the reading moved them (a time that the spring change
// skips moves forward by the change). A time that the autumn change repeats
// is read as the later of the two.
int32_t localTimeSeconds(std::tm& fields, int64_t addDays = 0);
// The same reading, unwrapped: the instant in 64 bits. Past the 32-bit range
// the zone's rule is read as in the same days 28 years earlier, so that
// every build gives the same answer.
int64_t localTimeInstant(std::tm& fields, int64_t addDays = 0);

// The zone's offsets from UTC over the span [from, to) of instants, read
// from the C library once, so that local times near now are read without it.
struct ZoneOffsets {
  struct Change {
    int64_t at;      // from this instant on
    int64_t offset;  // seconds east of UTC
  };
  int64_t from = 0;
  int64_t to = 0;
  std::vector<Change> changes;  // in time order, the first at from
};
ZoneOffsets zoneOffsets(int64_t from, int64_t to);
// Seconds east of UTC at the instant: from the span's changes inside it,
// from the C library outside it.
int64_t utcOffset(const ZoneOffsets& zone, int64_t instant);
// The date and time fields read as a UTC date and time (out-of-range values
// carry over): the local wall-clock time they stand for, in seconds.
int64_t wallClockSeconds(const std::tm& fields);
// The instant of a local wall-clock time, read as localTimeSeconds reads it
// (unwrapped); weekday, when given, gets the local weekday of that instant
// (0 = Sunday).
int64_t wallClockInstant(int64_t wall, const ZoneOffsets& zone, int* weekday = nullptr);
// The local date and time of an instant, as localtime_r gives them (with
// the weekday and the day of the year; tm_isdst -1).
std::tm localFields(int64_t instant, const ZoneOffsets& zone);

// ---------------------------------------------------------------------------
// Occurrences: when each timer records (occurrences.cpp)
// ---------------------------------------------------------------------------

// A timer's start columns read as local time (localTimeSeconds): the time
// value and the local weekday of that instant (0 = Sunday).
struct LocalStart {
  int32_t seconds = 0;
  int weekday = 0;
};

// One timer as the occurrence and overlap checks see it: its stored row.
struct TimerSchedule {
  int32_t id = 0;
  // The `date` column: 0 "Once", 1-11 a pattern of days, any other code its
  // first window only.
  int32_t repeat = 0;
  int32_t year = 0, month = 0, day = 0, hh = 0, mm = 0;  // start, local; month 1-12
  int32_t timestampStart = 0;   // the first window's start, margins included
  int32_t timestampOffset = 0;  // the window's length in seconds, margins included
  bool active = false;          // `enable` is 0: only active timers record
  bool av = false;              // records from the external AV input
  std::string title;            // `user_string` as stored
  // The start columns as read already by the caller, when it has read them.
  std::optional<LocalStart> start;
};

// Windows are computed over this span from now: the next 14 days.
constexpr int64_t kOccurrenceHorizon = 14 * 86400;

// One recording window, [start, end) in time-value seconds.
struct RecordingWindow {
  int64_t start = 0;
  int64_t end = 0;
};

// The time of this request: read on the first call, the same on every later
// one, so that every check of one request sees the same now.
int64_t requestNow();

// The windows of one timer that have not ended at now and begin before now +
// kOccurrenceHorizon, in time order; none for an inactive timer or a window
// length of 0 or less. Without a pattern: the one window from
// timestamp_start for timestamp_offset seconds. With a pattern (codes 1-11):
// one window on every day the pattern allows from the start's local date on,
// at the start's local time of day on that date (read as the timer write
// reads it, so across a daylight-saving change), with the first window's
// pre-margin and length.
std::vector<RecordingWindow> timerWindows(const TimerSchedule& timer, int64_t now);
// The same with the zone's offsets read beforehand (occurrenceZone(now)).
std::vector<RecordingWindow> timerWindows(const TimerSchedule& timer, int64_t now,
                                          const ZoneOffsets& zone);
// The zone's offsets over every instant that the windows at now are read at.
ZoneOffsets occurrenceZone(int64_t now);

// The windows of many timers in one list: timer i's are windows[first[i]]
// up to windows[first[i + 1]], in time order.
struct TimerWindows {
  std::vector<RecordingWindow> windows;
  std::vector<size_t> first;  // one more than there are timers
};
TimerWindows allTimerWindows(const std::vector<TimerSchedule>& timers, int64_t now,
                             const ZoneOffsets& zone);

// True when the timer has no pattern and its one window has ended by now.
// A repeating timer never ends; the horizon and `active` play no part.
bool windowEnded(const TimerSchedule& timer, int64_t now);

// "Tue 9/12 20:15": the local weekday, day/month and time of an instant.
std::string momentLabel(int64_t instant);
// The same with the zone's offsets read beforehand.
std::string momentLabel(int64_t instant, const ZoneOffsets& zone);

// ---------------------------------------------------------------------------
// Overlaps: timers that cannot all record (overlaps.cpp)
// ---------------------------------------------------------------------------

constexpr int32_t kRecorderTuners = RECORDER_TUNERS;

// The first overlap of a timer: whom it collides with and from when.
struct TimerOverlap {
  size_t other = 0;    // index of the other timer
  int64_t moment = 0;  // the instant the overlap begins
};

// Each timer's first overlap (same index as timers, which are in database
// order), over the windows of timerWindows at now. Tuner timers conflict when
// more than `tuners` of them record at one instant, AV timers when two do;
// a window that ends when another begins does not overlap it. A timer's first
// overlap is the earliest instant at which it records while its kind is over
// capacity, with the first timer in database order among the others that
// record then. With one tuner that is the overlap that begins earliest (ties
// in database order) at the later of the two windows' starts.
std::vector<std::optional<TimerOverlap>> findOverlaps(const std::vector<TimerSchedule>& timers,
                                                      int64_t now,
                                                      int32_t tuners = kRecorderTuners);
// The same over windows computed beforehand (allTimerWindows of timers).
std::vector<std::optional<TimerOverlap>> findOverlaps(const std::vector<TimerSchedule>& timers,
                                                      const TimerWindows& windows,
                                                      int32_t tuners = kRecorderTuners);

// "<title> on Tue 9/12 20:00", the title HTML-escaped: what a row's or a
// notice's overlap warning names.
std::string overlapText(std::string_view otherTitle, int64_t moment);

// ---------------------------------------------------------------------------
// List checks: each row's next recording and overlap (list_checks.cpp)
// ---------------------------------------------------------------------------

// The list screen's view of every timer's windows at now: per timer (in the
// order of the timers given, the database's) the row's "nextrec" ("now"
// while it records, the start of its next window, or "") and "conflict" (""
// or "Overlaps with <title> on Tue 9/12 20:00"), the page's "conflicts" (""
// or "2 timers overlap in the next 14 days"), and the order of the rows on
// the page: the timers' own, or with sortNext by the next window's start
// (timers without one last, the timers' own order among equals).
struct ListChecks {
  std::vector<std::string> nextrec;
  std::vector<std::string> conflict;
  std::string conflicts;
  std::vector<size_t> order;  // indexes into the timers
};
// titles: each timer's title as stored (the schedules' own are not read).
ListChecks listChecks(const std::vector<TimerSchedule>& timers,
                      const std::vector<std::string_view>& titles, bool sortNext, int64_t now);

// ---------------------------------------------------------------------------
// Timer store: padding defaults (padding_defaults.cpp)
// ---------------------------------------------------------------------------

struct PaddingSettings {
  int32_t prepad = 0;   // seconds
  int32_t postpad = 0;  // seconds
  // The settings table holds default rows.
  bool stored = false;
  // The three padding triggers are installed on the timer table.
  bool triggers = false;
};
extern PaddingSettings webschedSettings;
extern PaddingSettings* webschedSettingsPtr;

// The padding defaults of this process and whether their triggers are
// installed, loaded on first use.
const PaddingSettings& getSettings();
// What the interface adds to the source of every row it writes (create,
// update, clone): 100 exactly when the three padding triggers are installed,
// which take it off again and keep the row's times as written; else 0, as
// nothing would take it off.
int32_t sourceMarker();
// Default rows are stored but their triggers are not installed (a rebuilt
// table, a restored backup): the defaults must be saved again.
bool defaultsNeedSaving();
// Stores both defaults and re-creates the three triggers, in one transaction.
void savePaddingDefaults(int32_t prepad, int32_t postpad);
// Expands a statement template with one integer and runs it with execSQL.
void execSQLbyTmpl(const char* statementTemplate, int32_t value);

// ---------------------------------------------------------------------------
// List screen (list_screen.cpp)
// ---------------------------------------------------------------------------

// One timer as the edit form shows it.
struct TimerForm {
  int32_t id = 0;
  int16_t channel = 0;  // -1 for the external AV input
  int32_t day = 0;
  int32_t month = 0;
  int32_t year = 0;
  int32_t hh = 0;
  int32_t mm = 0;
  int32_t hours = 0;
  int32_t mins = 0;
  int32_t repeat = 0;
  int32_t prepad = 0;   // minutes
  int32_t postpad = 0;  // minutes
  std::string title;
  int32_t quality = 0;
  int32_t target = 0;
  int32_t enable = 0;  // 0 = active, nonzero = disabled
  int32_t lock = 0;
};

// One row of the list's timer query, by column position.
struct ScheduleRow {
  int32_t source = 0;
  int16_t channel = 0;
  int32_t date = 0;
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hh = 0;
  int32_t mm = 0;
  int32_t hours = 0;
  int32_t mins = 0;
  int32_t id = 0;
  int64_t timestampStart = 0;  // as stored: the triggers may write past 32 bits
  int32_t timestampOffset = 0;
  int32_t enable = 0;
  int32_t quality = 0;
  int32_t target = 0;
  int32_t lock = 0;
  std::string title;
};

// What the list screen hands to its renderers (TemplateContext user data).
struct ScreenState {
  int32_t editKey = 0;
  sqlite3_stmt* statement = nullptr;  // the timer query while its rows are read
  // Every row of the timer table in database order, once they are read.
  std::optional<std::vector<ScheduleRow>> rows;
  TimerForm form;
  std::string command;      // "create" or "update"
  std::string buttonLabel;  // "Create" or "Update"
  // The form as entered when the write was refused: it replaces the form
  // once the table is drawn.
  std::optional<TimerForm> entered;
  // Texts that the page's Elements borrow (escaped data), kept for the page.
  std::forward_list<std::string> pageTexts;
  // The request asks for the rows by their next recording ("sort=next").
  bool sortNext = false;
  // Default rows are stored without their triggers: the page asks for them
  // to be saved again.
  bool resaveDefaults = false;
};

// notice: what the request's action did (page text, already escaped);
// editTitle: the title of the timer being edited, for the page title;
// entered: the form as entered, when its write was refused.
void displayListScreen(std::string_view message, int32_t editKey, std::string_view command,
                       std::string_view buttonLabel, const std::optional<std::string>& sessionId,
                       std::string_view notice = {}, std::string_view editTitle = {},
                       const std::optional<TimerForm>& entered = std::nullopt);
void commandProcessor(std::string_view name, std::string_view path, TemplateContext* context);
TimerForm& prePopulateTimerForm(TimerForm& form);
void printCancelUpdate(std::string_view text, TemplateContext* context);
// Sink of the include "resavedef": writes only while the defaults must be
// saved again.
void printResaveDefaults(std::string_view text, TemplateContext* context);

// ---------------------------------------------------------------------------
// Entry checks (entry_checks.cpp)
// ---------------------------------------------------------------------------

// Why a write is refused: a margin beyond 12 hours either way; a recording
// window, margins included, that is not positive or longer than 24 hours.
extern const char* const noticeMarginOutOfRange;
extern const char* const noticeWindowNotPositive;
extern const char* const noticeWindowTooLong;
// "Saved, but this timer lies in the past and will not record."
extern const char* const noticeInThePast;
// Why a write is refused whose recording, margins included, would reach the
// end of the recorder's 32-bit clock.
extern const char* const noticeBeyondClock;

// Why margins (in minutes) may not be written, to a timer or as the
// defaults, or none when they may.
std::optional<std::string_view> marginRefusal(int32_t prepadMinutes, int32_t postpadMinutes);
// Why the form's timer (margins in minutes, length texts as sent) may not be
// written, or none when it may. The bounds also hold for the padding
// defaults. Computed in 64 bits, so no entry can wrap past them.
std::optional<std::string_view> entryRefusal(int32_t prepadMinutes, int32_t postpadMinutes,
                                             std::string_view hours, std::string_view mins);
// noticeBeyondClock when the timer that a write of the form books (its first
// start after any move of its pattern) starts or ends, margins included, at
// or past 2038-01-19 03:14:07 UTC, where a 32-bit time value ends; else none.
std::optional<std::string_view> clockRefusal(const TimerValues& values);
// The form as the user entered it, for the page that refuses it (id 0 for a
// new timer).
TimerForm enteredForm(int32_t id, const TimerValues& values, int32_t prepadMinutes,
                      int32_t postpadMinutes);
// 'Saved. 31/2/2027 was read as 3/3/2027.' when the time conversion moved
// the entered date, with the time of day on both sides when that moved
// ('Saved. 9/12/2026 23:75 was read as 10/12/2026 00:15.'); else "".
std::string normalisedRemark(const TimerValues& values);
// After the write of the timer with this id: 'Saved, but this timer lies in
// the past and will not record.' when it has no pattern and its window has
// ended, then 'Saved. It overlaps with <title> on Tue 9/12 20:00.' naming its
// first overlap (the title HTML-escaped), joined by one space; else "".
std::string scheduleRemarks(int32_t id);

// ---------------------------------------------------------------------------
// Titles as text (title_text.cpp)
// ---------------------------------------------------------------------------

// The longest title a form may send, in characters: as many as a broadcast's
// event name can carry (its length is one byte, one byte a character in the
// broadcast's own character sets), the longest the firmware writes itself;
// the table column has no bound of its own.
constexpr size_t kTitleMaxCharacters = 255;
// "Not saved: the title is not UTF-8 text."
extern const char* const noticeTitleNotUtf8;
// "Not saved: a title may be at most 255 characters long."
extern const char* const noticeTitleTooLong;

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing beyond U+10FFFF).
bool isUtf8(std::string_view text);
// A stored title as the pages show it: unchanged when it is UTF-8, else
// every byte read as its Latin-1 character.
std::string readableTitle(std::string_view stored);
// Checks the title that a form sent. One that equals how the page showed the
// stored title (stored: none for a new timer) takes the stored bytes, so
// that saving a form unchanged keeps them; any other is refused (the notice)
// when it is not UTF-8 or longer than kTitleMaxCharacters.
std::optional<std::string_view> acceptTitle(std::string& title,
                                            const std::optional<std::string>& stored);

// ---------------------------------------------------------------------------
// Renderers: schedule rows (schedrows.cpp)
// ---------------------------------------------------------------------------

// Reads every timer row into state.rows in one pass, the statement reset
// before it returns; a failed read ends the request through exitIfError.
void readTimerRows(ScreenState& state);
// Renders the table from state.rows, read first when they are not yet.
void execSchedrows(std::string_view path, TemplateContext* context);
// Every timer of the table in database order, read by the table's own
// query; a failed read ends the request through exitIfError.
std::vector<TimerSchedule> loadTimerSchedules();
// Expands text with elements (directives on, no processor) into a new text.
// The list is lent to the expansion and handed back unchanged.
std::string applyTemplate(std::string_view text, ElementList& elements);
// The same for a template parsed beforehand.
std::string applyTemplate(const QuibTemplate& parsed, ElementList& elements);

// ---------------------------------------------------------------------------
// Renderers: option lists and channel labels (options.cpp)
// ---------------------------------------------------------------------------

extern const char* const web_sched_week[12];
extern const char* const channelAV;  // "AV"

void printRepeatOptions(std::string_view path, TemplateContext* context);
void printChannelOptions(std::string_view path, TemplateContext* context);
void printChannelOption(std::string_view templateText, TemplateContext* context,
                        Element* lastElement, int32_t value, bool isSelected,
                        std::string_view label);
// "%d %s" or "%d %s (%d)"; composed without any length limit.
std::string sprintfChannelLabel(const Channel& channel);
const Channel* getChannelByNo(int number);
// Whole content of a file, directives untouched; missing file: "".
std::string loadFile(const std::string& path);
// Sink that appends each piece to the std::string in the context's user data.
void loadLines(std::string_view piece, TemplateContext* context);

// ---------------------------------------------------------------------------
// Time zone names and rules (time_zone.cpp, zone_rule.cpp, zone_names.cpp)
// ---------------------------------------------------------------------------

// The zone that the last useRecorderTimeZone found and could not read (the
// text of TZ or of the rule file's line), while UTC is used in its place;
// none when the zone was read.
const std::optional<std::string>& unreadableTimeZone();

// True when rule is a POSIX time zone rule as every C library reads it alike:
// names of three or more letters or "<+03>", offsets [+-]hh[:mm[:ss]] up to
// 24 hours, and a daylight-saving name only with both dates (Jn, n or Mm.w.d,
// each with an optional /time).
bool isZoneRule(std::string_view rule);

// The table of zone names ("Europe/Berlin") and their rules, made at build
// time from the time zone database's zone files.
struct ZoneEntry {
  std::string_view name, rule;
};
// The rule of a zone name; none for a name that the table does not hold.
std::optional<std::string_view> zoneRuleOf(std::string_view name);
// The table's entries by index (0 to zoneCount() - 1), sorted by name.
size_t zoneCount();
ZoneEntry zoneEntry(size_t index);
