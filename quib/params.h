// Request parameters, URL coding and the integers of request texts
// (params.cpp, urlcode.cpp, integer.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
