// The tokens page of the signed-in user: its actions (make a token, revoke
// one, replace the calendar feed's address) and the page drawn after them.
#pragma once

#include <optional>
#include <string>

#include "app/request.h"

// What a token action leaves for the page.
struct TokenOutcome {
  std::string notice;   // page text
  bool failed = false;  // notice says why nothing was done
  // The token made, shown this once; newFeed for the feed's.
  std::optional<std::string> newToken;
  bool newFeed = false;
};

// Carries out action (kNewToken, kRevokeToken or kRotateFeed) on user's
// tokens, reading its request values ("tokenname", "tokenscope", "tokenid")
// and claiming the form's token. The caller has checked that the request
// may act.
TokenOutcome runTokenAction(Action action, const std::string& user);
// Draws the tokens page of user with the outcome of the request's action.
void showTokensPage(const std::string& user, const std::optional<std::string>& sessionId,
                    const TokenOutcome& outcome);
