// Tokens of the JSON interface and of the calendar feed, kept in the account
// database as digests only (api_tokens.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a token may do: read, read and write, or only read the calendar feed.
enum class ApiScope { kRead, kWrite, kFeed };

// An account's token as the settings page lists it (never the token itself).
struct ApiTokenInfo {
  int64_t id = 0;
  std::string name;
  ApiScope scope = ApiScope::kRead;
  int64_t created = 0;  // time value
  // time value, none when not used since the recorder started (kept in the
  // runtime directory, not in the database)
  std::optional<int64_t> lastUsed;
};

// Result of checking a token as a request sends it.
enum class ApiTokenCheck {
  kValid,
  kInvalid,  // no such token (counted against the request's source address)
  kLocked,   // too many wrong tokens from this source address lately: not checked
};

// Who a valid token speaks for, and what it may do.
struct ApiTokenUse {
  std::string login;
  ApiScope scope = ApiScope::kRead;
};

// Makes a new token of scope kRead or kWrite for login, named name; returns the
// token text, which is shown once and stored only as its digest. Writes
// within the caller's open transaction, or in one of its own; a request
// without a random source ends here.
std::string quibCreateApiToken(std::string_view login, std::string_view name, ApiScope scope);
// Replaces login's feed token with a new one and returns its text.
std::string quibRotateFeedToken(std::string_view login);
// Deletes login's token with this id; true when there was one.
bool quibRevokeApiToken(std::string_view login, int64_t id);
// Deletes every token of login (a changed password revokes them all), within
// the caller's open transaction if there is one.
void quibRevokeAllApiTokens(std::string_view login);
// login's tokens, the feed token included, oldest first.
std::vector<ApiTokenInfo> quibListApiTokens(std::string_view login);

// Checks token (kRead or kWrite tokens only; a feed token is kInvalid here)
// and, when valid, fills use and notes the token's use. Wrong tokens are
// counted per source address (REMOTE_ADDR) as wrong passwords are, and
// refused unchecked while that address is locked out. Writes nothing to the
// account database for a valid token.
ApiTokenCheck quibCheckApiToken(std::string_view token, ApiTokenUse* use);
// The same for the feed token of the calendar feed: only kFeed tokens.
ApiTokenCheck quibCheckFeedToken(std::string_view token, ApiTokenUse* use);
// Seconds a locked-out address waits before its next token is checked.
int32_t quibApiTokenRetryAfter();
