// Cookies: the first line of the input is the request's HTTP_COOKIE, the
// second (when there is one) the number of seconds or the epoch second a
// cookie line is made for. Read values and written lines are checked
// against what they promise; the response goes to /dev/null.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "quib/quib.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::string cookieVariable;

// A value read from a cookie header is trimmed and holds no separator.
void checkValue(const std::optional<std::string>& value) {
  if (!value) return;
  fuzzCheck(value->find_first_of(";=") == std::string::npos, "a cookie value holds no ; or =");
  if (value->empty()) return;
  fuzzCheck(value->front() != ' ' && value->front() != '\t' && value->back() != ' ' &&
                value->back() != '\t',
            "a cookie value is trimmed");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::freopen("/dev/null", "w", stdout);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  // The environment holds C texts: the header ends at a zero byte.
  const std::string header(input.substr(0, std::min(newline, input.find('\0'))));
  const std::string number(newline == std::string_view::npos ? "" : input.substr(newline + 1));
  const long long seconds = std::strtoll(number.c_str(), nullptr, 10);

  fuzzPutEnv(cookieVariable, "HTTP_COOKIE", header);
  checkValue(quibGetSessionCookie());
  // The name of the header's first cookie, as the reader takes it.
  const size_t nameStart = header.find_first_not_of('=');
  const size_t nameEnd = std::min(header.find_first_of(";=", nameStart), header.size());
  if (nameStart < nameEnd) {
    const std::string name(
        strtrim(std::string_view(header).substr(nameStart, nameEnd - nameStart)));
    checkValue(quibGetCookie(name));
  }

  const std::string line = quibPersistentCookieLine(header, seconds);
  fuzzCheck(line.rfind("Set-Cookie: " + header, 0) == 0 && line.back() == '\n',
            "a cookie line names the cookie and ends the line");
  fuzzCheck(line.find("; expires=") != std::string::npos && line.size() >= 5 &&
                line.compare(line.size() - 5, 5, " GMT\n") == 0,
            "a cookie line carries an expiry date");
  quibSetCookie(header);
  quibSetPersistentCookie(header, static_cast<int32_t>(seconds));
  quibRemoveCookie(header);
  quibPrintHttpHeader();
  quibSendResponse();
  return 0;
}
