#include "support/cgi_accounts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <optional>

#include "quib/quib.h"
#include "support/test_env.h"

namespace {

constexpr const char* kCookiePrefix = "Set-Cookie: quibsession=";

bool startsWith(const std::string& text, size_t at, const char* prefix) {
  return text.compare(at, std::strlen(prefix), prefix) == 0;
}

// Advances at over count characters that all pass test; false otherwise.
bool skip(const std::string& text, size_t& at, size_t count, int (*test)(int)) {
  for (size_t i = 0; i < count; ++i, ++at) {
    if (at >= text.size() || !test(static_cast<unsigned char>(text[at]))) return false;
  }
  return true;
}

bool skipText(const std::string& text, size_t& at, const char* literal) {
  if (!startsWith(text, at, literal)) return false;
  at += std::strlen(literal);
  return true;
}

// Advances at over one of the names of the list (each three letters).
bool skipName(const std::string& text, size_t& at, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (skipText(text, at, name)) return true;
  }
  return false;
}

int isLowerHex(int c) {
  return std::isdigit(c) || (c >= 'a' && c <= 'f');
}

// A part of a session id: 1 to 8 lowercase hexadecimal digits.
bool skipIdPart(const std::string& text, size_t& at) {
  size_t start = at;
  while (at < text.size() && isLowerHex(static_cast<unsigned char>(text[at]))) ++at;
  return at > start && at - start <= 8;
}

// Splits text at separator.
std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

const char* const kSessionRemovalLine =
    "Set-Cookie: quibsession=0; expires=Thu, 1-Jan-1970 00:00:00 GMT";

const char* const kTestPassword = "tv-04821";

void createAccountDb(const std::string& path, const std::string& password) {
  TestDb db(path);
  db.exec(
      "create table sessions (id text primary key, login text, created_time int, access_time "
      "int, sticky int, attrs text)");
  db.exec(
      "create table users (login text primary key, pass text, created_time int, login_time int, "
      "passchange_time int, first_name text, surname text)");
  std::optional<std::string> pass = hashPassword("admin", password);
  ASSERT_TRUE(pass);
  db.exec("insert into users (login, pass, created_time) values ('admin', '" + *pass +
          "', strftime('%s', 'now'))");
}

void addSession(const std::string& authDb, const std::string& id, const std::string& login,
                bool sticky, long long idleSeconds) {
  TestDb db(authDb);
  db.exec("insert into sessions (id, login, created_time, access_time, sticky) values ('" + id +
          "', '" + login + "', strftime('%s', 'now') - " + std::to_string(idleSeconds) +
          ", strftime('%s', 'now') - " + std::to_string(idleSeconds) + ", " + (sticky ? "1" : "0") +
          ")");
}

std::string sessionIdOfCookieLine(const std::string& line) {
  if (!startsWith(line, 0, kCookiePrefix)) return "";
  size_t start = std::strlen(kCookiePrefix);
  return line.substr(start, line.find(';', start) - start);
}

std::string newSessionId(const CgiResponse& response) {
  for (const std::string& line : setCookieLines(response, true)) {
    if (line == kSessionRemovalLine) continue;
    std::string id = sessionIdOfCookieLine(line);
    if (!id.empty()) return id;
  }
  return "";
}

bool isSessionCookieLine(const std::string& line, bool sticky) {
  size_t at = 0;
  if (!skipText(line, at, kCookiePrefix)) return false;
  if (!skipIdPart(line, at) || !skipText(line, at, "-") || !skipIdPart(line, at) ||
      !skipText(line, at, "-") || !skipIdPart(line, at)) {
    return false;
  }
  if (!skipText(line, at, "; HttpOnly; SameSite=Strict")) return false;
  if (!sticky) return at == line.size();
  if (!skipText(line, at, "; expires=")) return false;
  if (!skipName(line, at, {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})) return false;
  if (!skipText(line, at, ", ") || !skip(line, at, 1, isdigit)) return false;
  if (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
  if (!skipText(line, at, "-")) return false;
  if (!skipName(
          line, at,
          {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"})) {
    return false;
  }
  return skipText(line, at, "-") && skip(line, at, 4, isdigit) && skipText(line, at, " ") &&
         skip(line, at, 2, isdigit) && skipText(line, at, ":") && skip(line, at, 2, isdigit) &&
         skipText(line, at, ":") && skip(line, at, 2, isdigit) && skipText(line, at, " GMT") &&
         at == line.size();
}

void writeProbeTemplates(const std::string& dir) {
  writeFile(dir + "/login.shtml",
            "LOGIN[<!--%quib var=\"msg\" %-->]<!--%quib var=\"formtoken\" %-->|"
            "<!--%quib var=\"msgError\" %-->|<!--%quib var=\"msgNotice\" %-->\n");
  writeFile(dir + "/chpass.shtml",
            "CHPASS[<!--%quib var=\"msg\" %-->]<!--%quib var=\"formtoken\" %-->|"
            "<!--%quib var=\"msgError\" %-->|<!--%quib var=\"msgNotice\" %-->|"
            "<!--%quib include=\"chpassold.inc.shtml\" %-->|"
            "<!--%quib include=\"chpassback.inc.shtml\" %-->|<!--%quib var=\"signinproof\" %-->\n");
  writeFile(dir + "/chpassold.inc.shtml", "old");
  writeFile(dir + "/chpassback.inc.shtml", "back");
  writeFile(dir + "/skedra.shtml",
            "LIST[<!--%quib var=\"msg\" %-->]|<!--%quib var=\"selfUrl\" %-->|"
            "<!--%quib var=\"buttonVar\" %-->|<!--%quib var=\"buttonVal\" %-->|"
            "<!--%quib var=\"formTitle\" %-->|<!--%quib var=\"notice\" %-->|"
            "<!--%quib var=\"formtoken\" %-->|<!--%quib var=\"pageTitle\" %-->\n");
}

ProbePage probePage(const CgiResponse& response) {
  ProbePage page;
  const std::string& body = response.body;
  if (body.size() < 2 || body.back() != '\n' || body.find('\n') != body.size() - 1) return page;
  std::string line = body.substr(0, body.size() - 1);
  for (const char* name : {"LOGIN", "CHPASS"}) {
    std::string open = std::string(name) + "[";
    const size_t close = line.rfind(']');
    if (line.rfind(open, 0) == 0 && close != std::string::npos && close >= open.size()) {
      page.page = name;
      page.msg = line.substr(open.size(), close - open.size());
      std::vector<std::string> fields = split(line.substr(close + 1), '|');
      fields.resize(6);
      page.formToken = fields[0];
      // The box: the one that holds the message, the other one empty.
      if (fields[1] + fields[2] == page.msg && !page.msg.empty()) {
        page.box = fields[1].empty() ? "status" : "alert";
      }
      page.asksOldPassword = fields[3] == "old";
      page.backToTimers = fields[4] == "back";
      page.signInProof = fields[5];
      return page;
    }
  }
  if (line.rfind("LIST[", 0) != 0) return page;
  std::vector<std::string> fields = split(line.substr(5), '|');
  if (fields.size() != 8 || fields[0].empty() || fields[0].back() != ']') return page;
  page.page = "LIST";
  page.msg = fields[0].substr(0, fields[0].size() - 1);
  page.selfUrl = fields[1];
  page.buttonVar = fields[2];
  page.buttonVal = fields[3];
  page.formTitle = fields[4];
  page.notice = fields[5];
  page.formToken = fields[6];
  page.pageTitle = fields[7];
  return page;
}

void addPageToken(CgiRequest& request) {
  // The account that the request signs in to exists before its page is drawn.
  const std::string authDb = request.authDb.value_or(request.workDir + "/quibauth.db");
  if (request.signIn && access(authDb.c_str(), F_OK) != 0) createAccountDb(authDb);
  CgiRequest view = request;
  view.method = "GET";
  view.query = "";
  view.body.clear();
  view.contentLength.reset();
  view.signIn = false;
  const CgiResponse response = runCgi(view);
  std::string token = probePage(response).formToken;
  const std::string field = "name=\"formtoken\" value=\"";
  if (const size_t at = response.body.find(field); token.empty() && at != std::string::npos) {
    const size_t start = at + field.size();
    token = response.body.substr(start, response.body.find('"', start) - start);
  }
  for (const std::string& line : setCookieLines(response, true)) {
    const std::string cookie = "Set-Cookie: quibsignin=";
    if (line.rfind(cookie, 0) != 0) continue;
    const std::string value = line.substr(cookie.size(), line.find(';') - cookie.size());
    request.cookie =
        (request.cookie ? *request.cookie + "; " : std::string()) + "quibsignin=" + value;
  }
  // First in the body, so that the body's own end (a line end) stays last.
  if (request.method == "POST") {
    request.body = "formtoken=" + token + (request.body.empty() ? "" : "&") + request.body;
  } else {
    std::string& query = request.query.emplace(request.query.value_or(""));
    query += (query.empty() ? "formtoken=" : "&formtoken=") + token;
  }
}

CgiResponse runFromPage(CgiRequest request) {
  const std::string& text = request.method == "POST" ? request.body : request.query.value_or("");
  bool acts = false;
  bool hasToken = false;
  for (const std::string& pair : split(text, '&')) {
    const std::string name = pair.substr(0, pair.find('='));
    hasToken = hasToken || name == "formtoken";
    for (const char* action :
         {"delete", "enable", "disable", "clone", "create", "update", "savedefonly", "reinit",
          "newpass2", "newtoken", "revoketoken", "rotatefeed", "setlanguage"}) {
      acts = acts || name == action;
    }
  }
  if (acts && !hasToken) addPageToken(request);
  return runCgi(request);
}
