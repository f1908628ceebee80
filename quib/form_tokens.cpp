// Form tokens: the proof that a request comes from a form the interface drew.
//
// A token is a random nonce followed by a keyed digest of that nonce and of
// what the token is drawn for: the session of the page, or, on the sign-in
// page, the page itself (the token then also goes out in a cookie of its
// own, which the form's request must bring back). The key is a secret kept in
// the account database, made once; drawing a page therefore writes nothing,
// and a page of another site can neither read nor make a token that fits.
// Recording a token as spent is form_token_claims.cpp's.
#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quib/account_db.h"
#include "quib/cookies.h"
#include "quib/form_tokens.h"
#include "quib/session_id.h"
#include "sha1/sha1.h"

namespace {

constexpr const char* kSignInCookieName = "quibsignin";
constexpr std::string_view kSignInCookieAttributes = "; HttpOnly; SameSite=Strict";

// The one secret of the account database.
constexpr const char* kCreateSecret =
    "create table if not exists formsecret (id integer primary key check (id = 1), secret text "
    "not null)";
constexpr const char* kInsertSecret = "insert or ignore into formsecret (id, secret) values (1, ?)";
constexpr const char* kSelectSecret = "select secret from formsecret where id = 1";

// A token: 16 hexadecimal digits of nonce, 16 of digest.
constexpr size_t kNonceDigits = 16;
constexpr size_t kDigestDigits = 16;
constexpr size_t kSha1Block = 64;

using Digest = std::array<uint8_t, 20>;

// The secret once read in this process.
std::optional<std::string> form_secret;

Digest sha1(std::string_view first, std::string_view second) {
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, reinterpret_cast<const uint8_t*>(first.data()),
            static_cast<uint32_t>(first.size()));
  SHA1Input(state, reinterpret_cast<const uint8_t*>(second.data()),
            static_cast<uint32_t>(second.size()));
  SHA1Result(state);
  Digest digest{};
  for (size_t i = 0; i < 5; ++i) {
    for (size_t b = 0; b < 4; ++b) {
      digest[i * 4 + b] = static_cast<uint8_t>(state.digest[i] >> (24 - 8 * b));
    }
  }
  return digest;
}

// HMAC-SHA1 of message under key.
Digest hmac(std::string_view key, std::string_view message) {
  std::string block(kSha1Block, '\0');
  if (key.size() > kSha1Block) {
    const Digest hashed = sha1(key, {});
    block.replace(0, hashed.size(), reinterpret_cast<const char*>(hashed.data()), hashed.size());
  } else {
    block.replace(0, key.size(), key);
  }
  std::string inner(block), outer(block);
  for (size_t i = 0; i < kSha1Block; ++i) {
    inner[i] = static_cast<char>(inner[i] ^ 0x36);
    outer[i] = static_cast<char>(outer[i] ^ 0x5c);
  }
  const Digest innerDigest = sha1(inner, message);
  return sha1(outer, std::string_view(reinterpret_cast<const char*>(innerDigest.data()),
                                      innerDigest.size()));
}

// Compares two texts in time that depends on their length only.
bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned difference = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]);
  }
  return difference == 0;
}

std::optional<std::string> readSecret(sqlite3* db) {
  sqlite3_stmt* raw = nullptr;
  // No table yet: no secret yet.
  if (sqlite3_prepare_v2(db, kSelectSecret, -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    return std::nullopt;
  }
  std::optional<std::string> secret;
  if (sqlite3_step(raw) == SQLITE_ROW && sqlite3_column_text(raw, 0) != nullptr) {
    secret.emplace(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)),
                   static_cast<size_t>(sqlite3_column_bytes(raw, 0)));
  }
  sqlite3_finalize(raw);
  return secret;
}

// The account database's secret, made on first use; none when it can be
// neither read nor made (no random source, a read-only new database): then
// no form can act.
std::optional<std::string> formSecret() {
  if (form_secret) return form_secret;
  // Without an account database there is nothing to sign in to either.
  sqlite3* db = quibAccountDb(true);
  if (db == nullptr) return std::nullopt;
  std::optional<std::string> secret = readSecret(db);
  if (!secret) {
    std::optional<std::string> first = newFormToken();
    std::optional<std::string> second = newFormToken();
    if (!first || !second) return std::nullopt;
    const std::string made = *first + *second;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_exec(db, kCreateSecret, nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, kInsertSecret, -1, &raw, nullptr) == SQLITE_OK &&
        sqlite3_bind_text(raw, 1, made.c_str(), static_cast<int>(made.size()), SQLITE_STATIC) ==
            SQLITE_OK) {
      sqlite3_step(raw);
    }
    sqlite3_finalize(raw);
    // Another request may have made it first: the stored one counts.
    secret = readSecret(db);
  }
  form_secret = secret;
  return secret;
}

// The digest part of a token with nonce, drawn for purpose.
std::string digestDigits(std::string_view secret, std::string_view purpose,
                         std::string_view nonce) {
  std::string message(purpose);
  message += ' ';
  message += nonce;
  const Digest digest = hmac(secret, message);
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; text.size() < kDigestDigits; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 0xf];
  }
  return text;
}

std::optional<std::string> drawToken(std::string_view purpose) {
  std::optional<std::string> secret = formSecret();
  std::optional<std::string> nonce = newFormToken();
  if (!secret || !nonce) return std::nullopt;
  nonce->resize(kNonceDigits);
  return *nonce + digestDigits(*secret, purpose, *nonce);
}

// True when token was drawn for purpose with this database's secret.
bool tokenFits(std::string_view token, std::string_view purpose) {
  if (token.size() != kNonceDigits + kDigestDigits) return false;
  std::optional<std::string> secret = formSecret();
  if (!secret) return false;
  const std::string expected = digestDigits(*secret, purpose, token.substr(0, kNonceDigits));
  return sameText(token.substr(kNonceDigits), expected);
}

std::string sessionPurpose(std::string_view id) {
  return "session " + std::string(id);
}

constexpr std::string_view kSignInPurpose = "signin";

}  // namespace

std::optional<std::string> quibNewFormToken() {
  if (std::optional<std::string> id = quibRequestSession()) {
    return drawToken(sessionPurpose(*id));
  }
  std::optional<std::string> token = drawToken(kSignInPurpose);
  if (token) {
    std::string cookie(kSignInCookieName);
    cookie += '=';
    cookie += *token;
    cookie += kSignInCookieAttributes;
    quibSetCookie(cookie);
  }
  return token;
}

int quibCheckFormToken(std::optional<std::string_view> token, bool signInPage) {
  if (!token) return 0;
  if (std::optional<std::string> id = quibRequestSession()) {
    if (tokenFits(*token, sessionPurpose(*id))) return 1;
  }
  if (!signInPage) return 0;
  std::optional<std::string> cookie = quibGetCookie(kSignInCookieName);
  return cookie && sameText(*cookie, *token) && tokenFits(*token, kSignInPurpose) ? 1 : 0;
}
