// One whole request through the program's entry, in process, against scratch
// databases that are put back before every run. The input is a request:
// lines "NAME=value" for the CGI variables below, an empty line, the body.
// The account "admin" has the password "fuzz"; with the line
// "ACCOUNTS=initial" it still has the initial one, "482". "@SID@" anywhere
// stands for a valid session of "admin", "@TOKEN@" for a form token drawn for
// that session. The response goes to /dev/null.
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "quib/quib.h"
#include "skedra_paths.h"
#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "tests/fuzz/fuzz_support.h"

// The program's entry, built into this target under this name.
int skedraMain(int argc, char** argv);

namespace {

// The variables a request may set; any other line is ignored, so that no
// input can point the program at files outside the scratch folder.
constexpr std::array<const char*, 16> kRequestVariables = {
    "REQUEST_METHOD", "QUERY_STRING",  "CONTENT_LENGTH", "HTTP_COOKIE",
    "HTTP_HOST",      "HTTP_ORIGIN",   "HTTP_REFERER",   "HTTP_SEC_FETCH_SITE",
    "REMOTE_ADDR",    "SERVER_NAME",   "PATH_INFO",      "SCRIPT_NAME",
    "CONTENT_TYPE",   "HTTP_IF_MATCH", "HTTP_X_API_KEY", "HTTP_AUTHORIZATION"};
constexpr std::string_view kSessionMark = "@SID@";
constexpr std::string_view kTokenMark = "@TOKEN@";
// Standard input is a pipe filled before the run: the body must fit.
constexpr size_t kMaxBody = 60000;
// An announced body above this ends the process by design (an error page).
constexpr size_t kMaxAnnounced = 65536;

std::string timerDbPath;
std::string authDbPath;
std::string timerDbBytes;
constexpr std::string_view kInitialAccounts = "ACCOUNTS=initial";

// An account database as the program leaves it, with a lasting session.
struct Accounts {
  std::string bytes;
  std::string sessionId;
  std::string formToken;
};
Accounts initialAccounts;
Accounts changedAccounts;
// The environment entries of the request's variables.
std::array<std::string, kRequestVariables.size()> variableStorage;

// The index of a request variable, or none.
std::optional<size_t> requestVariable(std::string_view name) {
  for (size_t i = 0; i < kRequestVariables.size(); ++i) {
    if (name == kRequestVariables[i]) return i;
  }
  return std::nullopt;
}

// True when CONTENT_LENGTH is a number above the limit (the program refuses
// the request and exits).
bool announcesTooMuch(const char* length) {
  if (length == nullptr || *length == '\0') return false;
  size_t value = 0;
  for (const char* c = length; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    if (value <= kMaxAnnounced) value = value * 10 + static_cast<size_t>(*c - '0');
  }
  return value > kMaxAnnounced;
}

void copyTemplates() {
  const std::string www = SKEDRA_SOURCE_DIR "/www";
  DIR* dir = opendir(www.c_str());
  fuzzCheck(dir != nullptr, "open www/");
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    fuzzWriteFile(fuzzScratchFile(entry->d_name), fuzzReadFile(www + "/" + entry->d_name));
  }
  closedir(dir);
}

// Ends what a run leaves open; the program's entry closes its databases
// only on its main path.
void endRun() {
  if (web_sched_db != nullptr) sqlite3_close(web_sched_db);
  web_sched_db = nullptr;
  quibClose();
  webschedSettingsPtr = nullptr;
  quibSendResponse();
}

// Makes body the content of standard input.
void feedStandardInput(std::string_view body) {
  int ends[2];
  fuzzCheck(pipe(ends) == 0, "pipe for standard input");
  fuzzCheck(write(ends[1], body.data(), body.size()) == static_cast<ssize_t>(body.size()),
            "fill standard input");
  close(ends[1]);
  fuzzCheck(dup2(ends[0], STDIN_FILENO) == STDIN_FILENO, "standard input from the pipe");
  close(ends[0]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::freopen("/dev/null", "w", stdout);
  setenv("TZ", "UTC", 1);
  timerDbPath = fuzzScratchFile("timer.db");
  authDbPath = fuzzScratchFile("quibauth.db");
  setenv("quibauth", authDbPath.c_str(), 1);
  copyTemplates();
  // The build's own firmware folder, when it has one, gets a channel list.
  if (access(RECORDER_ETC_DIR, W_OK) == 0) {
    fuzzWriteFile(LINEUP_PLAIN_PATH, "One|1|1\nTwo|2|12\nThree|3|3\n");
  }

  fuzzCreateTimerDb(timerDbPath);
  timerDbBytes = fuzzReadFile(timerDbPath);
  // The account database as the program makes it, then with the initial
  // password replaced.
  std::remove(authDbPath.c_str());
  fuzzCheck(quibVerifyUserPass("admin", "482") == 1, "the initial account");
  initialAccounts.sessionId = quibCreateSession("admin", 1);
  initialAccounts.formToken = quibNewFormToken().value_or("");
  endRun();
  initialAccounts.bytes = fuzzReadFile(authDbPath);
  fuzzCheck(quibChangePass("admin", "482", "fuzz") == 1, "change the initial password");
  changedAccounts.sessionId = quibCreateSession("admin", 1);
  changedAccounts.formToken = quibNewFormToken().value_or("");
  endRun();
  changedAccounts.bytes = fuzzReadFile(authDbPath);
  fuzzCheck(!timerDbBytes.empty() && !initialAccounts.bytes.empty(), "scratch databases");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  const Accounts& accounts =
      input.find(kInitialAccounts) != std::string::npos ? initialAccounts : changedAccounts;
  for (size_t at = input.find(kSessionMark); at != std::string::npos;
       at = input.find(kSessionMark, at + accounts.sessionId.size())) {
    input.replace(at, kSessionMark.size(), accounts.sessionId);
  }
  for (size_t at = input.find(kTokenMark); at != std::string::npos;
       at = input.find(kTokenMark, at + accounts.formToken.size())) {
    input.replace(at, kTokenMark.size(), accounts.formToken);
  }
  const size_t headEnd = std::min(input.find("\n\n"), input.size());
  const std::string_view head = std::string_view(input).substr(0, headEnd);
  std::string_view body = std::string_view(input).substr(std::min(headEnd + 2, input.size()));
  body = body.substr(0, kMaxBody);

  for (const char* variable : kRequestVariables) unsetenv(variable);
  std::string_view rest = head;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    const size_t equals = line.find('=');
    const std::string_view name = line.substr(0, std::min(equals, line.size()));
    const std::optional<size_t> variable = requestVariable(name);
    if (equals == std::string_view::npos || !variable) continue;
    fuzzPutEnv(variableStorage[*variable], name, line.substr(equals + 1));
  }
  const char* method = std::getenv("REQUEST_METHOD");
  const bool sendsBody =
      method != nullptr && (std::strcmp(method, "POST") == 0 || std::strcmp(method, "PUT") == 0);
  if (sendsBody && !std::getenv("CONTENT_LENGTH")) {
    fuzzPutEnv(variableStorage[*requestVariable("CONTENT_LENGTH")], "CONTENT_LENGTH",
               std::to_string(body.size()));
  }
  if (announcesTooMuch(std::getenv("CONTENT_LENGTH"))) return 0;

  fuzzWriteFile(timerDbPath, timerDbBytes);
  fuzzWriteFile(authDbPath, accounts.bytes);
  feedStandardInput(body);
  // The program reads its templates from the working directory.
  const int callerDir = open(".", O_RDONLY | O_DIRECTORY);
  fuzzCheck(callerDir >= 0 && chdir(fuzzScratchDir().c_str()) == 0, "work in the scratch folder");
  char program[] = "skedra.cgi";
  char timerDb[] = "timer.db";
  char* argv[] = {program, timerDb, nullptr};
  skedraMain(2, argv);
  endRun();
  fuzzCheck(fchdir(callerDir) == 0 && close(callerDir) == 0, "back to the caller's folder");
  return 0;
}
