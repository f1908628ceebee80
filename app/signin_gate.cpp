// The sign-in gate: signs users in and out, changes passwords and decides
// whether a request may go on to the timer actions and the list screen.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include "app/form_token.h"

#include "app/gate.h"
#include "quib/quib.h"
#include "texts/catalogue.h"

namespace {

constexpr const char* kSignInPage = "login.shtml";
constexpr const char* kPasswordPage = "chpass.shtml";

// Only a sticky sign-in made on the device itself carries its session id in
// the page's own links; everywhere else the cookie alone carries it.
constexpr const char* kDeviceAddress = "127.0.0.1";

bool fromDevice() {
  const char* address = std::getenv("REMOTE_ADDR");
  return address && std::strcmp(address, kDeviceAddress) == 0;
}

// Writes the header with every queued cookie, then the page template with the
// variables "msg" (empty when there is no message), "formtoken" (a fresh
// one-time token for the page's forms) and "user" (the signed-in user's name,
// escaped; empty on the sign-in page).
void renderGatePage(const char* page, const std::optional<std::string>& message,
                    std::string_view user = {}) {
  // Drawn before the header: the sign-in page's token goes out in a cookie.
  const std::string token = quibNewFormToken().value_or("");
  quibPrintHttpHeader();
  const std::string userText = quibHtmlEscape(user);
  TemplateContext context;
  context.elements = strelem("user", userText, nullptr);
  context.elements = strelem("formtoken", token, std::move(context.elements));
  context.elements =
      strelem("msg", message ? std::string_view(*message) : "", std::move(context.elements));
  context.directives = 1;
  context.processor = nullptr;
  readTextFile(page, &context, printSimpleText);
  disposeElems(std::move(context.elements));
}

// The id of the session that the request uses, picked as the session lookup
// picks it: the cookie's, else the "quibsession" parameter of the page's own
// links; none when the request names no session.
std::optional<std::string> requestSessionId() {
  if (std::optional<std::string> id = quibGetSessionCookie()) return id;
  if (ParamValue param = getParam(quibSessionCookieName)) return std::string(*param);
  return std::nullopt;
}

// Carries out a password change for user; returns the message it ends with.
Text changePassword(const std::string& user, std::string_view newPassword2) {
  ParamValue newPassword1 = getParam("newpass1");
  // An empty password is no password: refused like two that differ.
  if (!newPassword1 || *newPassword1 != newPassword2 || newPassword2.empty()) {
    return Text::kPasswordMismatch;
  }
  if (newPassword1->size() > kQuibMaxPasswordBytes) return Text::kPasswordTooLong;
  ParamValue oldPassword = getParam("oldpass");
  if (!oldPassword) return Text::kInvalidOldPassword;
  if (quibChangePass(user, *oldPassword, *newPassword1) == 0) return Text::kInvalidOldPassword;
  return Text::kPasswordChanged;
}

// The page text of a password change's result.
std::string changeMessage(Text result) {
  if (result == Text::kPasswordTooLong) {
    return textWith(result, {std::to_string(kQuibMaxPasswordBytes)});
  }
  return std::string(textOf(result));
}

}  // namespace

GateOutcome runSignInGate() {
  GateOutcome outcome;
  // A request that another site started counts as a plain one: it signs
  // nobody in or out and changes no password (and the entry leaves its timer
  // action undone). So does one whose method does not act, or one with more
  // pairs than were read.
  if (crossSiteRequest()) {
    outcome.refusal = textOf(Text::kFormRefused);
  } else if (!actingMethod()) {
    outcome.refusal = textOf(Text::kMethodActsOnNothing);
  } else if (quibTooManyParams()) {
    outcome.refusal = textOf(Text::kTooManyValues);
  }
  outcome.crossSite = !outcome.refusal.empty();
  const bool plain = outcome.crossSite;
  // A value of "pass", even an empty one, asks for a sign-in; as long as it
  // counts, the request signs itself in.
  ParamValue password = plain ? std::nullopt : getParam("pass");
  const bool signOut = !plain && isParam("logout") != 0;
  // The user name that this request's own password has just verified.
  std::optional<std::string> verifiedLogin;

  if (signOut) {
    // Sign-out ends the session that the request uses, whether the cookie
    // or the page's own links carry it; the password no longer counts.
    if (std::optional<std::string> id = requestSessionId()) {
      quibExpireSession(*id);
      outcome.message = std::string(textOf(Text::kLoggedOut));
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
      outcome.message = std::string(
          textOf(verdict == kQuibSignInLocked ? Text::kSignInLocked : Text::kInvalidLogin));
    } else {
      ParamValue sticky = getParam("sticky");
      const int stickyFlag = sticky && *sticky == "on" ? 1 : 0;
      std::string id = quibCreateSession(*login, stickyFlag);
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
      renderGatePage(kSignInPage, outcome.message);
      return outcome;
    }
  }

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
      result = changePassword(*user, *newPassword2);
      if (result == Text::kPasswordChanged) {
        commitFormToken();
      } else {
        releaseFormToken();
      }
    }
    outcome.message = changeMessage(result);
    if (result == Text::kPasswordChanged) changeOpen = false;
  }
  if (changeOpen && outcome.message) {
    renderGatePage(kPasswordPage, outcome.message, *user);
    return outcome;
  }
  // Whoever signs in with the initial password, which everybody knows,
  // replaces it before anything else: until then every request of the
  // session gets the password page.
  if (quibUsesInitialPassword(*user)) {
    renderGatePage(kPasswordPage, std::string(textOf(Text::kChooseNewPassword)), *user);
    return outcome;
  }
  if (!plain && isParam("chpass")) {
    renderGatePage(kPasswordPage, outcome.message, *user);
    return outcome;
  }
  user.reset();
  outcome.letThrough = true;
  return outcome;
}
