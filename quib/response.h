// The response in memory and its failure statuses (response.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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
// The response's text itself, for a renderer that appends to it directly
// instead of piece by piece through quibOut; quibOutAppended afterwards.
std::string& quibOutBuffer();
// Sends a full block when the response streams (what quibOut does after
// each append).
void quibOutAppended();
