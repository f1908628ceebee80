// Session ids drawn from the operating system's random source.
//
// An id is the only proof of a sign-in that the browser carries, so it must
// not be guessable from the time of the request or from earlier ids: the
// values come from the kernel, never from the C library's rand().
#include "quib/session_id.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#if __has_include(<sys/random.h>)
#include <sys/random.h>
#define QUIB_HAVE_GETRANDOM 1
#endif

namespace {

constexpr const char* kRandomDevice = "/dev/urandom";
constexpr uint32_t kValueMask = 0x7fffffffu;
constexpr int kIdValues = 3;

#ifdef QUIB_HAVE_GETRANDOM
// Fills the buffer through getrandom(). False when the call is not available
// (an older kernel answers ENOSYS) or fails otherwise.
bool fillFromGetrandom(unsigned char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = getrandom(buffer + done, size - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}
#endif

// Fills the buffer from the random device. False when it cannot be read.
bool fillFromDevice(unsigned char* buffer, size_t size) {
  int fd = open(kRandomDevice, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, buffer + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  close(fd);
  return done == size;
}

bool fillRandom(unsigned char* buffer, size_t size) {
#ifdef QUIB_HAVE_GETRANDOM
  if (fillFromGetrandom(buffer, size)) return true;
#endif
  return fillFromDevice(buffer, size);
}

}  // namespace

std::optional<std::string> newSessionId() {
  unsigned char bytes[kIdValues * 4];
  if (!fillRandom(bytes, sizeof bytes)) return std::nullopt;
  uint32_t values[kIdValues];
  for (int i = 0; i < kIdValues; ++i) {
    values[i] =
        (static_cast<uint32_t>(bytes[i * 4]) << 24 | static_cast<uint32_t>(bytes[i * 4 + 1]) << 16 |
         static_cast<uint32_t>(bytes[i * 4 + 2]) << 8 | static_cast<uint32_t>(bytes[i * 4 + 3])) &
        kValueMask;
  }
  // Three values of at most eight hexadecimal digits each, two dashes and the
  // terminator.
  char text[3 * 8 + 2 + 1];
  std::snprintf(text, sizeof text, "%x-%x-%x", static_cast<unsigned>(values[0]),
                static_cast<unsigned>(values[1]), static_cast<unsigned>(values[2]));
  return std::string(text);
}

std::optional<std::string> newFormToken() {
  constexpr size_t kTokenBytes = 16;
  unsigned char bytes[kTokenBytes];
  if (!fillRandom(bytes, sizeof bytes)) return std::nullopt;
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * kTokenBytes);
  for (unsigned char byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xf];
  }
  return text;
}
