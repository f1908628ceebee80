// What a new password must be: long enough and not one that guessers try
// first. The texts are the decoded form values.
#pragma once

#include <cstddef>
#include <string_view>

// The fewest characters (of UTF-8, not bytes) a new password may have.
constexpr size_t kMinPasswordCharacters = 8;

enum class PasswordRefusal { kNone, kTooShort, kCommon, kUserName };

// Why password may not become the new password of login, or kNone. Checked
// in this order: its length, the short list of the most common passwords and
// the user name (both compared without regard to ASCII letter case).
PasswordRefusal checkNewPassword(std::string_view password, std::string_view login);
