// quib: the small CGI toolkit of skedra.
//
// Request parameters and URL coding (params.cpp, urlcode.cpp), the response
// header and cookies (cookies.cpp), the template engine (template.cpp), HTML
// escaping (html.cpp) and sign-in sessions and accounts (sessions.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

// ---------------------------------------------------------------------------
// Request parameters and URL coding
// ---------------------------------------------------------------------------

// Capacity of the request parameter table: every pair that the largest
// request body (64 KiB) can carry, one byte and its '&' each. A request with
// more pairs (only a query string can have them) keeps the first ones and
// reports the rest through quibTooManyParams.
constexpr int kQuibMaxParams = 32768;

// The value of one parameter: none for a missing parameter and for a bare
// pair without '='; otherwise the raw (not URL-decoded) text after the '='.
using ParamValue = std::optional<std::string_view>;

// Raw name=value pairs in request order; the views point into text that lives
// until the process ends.
using ParamTable = std::vector<std::string_view>;
using ParamValues = std::vector<ParamValue>;

// Reads the request's parameters (for POST the body of CONTENT_LENGTH bytes,
// at most 64 KiB, without a trailing line end; else QUERY_STRING) into the
// process-wide table. Returns the number of pairs. A POST body announced
// longer than 64 KiB ends the process with an error page and exit status 1.
int parseParams();
// Splits text at '&' into table (runs of '&' count as one, empty pairs are
// skipped); at most kQuibMaxParams pairs are kept. Returns how many; more,
// when given, tells whether pairs beyond those remained.
// The table's views point into text, which must outlive the table.
int parseParamPairs(std::optional<std::string_view> text, ParamTable& table, bool* more = nullptr);
// The lookup behind the functions below. With out null: presence test (1/0).
// With single: stores the first match's value into out[0] and returns 1.
// Otherwise stores every match's value into out (never more than count,
// which is clamped to the table's size) and returns how many. No match: 0,
// out untouched.
int getParamValues(int count, const ParamTable* table, std::string_view name, ParamValue* out,
                   bool single);
ParamValue getParamValue(int count, const ParamTable& table, std::string_view name);
// Value of the first request parameter with that name, or none.
ParamValue getParam(std::string_view name);
// Values of all request parameters with that name, in request order; out
// is resized to hold them.
int getParamVals(std::string_view name, ParamValues& out);
// True when the request had more pairs than the table holds: it may act on
// nothing, since what it asked for is not all there.
bool quibTooManyParams();
// 1 when a request parameter with that name is present (even bare), else 0.
int isParam(std::string_view name);

std::string quibUrlEncode(std::string_view text);
// Decodes '+' and %XX; a decoded zero byte ends the result.
std::string quibUrlDecode(std::string_view text);
int from_hex(char character);
char to_hex(int value);

// Integer value of a request text as the recorder's C library's atoi reads
// it (optional white space, optional sign, digits), saturating at the 32-bit
// limits instead of overflowing. None reads as 0.
int32_t quibAtoi(std::string_view text);
int32_t quibAtoi(ParamValue text);
// The same for C texts (null reads as 0) and strings, which would otherwise
// fit both overloads above.
int32_t quibAtoi(const char* text);
int32_t quibAtoi(const std::string& text);

// ---------------------------------------------------------------------------
// The response in memory
// ---------------------------------------------------------------------------

// Everything a request writes, header and page, goes into one response held
// in memory; it reaches standard output only through quibSendResponse or
// quibSendFailure, or block by block once quibStreamResponse said that the
// page can no longer fail. A page that fails half-way is thus never sent
// half-done.

// Appends text to the response.
void quibOut(std::string_view text);
// Marks the end of the header block (called by the header writers).
void quibEndHeader();
// True once the response has its header block.
bool quibHeaderWritten();
// Writes the response to standard output and starts an empty one.
void quibSendResponse();
// Replaces whatever page text the response has with text, keeping its header
// block (or writing one when there is none yet, with the queued cookies), and
// sends it: a failure response has exactly one header. After
// quibStreamResponse the text ends the part of the page already sent.
// The status line ("Status: ...") comes first in the header (some web
// servers take it only there); it is left out once the header was sent.
void quibSendFailure(std::string_view text, std::string_view status);
// HTTP statuses of failure responses.
constexpr std::string_view kQuibStatusServerError = "500 Internal Server Error";
constexpr std::string_view kQuibStatusUnavailable = "503 Service Unavailable";
constexpr std::string_view kQuibStatusTooLarge = "413 Payload Too Large";
// The status of a failure of a database with this SQLite result code: 503
// when another process held the database past the wait (try again), else 500.
std::string_view quibDatabaseFailureStatus(int code);
// For a page that can no longer fail (its database reads are done): from here
// on the response goes to standard output as it is made, in blocks of
// kQuibStreamBlock bytes, so that a long page is never held whole in memory.
// quibSendResponse sends the rest and ends it.
void quibStreamResponse();
constexpr size_t kQuibStreamBlock = 65536;

// ---------------------------------------------------------------------------
// Response header and cookies
// ---------------------------------------------------------------------------

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

extern const char* const quibSessionCookieName;  // "quibsession"

// Writes the queued Set-Cookie lines, then the HTML content type and the empty
// line that ends the header, into the response.
void quibPrintHttpHeader();
// Writes the queued Set-Cookie lines, then "Location: ..." and the empty line.
void quibForward(std::string_view location);
// Queue a Set-Cookie line; cookie is complete: name=value[; attributes].
void quibSetCookie(std::string_view cookie);
// Queue a cookie that expires the given number of seconds from now (UTC date).
void quibSetPersistentCookie(std::string_view cookie, int32_t seconds);
// The line quibSetPersistentCookie queues, for an expiry given in epoch seconds.
std::string quibPersistentCookieLine(std::string_view cookie, int64_t expiry);
// Queue the line that makes the browser delete the named cookie.
void quibRemoveCookie(std::string_view name);
// The value of the named cookie of the request (HTTP_COOKIE), or none.
std::optional<std::string> quibGetCookie(std::string_view name);
std::optional<std::string> quibGetSessionCookie();
// SERVER_NAME, or "localhost" when it is not set. Borrowed.
const char* quibGetCurrentServerName();

// ---------------------------------------------------------------------------
// Template engine
// ---------------------------------------------------------------------------

struct Element;
// An ElementList is given by its head; the list owns its nodes, never the
// names or text values, which are borrowed from the caller.
using ElementList = std::unique_ptr<Element>;

constexpr int32_t kElementInt = 0;
constexpr int32_t kElementText = 1;

// One template variable.
struct Element {
  std::string_view name;
  int32_t kind = kElementInt;  // kElementInt or kElementText
  int32_t number = 0;          // the value of an integer Element
  std::string_view text;       // the value of a text Element (borrowed)
  ElementList next;
};

ElementList intelem(std::string_view name, int32_t value, ElementList next);
ElementList strelem(std::string_view name, std::string_view text, ElementList next);
// First Element of the list with that name (from the head), or null.
const Element* getElement(const Element* list, std::string_view name);
// Last Element of a non-empty list.
Element* getLastElem(Element* list);
// Releases every Element of the list (names and texts are not touched).
void disposeElems(ElementList list);

struct TemplateContext;
// Receives each expanded piece; the piece is valid only during the call.
using LineSink = void (*)(std::string_view piece, TemplateContext* context);
// Receives every include directive: base name, path as written.
using CommandProcessor = void (*)(std::string_view name, std::string_view path,
                                  TemplateContext* context);

// What travels through one expansion and into every include below it.
struct TemplateContext {
  ElementList elements;
  int32_t directives = 1;  // 0: lines pass through unchanged
  CommandProcessor processor = nullptr;
  void* userData = nullptr;
  int includeDepth = 0;  // includes in progress; bounded by kQuibMaxIncludeDepth
};

// Includes nest at most this deep; a deeper include produces nothing.
constexpr int kQuibMaxIncludeDepth = 16;
// Template files are read in pieces of at most this many bytes less one.
constexpr int kQuibLineBufferSize = 32768;

// Expands the file at path; a file that cannot be opened produces nothing.
void readTextFile(const std::string& path, TemplateContext* context, LineSink sink);
// Expands an in-memory text, line by line (each line keeps its newline; the
// text after the last newline is the last line, even when empty).
void readStringBuf(std::string_view text, TemplateContext* context, LineSink sink);
// The standard sink: appends the piece unchanged to the response.
void printSimpleText(std::string_view piece, TemplateContext* context);
// Expands one line (context may be null: the line passes unchanged).
void processLine(std::string_view line, TemplateContext* context, LineSink sink);
// A template parsed once for many expansions: its text, its lines (each the
// one piece it gives with directives off) and the pieces that its lines give
// with directives on (texts, "var" and "include" directives), in order.
// Expanding it is expanding its text with readStringBuf; a renderer that
// expands the same template for every row parses it once.
struct QuibTemplatePiece {
  enum Kind : uint8_t { kText, kVar, kInclude };
  Kind kind = kText;
  // kVar: the conversion of the "fmt" text for an integer and for a text
  // Element; 0 when that Element's default format applies.
  char intConversion = 0;
  char textConversion = 0;
  // Positions in the template's text. kText: the text; kVar: the variable
  // name and the "fmt" text; kInclude: the path as written and its base name.
  size_t pos = 0, size = 0;
  size_t extraPos = 0, extraSize = 0;
};
struct QuibTemplate {
  std::string text;
  std::vector<std::pair<size_t, size_t>> lines;  // position and size
  std::vector<QuibTemplatePiece> pieces;
};
QuibTemplate quibParseTemplate(std::string_view text);
void quibExpandTemplate(const QuibTemplate& parsed, TemplateContext* context, LineSink sink);

// Parses the parameter text of a directive (what follows the value's closing
// quote, up to the end of the body) into text Elements: the first item is the
// head, each later one is inserted right after the head. A bare key is an
// Element of kind kElementText whose text is a null view (data() == nullptr).
ElementList parseCommandParams(std::string_view text);

// Spaces and tabs removed at both ends.
std::string_view strtrim(std::string_view text);
// The text after its first character (taken as the opening quote) up to the
// next double quote, or to the end when there is none.
std::string_view qtrim(std::string_view text);

// ---------------------------------------------------------------------------
// HTML escaping
// ---------------------------------------------------------------------------

// Data text made safe to put into an HTML page or attribute: & < > " ' are
// replaced by entities; everything else is kept byte for byte.
std::string quibHtmlEscape(std::string_view text);

// ---------------------------------------------------------------------------
// Sessions and accounts
// ---------------------------------------------------------------------------

// User name of this request's valid session (cookie first, then the
// "quibsession" parameter), or none.
std::optional<std::string> quibGetAuthUser();
// Opens a session for login; queues its cookie; returns the id.
std::string quibCreateSession(std::string_view login, int sticky);
// Deletes the session, then queues the removal of the session cookie.
int quibExpireSession(std::string_view id);
// Results of quibVerifyUserPass.
constexpr int kQuibSignInInvalid = 0;
constexpr int kQuibSignInValid = 1;
// Too many failed sign-ins of the name from this source address lately:
// refused without a check.
constexpr int kQuibSignInLocked = 2;
// User names and passwords longer than this many bytes (as the request sends
// them, URL-encoded) are refused before anything is stored: no account can
// have them.
constexpr size_t kQuibMaxLoginBytes = 128;
constexpr size_t kQuibMaxPasswordBytes = 256;
// kQuibSignInValid when an account with this user name and password exists,
// kQuibSignInLocked while the name must wait after repeated failures from
// the request's source address (REMOTE_ADDR; what the password is does not
// matter then), else kQuibSignInInvalid. Every refusal of a name and
// password within the length bounds is counted for the name and address,
// whether an account has the name or not; other addresses are not held up.
int quibVerifyUserPass(std::string_view login, std::string_view password);
// 1 when the password was changed, else 0 (a new password longer than
// kQuibMaxPasswordBytes is refused). A change ends every other
// session of the user; the session this request uses stays.
int quibChangePass(std::string_view login, std::string_view oldPassword,
                   std::string_view newPassword);
// 1 when login is the initial account and its password is still the initial
// one, which everybody knows; else 0.
int quibUsesInitialPassword(std::string_view login);
// Closes the account database.
void quibClose();

// One-time form tokens: every drawn form carries a fresh token bound to the
// request's session (drawing writes nothing); only a request that carries
// one acts, and the request that carries out a form's action records it.
// A new token for the session this request uses; without a session, a token
// of the sign-in page, which also queues it as the cookie "quibsignin". None
// when no random source or secret can be read.
std::optional<std::string> quibNewFormToken();
// 1 when token was drawn for the session this request uses, or, with
// signInPage, when it is a sign-in page's token that the request's
// "quibsignin" cookie repeats; else 0 (missing, made up, another session's).
int quibCheckFormToken(std::optional<std::string_view> token, bool signInPage);
// Records token as used. 1 when it was new, 0 when it had been recorded
// before (the form was already sent).
int quibClaimFormToken(std::string_view token);
// Records token as used in a write transaction of the account database that
// stays open: 1 when it was new (the transaction is open until the commit
// or release below), 0 when it had been recorded before (nothing is open).
// A request that ends before the commit leaves the token unrecorded.
int quibBeginFormTokenClaim(std::string_view token);
// Ends the open claim: commit keeps the token spent, release leaves it
// usable. Without an open claim they do nothing.
void quibCommitFormTokenClaim();
void quibReleaseFormTokenClaim();
// Returns code when it is 0; otherwise writes the fatal page and ends the
// process with exit status 1.
int checkDBout(int code);
// The stored text form of the digest of "login password", or none.
std::optional<std::string> hashPassword(std::string_view login, std::string_view password);
