// The response of the request, collected in memory and written to standard
// output only when it is complete, so that a failure half-way through a page
// replaces the page instead of following half of it.
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "quib/cookies.h"
#include "quib/response.h"

namespace {

// The response so far: the header block, then the page text.
std::string quibResponse;
// Length of the header block within quibResponse; 0 while no header is
// written.
size_t quibHeaderLength = 0;
// True once the response goes out as it is made (quibStreamResponse).
bool quibStreaming = false;

// Writes what the response holds and empties it, keeping its capacity.
void writeHeld() {
  if (!quibResponse.empty()) std::fwrite(quibResponse.data(), 1, quibResponse.size(), stdout);
  quibResponse.clear();
}

}  // namespace

void quibOut(std::string_view text) {
  quibResponse.append(text.data(), text.size());
  if (quibStreaming && quibResponse.size() >= kQuibStreamBlock) writeHeld();
}

std::string& quibOutBuffer() {
  return quibResponse;
}

void quibOutAppended() {
  if (quibStreaming && quibResponse.size() >= kQuibStreamBlock) writeHeld();
}

void quibStreamResponse() {
  if (quibStreaming) return;
  quibStreaming = true;
  quibResponse.reserve(kQuibStreamBlock + kQuibStreamBlock / 4);
  writeHeld();
}

void quibEndHeader() {
  quibHeaderLength = quibResponse.size();
}

bool quibHeaderWritten() {
  return quibHeaderLength > 0 || quibStreaming;
}

void quibSendResponse() {
  writeHeld();
  std::fflush(stdout);
  quibResponse.shrink_to_fit();
  quibHeaderLength = 0;
  quibStreaming = false;
}

void quibSendFailure(std::string_view text, std::string_view status) {
  if (quibStreaming) {
    // Part of the page is out with its header: the text ends it.
    quibOut(text);
    quibSendResponse();
    return;
  }
  std::string statusLine = "Status: ";
  statusLine.append(status).append(1, '\n');
  if (quibHeaderWritten()) {
    quibResponse.resize(quibHeaderLength);
    quibResponse.insert(0, statusLine);
  } else {
    quibResponse.clear();
    quibOut(statusLine);
    quibPrintHttpHeader();
  }
  quibOut(text);
  quibSendResponse();
}

std::string_view quibDatabaseFailureStatus(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? kQuibStatusUnavailable
                                                            : kQuibStatusServerError;
}
