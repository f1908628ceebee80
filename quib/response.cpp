// The response of the request, collected in memory and written to standard
// output only when it is complete, so that a failure half-way through a page
// replaces the page instead of following half of it.
#include <cstdio>
#include <string>

#include "quib/quib.h"

namespace {

// The response so far: the header block, then the page text.
std::string quibResponse;
// Length of the header block within quibResponse; 0 while no header is
// written.
size_t quibHeaderLength = 0;

}  // namespace

void quibOut(std::string_view text) {
  quibResponse.append(text.data(), text.size());
}

void quibEndHeader() {
  quibHeaderLength = quibResponse.size();
}

bool quibHeaderWritten() {
  return quibHeaderLength > 0;
}

void quibSendResponse() {
  if (!quibResponse.empty()) std::fwrite(quibResponse.data(), 1, quibResponse.size(), stdout);
  std::fflush(stdout);
  quibResponse.clear();
  quibResponse.shrink_to_fit();
  quibHeaderLength = 0;
}

void quibSendFailure(std::string_view text) {
  if (quibHeaderWritten()) {
    quibResponse.resize(quibHeaderLength);
  } else {
    quibResponse.clear();
    quibPrintHttpHeader();
  }
  quibOut(text);
  quibSendResponse();
}
