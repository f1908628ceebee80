// Account-database helpers of the end-to-end CGI tests: the account schema
// and sessions arranged directly, session ids read back from responses, and
// templates that show exactly the variables a test looks at.
#pragma once

#include <string>

#include "support/cgi_harness.h"

// The password of the tests' account "admin": not the initial one, which
// the program makes the user replace before anything else.
extern const char* const kTestPassword;

// The exact account schema, as the program itself creates it on first use,
// with the account admin whose password is password (the initial "482" for a
// database as the program creates it).
void createAccountDb(const std::string& path, const std::string& password = kTestPassword);

// Adds a session row for login, last used idleSeconds ago.
void addSession(const std::string& authDb, const std::string& id, const std::string& login,
                bool sticky, long long idleSeconds = 0);

// The session id of a "Set-Cookie: quibsession=ID..." line; "" for any other
// line.
std::string sessionIdOfCookieLine(const std::string& line);
// The id of the first new session cookie of a response (not the removal
// line), or "".
std::string newSessionId(const CgiResponse& response);

// Pages of one line each that show only the variables the tests look at:
//   login.shtml  -> LOGIN[msg]formtoken|msgError|msgNotice
//   chpass.shtml -> CHPASS[msg]formtoken|msgError|msgNotice|old|back|signinproof
//                   ("old", "back": the includes chpassold and chpassback)
//   skedra.shtml -> LIST[msg]|selfUrl|buttonVar|buttonVal|formTitle|notice|formtoken|
//                   pageTitle
void writeProbeTemplates(const std::string& dir);

// Gives request the form token of the page that its cookie gets (a GET
// without parameters, drawn for its session, or the sign-in page's with the
// sign-in cookie, which is added to the request's cookies), as a browser
// sends the page's form: "formtoken" is appended to the query (put first in
// the body for POST).
void addPageToken(CgiRequest& request);

// Runs request as a browser sends a form of the page: when it names an
// action and carries no "formtoken", the page's token is added first.
CgiResponse runFromPage(CgiRequest request);

// What a probe page showed: its name and its fields.
struct ProbePage {
  std::string page;  // "LOGIN", "CHPASS", "LIST" or "" for anything else
  std::string msg;
  std::string selfUrl, buttonVar, buttonVal, formTitle;  // LIST only
  std::string formToken;                                 // every page
  std::string notice, pageTitle;                         // LIST only
  // LOGIN and CHPASS: the box of the message ("alert", "status", or "" when
  // there is none or it is not in exactly one box), the password page's parts.
  std::string box;
  bool asksOldPassword = false, backToTimers = false;
  std::string signInProof;
};
ProbePage probePage(const CgiResponse& response);

// True for a new session cookie line exactly as the program writes it:
// "Set-Cookie: quibsession=X-X-X; HttpOnly; SameSite=Strict" (X 1 to 8
// lowercase hexadecimal digits), followed for a sticky session by
// "; expires=Day, D-Mon-YYYY HH:MM:SS GMT" and for a plain one by nothing.
bool isSessionCookieLine(const std::string& line, bool sticky);

// The line that makes the browser delete the session cookie.
extern const char* const kSessionRemovalLine;
