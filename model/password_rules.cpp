// The rules of a new password.
#include "model/password_rules.h"

#include <algorithm>
#include <cctype>

namespace {

// The passwords that guessers try first; all at least kMinPasswordCharacters
// long (shorter ones are refused for their length anyway), in lower case.
constexpr std::string_view kCommonPasswords[] = {
    "password",  "password1", "12345678", "123456789", "1234567890", "qwertyui",
    "qwerty123", "admin123",  "iloveyou", "11111111",  "00000000",   "abcdefgh",
    "abc12345",  "letmein1",  "welcome1", "sunshine",  "football",   "baseball",
};

// Characters of a UTF-8 text: every byte but the continuation bytes.
size_t characterCount(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

PasswordRefusal checkNewPassword(std::string_view password, std::string_view login) {
  if (characterCount(password) < kMinPasswordCharacters) return PasswordRefusal::kTooShort;
  for (std::string_view common : kCommonPasswords) {
    if (equalIgnoringCase(password, common)) return PasswordRefusal::kCommon;
  }
  if (equalIgnoringCase(password, login)) return PasswordRefusal::kUserName;
  return PasswordRefusal::kNone;
}
