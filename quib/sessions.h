// Sign-in sessions (sessions.cpp) and the end of the account database's use
// (account_db.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// User name of this request's valid session (cookie first, then the
// "quibsession" parameter), or none.
std::optional<std::string> quibGetAuthUser();
// Opens a session for login; queues its cookie; returns the id.
std::string quibCreateSession(std::string_view login, int sticky);
// Deletes the session, then queues the removal of the session cookie.
int quibExpireSession(std::string_view id);
// Closes the account database.
void quibClose();
