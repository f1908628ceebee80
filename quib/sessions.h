// Sign-in sessions (sessions.cpp) and the end of the account database's use
// (account_db.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// User name of this request's valid session (cookie first, then the
// "quibsession" parameter), or none.
std::optional<std::string> quibGetAuthUser();
// Opens a session for login; queues its cookie; returns the id. With proof,
// the session also gets a sign-in proof: a new random text, handed back in
// *proof for the page of this response alone, whose digest the session keeps.
std::string quibCreateSession(std::string_view login, int sticky, std::string* proof = nullptr);
// Seconds after its sign-in that a session's sign-in proof counts.
constexpr int kQuibSignInProofSeconds = 60;
// 1 when proof is the sign-in proof of the session this request uses and
// that session was opened less than kQuibSignInProofSeconds ago; else 0. A
// cookie alone does not give it: the proof went out only in the page that
// answered the sign-in.
int quibSignInProofValid(std::string_view proof);
// The language tag that login chose, as stored, or none (no choice, or a
// database without the table of choices). The session lookup reads it with
// the session; for another account it is read on its own. Writes nothing.
std::optional<std::string> quibAccountLanguage(std::string_view login);
// Stores tag as the language login chose, "" clearing the choice, within the
// caller's open transaction or one of its own. The table of choices is made
// with the first one.
void quibStoreAccountLanguage(std::string_view login, std::string_view tag);
// Deletes the session, then queues the removal of the session cookie.
int quibExpireSession(std::string_view id);
// Closes the account database.
void quibClose();
