// The page of the account's tokens: the tokens of the JSON interface, the
// calendar feed's address, and the forms that make and revoke them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quib/api_tokens.h"

struct TokensPage {
  std::vector<ApiTokenInfo> tokens;      // the account's, the feed token included
  std::optional<std::string> sessionId;  // for the self URL
  // The feed's absolute address up to its token ("...recordings.ics?feed=").
  std::string feedAddress;
  // The outcome of the request's action, as page text: a success for the
  // status box or an error for the alert box.
  std::string status;
  std::string error;
  // A token made by this request, shown this once; newFeed when it is the
  // calendar feed's (shown as its whole address).
  std::optional<std::string> newToken;
  bool newFeed = false;
};

// Writes the whole page ("tokens.shtml") into the response.
void displayTokensPage(const TokensPage& page);
