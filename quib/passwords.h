// Passwords of accounts (passwords.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// 1 when the password was changed, else 0 (a new password longer than
// kQuibMaxPasswordBytes is refused). A change ends every other
// session of the user and revokes all its tokens (quibRevokeAllApiTokens);
// the session this request uses stays.
int quibChangePass(std::string_view login, std::string_view oldPassword,
                   std::string_view newPassword);
// 1 when login is the initial account and its password is still the initial
// one, which everybody knows; else 0.
int quibUsesInitialPassword(std::string_view login);
// 1 when password is the initial one of login (the initial account's, which
// everybody knows); else 0.
int quibIsInitialPassword(std::string_view login, std::string_view password);
// Replaces the initial password of login with newPassword without asking
// for it again: only while login still has it and proof is the sign-in
// proof of the request's session (quibSignInProofValid), which shows that
// whoever sends it has just typed that password. 1 when changed, else 0.
int quibReplaceInitialPass(std::string_view login, std::string_view proof,
                           std::string_view newPassword);
// The stored text form of the digest of "login password", or none.
std::optional<std::string> hashPassword(std::string_view login, std::string_view password);
