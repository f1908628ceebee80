// The sign-in gate and the checks of where a request came from.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "texts/catalogue.h"

struct GateOutcome {
  bool letThrough = false;               // false: the gate wrote a page
  std::optional<Text> message;           // for the list screen
  std::optional<std::string> sessionId;  // for the self URL
  // The request may act on nothing (another site started it, a method other
  // than GET and POST, more pairs than the table holds): it carries out no
  // timer action and gets the list screen with refusal, when it asks for one.
  bool crossSite = false;
  std::optional<Text> refusal;
  // The request signed in by its own password: its form is the sign-in
  // page's, whose token the sign-in cookie repeats.
  bool signedInByPassword = false;
  // The signed-in user, whose tokens the tokens page shows, and the language
  // the user chose ("" for none).
  std::string user;
  std::string accountLanguage;
};
// Signs in and out, changes passwords; renders the sign-in or password page
// itself when the request may not go on, in the request's language. A
// request that goes on has said nothing yet: its messages are keys, and the
// entry speaks the language once it is chosen.
GateOutcome runSignInGate();

// True when the request says that anything but the interface's own pages
// started it: Sec-Fetch-Site other than "same-origin" or "none", or an Origin
// ("null" included) or Referer that is not the host and port of HTTP_HOST (a
// missing port stands for the scheme's default; host names compare without
// regard to case). A request without these headers is not cross-site.
bool crossSiteRequest();
// True for the methods that may act: GET and POST (and a run without
// REQUEST_METHOD, read as GET).
bool actingMethod();
