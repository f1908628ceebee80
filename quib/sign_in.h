// Sign-in attempts and their limits (sign_in.cpp).
#pragma once

#include <cstddef>
#include <string_view>

// Results of quibVerifyUserPass.
constexpr int kQuibSignInInvalid = 0;
constexpr int kQuibSignInValid = 1;
// Too many failed sign-ins of the name from this source address lately:
// refused without a check.
constexpr int kQuibSignInLocked = 2;
// User names and passwords longer than this many bytes (as the request sends
// them, URL-encoded) are refused before anything is stored: no account can
// have them.
constexpr size_t kQuibMaxLoginBytes = 128;
constexpr size_t kQuibMaxPasswordBytes = 256;
// kQuibSignInValid when an account with this user name and password exists,
// kQuibSignInLocked while the name must wait after repeated failures from
// the request's source address (REMOTE_ADDR; what the password is does not
// matter then), else kQuibSignInInvalid. Every refusal of a name and
// password within the length bounds is counted for the name and address,
// whether an account has the name or not; other addresses are not held up.
int quibVerifyUserPass(std::string_view login, std::string_view password);
