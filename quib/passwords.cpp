// Passwords: the stored form of a password, the initial account's, and a
// change of password.
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "quib/account_db.h"
#include "quib/api_tokens.h"
#include "quib/passwords.h"
#include "quib/sessions.h"
#include "quib/sign_in.h"
#include "sha1/sha1.h"

using namespace quibdb;

namespace {

constexpr const char* kChangePass =
    "update users set pass = ?, passchange_time = strftime('%s', 'now') where pass = ? and login = "
    "?";
// Every session of the user but the one given (none: every session).
constexpr const char* kEndOtherSessions = "delete from sessions where login = ?1 and id is not ?2";

constexpr const char* kInitialLogin = "admin";
constexpr const char* kInitialPassword = "482";

}  // namespace

namespace quibdb {

std::optional<std::string> initialPasswordDigest() {
  return hashPassword(kInitialLogin, kInitialPassword);
}

}  // namespace quibdb

std::optional<std::string> hashPassword(std::string_view login, std::string_view password) {
  std::string message;
  message.reserve(login.size() + 1 + password.size());
  message.append(login).append(1, ' ').append(password);

  SHA1State state;
  SHA1Reset(state);
  // Fed in pieces that fit the 32-bit length of the digest interface.
  const auto* bytes = reinterpret_cast<const uint8_t*>(message.data());
  size_t remaining = message.size();
  while (remaining > 0) {
    uint32_t piece = remaining > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(remaining);
    SHA1Input(state, bytes, piece);
    bytes += piece;
    remaining -= piece;
  }
  if (!SHA1Result(state)) return std::nullopt;

  // Each word in lowercase hexadecimal without leading zeros; a word shorter
  // than eight digits is the last one of the text. Stored accounts depend on
  // exactly this form.
  std::string text;
  for (uint32_t word : state.digest) {
    char digits[9];
    int length = std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(word));
    text.append(digits, static_cast<size_t>(length));
    if (length < 8) break;
  }
  return text;
}

int quibChangePass(std::string_view login, std::string_view oldPassword,
                   std::string_view newPassword) {
  if (newPassword.size() > kQuibMaxPasswordBytes) return 0;
  std::optional<std::string> oldPass = hashPassword(login, oldPassword);
  std::optional<std::string> newPass = hashPassword(login, newPassword);
  if (!oldPass || !newPass) return 0;
  const std::optional<std::string> current = quibRequestSession();
  // The new password, the end of the user's other sessions and of every
  // token of the user are stored together or not at all (within the
  // transaction that records the form's token when one is open).
  bool changed = false;
  inTransaction([&] {
    execSQL(kChangePass, *newPass, *oldPass, login);
    changed = sqlite3_changes(getQuibDb()) > 0;
    if (changed) {
      execSQL(kEndOtherSessions, login, current ? Param(*current) : std::nullopt);
      quibRevokeAllApiTokens(login);
    }
  });
  return changed ? 1 : 0;
}

int quibUsesInitialPassword(std::string_view login) {
  if (login != kInitialLogin) return 0;
  // Declared before the statement's run, which binds it without a copy.
  std::optional<std::string> initial = initialPasswordDigest();
  if (!initial) return 0;
  return execSQL(kCheckUser, login, *initial);
}

int quibIsInitialPassword(std::string_view login, std::string_view password) {
  return login == kInitialLogin && password == kInitialPassword ? 1 : 0;
}

int quibReplaceInitialPass(std::string_view login, std::string_view proof,
                           std::string_view newPassword) {
  if (login != kInitialLogin || quibSignInProofValid(proof) == 0) return 0;
  // The change itself matches the stored initial password, so a password
  // changed meanwhile stays.
  return quibChangePass(login, kInitialPassword, newPassword);
}
