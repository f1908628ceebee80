// The sign-in gate: signs users in and out, changes passwords and decides
// whether a request may go on to the timer actions and the list screen.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include "app/form_token.h"

#include "app/gate.h"
#include "app/language.h"
#include "model/password_rules.h"
#include "quib/quib.h"
#include "texts/catalogue.h"
#include "views/html/gate_pages.h"

namespace {

// Only a sticky sign-in made on the device itself carries its session id in
// the page's own links; everywhere else the cookie alone carries it.
constexpr const char* kDeviceAddress = "127.0.0.1";

bool fromDevice() {
  const char* address = std::getenv("REMOTE_ADDR");
  return address && std::strcmp(address, kDeviceAddress) == 0;
}

// A message of the gate: its key (which tells the page its box and field)
// and its page text.
struct GateMessage {
  Text key;
  std::string text;
};

GateMessage gateMessage(Text key) {
  if (key == Text::kPasswordTooLong) {
    return {key, textWith(key, {std::to_string(kQuibMaxPasswordBytes)})};
  }
  if (key == Text::kPasswordTooShort) {
    return {key, textWith(key, {std::to_string(kMinPasswordCharacters)})};
  }
  return {key, std::string(textOf(key))};
}

// Writes the sign-in page or the password page with the message (if any),
// in the language already spoken.
void renderGatePage(GatePage page, std::optional<Text> key) {
  // Drawn before the header: the sign-in page's token goes out in a cookie.
  const std::string token = quibNewFormToken().value_or("");
  page.formToken = token;
  page.languageChoice = languageChoice();
  std::optional<GateMessage> message;
  if (key) message = gateMessage(*key);
  if (message) {
    page.message = message->key;
    page.messageText = message->text;
  }
  displayGatePage(page);
}

// The sign-in page speaks the language that its own form has just chosen,
// which only the cookie keeps (nobody is signed in), else the cookie's or the
// browser's. A plain request chooses nothing.
void speakSignInLanguage(bool plain) {
  std::optional<std::string> chosen;
  if (!plain && isParam("setlanguage")) {
    chosen = requestedLanguage();
    if (chosen) setLanguageCookie(*chosen);
  }
  speakRequestLanguage(chosen, "");
}

// The id of the session that the request uses, picked as the session lookup
// picks it: the cookie's, else the "quibsession" parameter of the page's own
// links; none when the request names no session.
std::optional<std::string> requestSessionId() {
  if (std::optional<std::string> id = quibGetSessionCookie()) return id;
  if (ParamValue param = getParam(quibSessionCookieName)) return std::string(*param);
  return std::nullopt;
}

// Why the new password may not replace the one of user, or none. The rules
// read the texts as typed, not as the form encodes them.
std::optional<Text> newPasswordRefusal(const std::string& user, std::string_view newPassword) {
  const std::string typed = quibUrlDecode(newPassword);
  if (quibIsInitialPassword(user, typed)) return Text::kPasswordIsInitial;
  switch (checkNewPassword(typed, quibUrlDecode(user))) {
    case PasswordRefusal::kTooShort:
      return Text::kPasswordTooShort;
    case PasswordRefusal::kCommon:
      return Text::kPasswordTooCommon;
    case PasswordRefusal::kUserName:
      return Text::kPasswordIsUserName;
    case PasswordRefusal::kNone:
      break;
  }
  return std::nullopt;
}

// Carries out a password change for user; returns the message it ends with.
// With a sign-in proof the current password is not asked for again.
Text changePassword(const std::string& user, std::string_view newPassword2,
                    std::string_view signInProof) {
  ParamValue newPassword1 = getParam("newpass1");
  // An empty password is no password: refused like two that differ.
  if (!newPassword1 || *newPassword1 != newPassword2 || newPassword2.empty()) {
    return Text::kPasswordMismatch;
  }
  if (newPassword1->size() > kQuibMaxPasswordBytes) return Text::kPasswordTooLong;
  if (std::optional<Text> refusal = newPasswordRefusal(user, *newPassword1)) return *refusal;
  ParamValue oldPassword = getParam("oldpass");
  if (!oldPassword && !signInProof.empty()) {
    return quibReplaceInitialPass(user, signInProof, *newPassword1) != 0
               ? Text::kPasswordChanged
               : Text::kInvalidOldPassword;
  }
  if (!oldPassword) return Text::kInvalidOldPassword;
  if (quibChangePass(user, *oldPassword, *newPassword1) == 0) return Text::kInvalidOldPassword;
  return Text::kPasswordChanged;
}

}  // namespace

GateOutcome runSignInGate() {
  GateOutcome outcome;
  // A request that another site started counts as a plain one: it signs
  // nobody in or out and changes no password (and the entry leaves its timer
  // action undone). So does one whose method does not act, or one with more
  // pairs than were read.
  if (crossSiteRequest()) {
    outcome.refusal = Text::kFormRefused;
  } else if (!actingMethod()) {
    outcome.refusal = Text::kMethodActsOnNothing;
  } else if (quibTooManyParams()) {
    outcome.refusal = Text::kTooManyValues;
  }
  outcome.crossSite = outcome.refusal.has_value();
  const bool plain = outcome.crossSite;
  std::optional<Text> message;
  // A value of "pass", even an empty one, asks for a sign-in; as long as it
  // counts, the request signs itself in.
  ParamValue password = plain ? std::nullopt : getParam("pass");
  const bool signOut = !plain && isParam("logout") != 0;
  // The user name that this request's own password has just verified.
  std::optional<std::string> verifiedLogin;
  // The proof that the session's user has just typed the initial password:
  // drawn by a sign-in with it, else brought back by the password page's form
  // ("" when there is none).
  std::string signInProof;

  if (signOut) {
    // Sign-out ends the session that the request uses, whether the cookie
    // or the page's own links carry it; the password no longer counts.
    if (std::optional<std::string> id = requestSessionId()) {
      quibExpireSession(*id);
      message = Text::kLoggedOut;
    }
    password.reset();
  } else if (password) {
    // The browser's session ends before every sign-in attempt; a session
    // named only by the request parameter stays.
    if (std::optional<std::string> id = quibGetSessionCookie()) quibExpireSession(*id);
    ParamValue login = getParam("login");
    const int verdict = login ? quibVerifyUserPass(*login, *password) : kQuibSignInInvalid;
    if (verdict != kQuibSignInValid) {
      password.reset();
      message = verdict == kQuibSignInLocked ? Text::kSignInLocked : Text::kInvalidLogin;
    } else {
      ParamValue sticky = getParam("sticky");
      const int stickyFlag = sticky && *sticky == "on" ? 1 : 0;
      // A sign-in with the initial password goes on to the password page,
      // which then need not ask for the password just typed.
      const bool initial = quibIsInitialPassword(*login, *password) != 0;
      std::string id = quibCreateSession(*login, stickyFlag, initial ? &signInProof : nullptr);
      if (stickyFlag && fromDevice()) outcome.sessionId = std::move(id);
      verifiedLogin = std::string(*login);
      outcome.signedInByPassword = true;
    }
  }

  std::optional<std::string> user;
  if (password) {
    // Signed in by this request's password: no session lookup.
    user = std::move(verifiedLogin);
  } else {
    user = quibGetAuthUser();
    if (!user) {
      speakSignInLanguage(plain);
      renderGatePage(GatePage{}, message);
      return outcome;
    }
  }
  // Read with the session, or on its own for a password sign-in.
  outcome.accountLanguage = quibAccountLanguage(*user).value_or("");

  // Whoever signs in with the initial password, which everybody knows,
  // replaces it before anything else: until then every request of the
  // session gets the password page.
  bool initialPassword = quibUsesInitialPassword(*user) != 0;
  if (!initialPassword) {
    signInProof.clear();
  } else if (signInProof.empty() && !plain) {
    ParamValue proof = getParam("signinproof");
    if (proof && quibSignInProofValid(*proof)) signInProof = std::string(*proof);
  }
  GatePage passwordPage;
  passwordPage.kind = GatePageKind::kPassword;
  passwordPage.user = *user;

  // A value of "newpass2", even an empty one, asks for a password change.
  ParamValue newPassword2 = plain ? std::nullopt : getParam("newpass2");
  bool changeOpen = newPassword2.has_value();
  if (changeOpen) {
    // Only the password page's own form changes the password (or, in the
    // request that signs in, the sign-in page's); sent a second time (a
    // reload) it changes nothing. A change that is not made leaves the token
    // usable.
    Text result;
    if (!formTokenValid(outcome.signedInByPassword)) {
      result = Text::kFormRefused;
    } else if (!claimFormToken()) {
      result = Text::kFormAlreadySent;
    } else {
      result = changePassword(*user, *newPassword2, signInProof);
      if (result == Text::kPasswordChanged) {
        commitFormToken();
      } else {
        releaseFormToken();
      }
    }
    message = result;
    if (result == Text::kPasswordChanged) {
      changeOpen = false;
      initialPassword = false;
      signInProof.clear();
    }
  }
  // The list would show the password page again while the initial password
  // stays: that page has no way back to it.
  passwordPage.backToTimers = !initialPassword;
  passwordPage.asksCurrentPassword = signInProof.empty();
  passwordPage.signInProof = signInProof;
  const bool drawsPasswordPage =
      (changeOpen && message) || initialPassword || (!plain && isParam("chpass"));
  if (drawsPasswordPage) speakRequestLanguage(std::nullopt, outcome.accountLanguage);
  if (changeOpen && message) {
    renderGatePage(passwordPage, message);
    return outcome;
  }
  if (initialPassword) {
    renderGatePage(passwordPage, Text::kChooseNewPassword);
    return outcome;
  }
  if (!plain && isParam("chpass")) {
    renderGatePage(passwordPage, message);
    return outcome;
  }
  outcome.message = message;
  outcome.user = std::move(*user);
  user.reset();
  outcome.letThrough = true;
  return outcome;
}
