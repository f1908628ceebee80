// The sign-in page and the password page of the sign-in gate.
#pragma once

#include <optional>
#include <string_view>

#include "texts/catalogue.h"

enum class GatePageKind { kSignIn, kPassword };

// Everything a gate page shows, gathered before it is drawn.
struct GatePage {
  GatePageKind kind = GatePageKind::kSignIn;
  // The message and its page text (values filled in); none: no message.
  std::optional<Text> message;
  std::string_view messageText;
  std::string_view formToken;  // a fresh one-time token for the page's forms
  std::string_view user;       // the signed-in user's name, as stored
  // The password page asks for the current password; it does not right
  // after the sign-in that proved it, which the page then carries on.
  bool asksCurrentPassword = true;
  std::string_view signInProof;
  // The way back to the list: not while the list would show this page again.
  bool backToTimers = true;
  // The language the sign-in page's language form shows chosen ("" for
  // Automatic).
  std::string_view languageChoice;
};

// Writes the response header with every queued cookie, then the page:
// "login.shtml" or "chpass.shtml" with the variables "msg" (the message or
// ""), "msgError" and "msgNotice" (the message in the box of a refusal or of
// an outcome, "" in the other), "<field>Attrs" for the fields login, pass,
// oldpass, newpass1 and newpass2 (the attributes that mark the field the
// refusal concerns, and the focus where the page moves it), "formtoken",
// "user", "signinproof", "lang" and the language form's (see
// languageFormElements). The includes "chpassold" (the current-password
// field) and "chpassback" (the way back to the list) are expanded only where
// the page has them.
void displayGatePage(const GatePage& page);
