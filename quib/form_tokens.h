// One-time form tokens: drawing and checking them (form_tokens.cpp), and
// recording them as spent (form_token_claims.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// One-time form tokens: every drawn form carries a fresh token bound to the
// request's session (drawing writes nothing); only a request that carries
// one acts, and the request that carries out a form's action records it.
// A new token for the session this request uses; without a session, a token
// of the sign-in page, which also queues it as the cookie "quibsignin". None
// when no random source or secret can be read.
std::optional<std::string> quibNewFormToken();
// 1 when token was drawn for the session this request uses, or, with
// signInPage, when it is a sign-in page's token that the request's
// "quibsignin" cookie repeats; else 0 (missing, made up, another session's).
int quibCheckFormToken(std::optional<std::string_view> token, bool signInPage);
// Records token as used. 1 when it was new, 0 when it had been recorded
// before (the form was already sent).
int quibClaimFormToken(std::string_view token);
// Records token as used in a write transaction of the account database that
// stays open: 1 when it was new (the transaction is open until the commit
// or release below), 0 when it had been recorded before (nothing is open).
// A request that ends before the commit leaves the token unrecorded.
int quibBeginFormTokenClaim(std::string_view token);
// Ends the open claim: commit keeps the token spent, release leaves it
// usable. Without an open claim they do nothing.
void quibCommitFormTokenClaim();
void quibReleaseFormTokenClaim();
