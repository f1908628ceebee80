// Runs the real skedra program as the web server would: CGI environment,
// request body on standard input, a timer database as argv[1], a working
// directory of its own. Captures the response and the exit status.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct CgiRequest {
  std::string method = "GET";        // REQUEST_METHOD ("" leaves it unset)
  std::optional<std::string> query;  // QUERY_STRING
  std::string body;                  // standard input
  // CONTENT_LENGTH; none sets the body's size for POST and nothing else.
  std::optional<std::string> contentLength;
  bool omitContentLength = false;     // POST without CONTENT_LENGTH
  bool keepInputOpen = false;         // standard input stays open after the body (a stalled client)
  std::optional<std::string> cookie;  // HTTP_COOKIE
  std::optional<std::string> remoteAddr;  // REMOTE_ADDR
  std::string workDir;                    // working directory (templates)
  std::optional<std::string> timerDb;     // argv[1]; none runs without argument
  std::optional<std::string> authDb;      // "quibauth"; default workDir/quibauth.db
  std::string tz = "UTC";                 // TZ
  // Pins the clock with faketime: "@2026-12-08 19:58:00" style (local to tz).
  std::optional<std::string> fakeTime;
  // Sign in as admin with kTestPassword within the request (login and pass
  // are appended to the query, or to the body line for POST); an account
  // database that does not exist yet is first made with that account.
  bool signIn = false;
  std::vector<std::pair<std::string, std::string>> env;  // further variables
  // Words run in front of the program, such as a tracer (absolute path first).
  std::vector<std::string> prefix;
};

struct CgiResponse {
  int exitStatus = -1;
  std::string output;  // all of standard output
  std::string header;  // up to the empty line that ends the header
  std::string body;    // after that empty line
  std::string errors;  // standard error
};

CgiResponse runCgi(const CgiRequest& request);

// The Set-Cookie lines of a response's header, in order; the sign-in page's
// token cookie ("quibsignin") only with signInToken.
std::vector<std::string> setCookieLines(const CgiResponse& response, bool signInToken = false);
