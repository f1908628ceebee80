#include "support/cgi_harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "support/cgi_accounts.h"

namespace {

constexpr const char* kFaketimeLib = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

void appendSignIn(std::string& text) {
  if (!text.empty() && text.back() != '&') text += '&';
  text += "login=admin&pass=";
  text += kTestPassword;
}

}  // namespace

CgiResponse runCgi(const CgiRequest& request) {
  CgiResponse response;
  std::string query = request.query.value_or("");
  std::string body = request.body;
  const std::string authDb = request.authDb.value_or(request.workDir + "/quibauth.db");
  if (request.signIn && access(authDb.c_str(), F_OK) != 0) createAccountDb(authDb);
  if (request.signIn) {
    if (request.method == "POST") {
      bool newline = !body.empty() && body.back() == '\n';
      if (newline) body.pop_back();
      appendSignIn(body);
      if (newline) body += '\n';
    } else {
      appendSignIn(query);
    }
  }

  std::vector<std::string> env;
  env.push_back("PATH=/usr/bin:/bin");
  env.push_back("TZ=" + request.tz);
  if (!request.method.empty()) env.push_back("REQUEST_METHOD=" + request.method);
  if (request.query || request.signIn) env.push_back("QUERY_STRING=" + query);
  if (request.contentLength) {
    env.push_back("CONTENT_LENGTH=" + *request.contentLength);
  } else if (request.method == "POST" && !request.omitContentLength) {
    env.push_back("CONTENT_LENGTH=" + std::to_string(body.size()));
  }
  if (request.cookie) env.push_back("HTTP_COOKIE=" + *request.cookie);
  if (request.remoteAddr) env.push_back("REMOTE_ADDR=" + *request.remoteAddr);
  env.push_back("quibauth=" + authDb);
  std::string asan = "ASAN_OPTIONS=detect_leaks=0";
  std::vector<std::string> emulator = splitList(SKEDRA_EMULATOR);
  if (request.fakeTime) {
    env.push_back("FAKETIME=" + *request.fakeTime);
    env.push_back("DONT_FAKE_MONOTONIC=1");
    asan += ":verify_asan_link_order=0";
    if (emulator.empty()) {
      env.push_back(std::string("LD_PRELOAD=") + kFaketimeLib);
    }
  }
  env.push_back(asan);
  env.push_back("UBSAN_OPTIONS=print_stacktrace=1");
  for (const auto& [name, value] : request.env) env.push_back(name + "=" + value);

  std::vector<std::string> argv = request.prefix;
  argv.insert(argv.end(), emulator.begin(), emulator.end());
  if (!emulator.empty() && request.fakeTime) {
    // The guest program loads the target's faketime library.
    const char* lib = std::getenv("SKEDRA_TARGET_FAKETIME_LIB");
    if (lib) {
      argv.push_back("-E");
      argv.push_back(std::string("LD_PRELOAD=") + lib);
    }
  }
  argv.push_back(SKEDRA_BINARY);
  if (request.timerDb) argv.push_back(*request.timerDb);

  // Close-on-exec, so that a program another thread starts meanwhile does
  // not hold this one's pipes open.
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return response;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!request.workDir.empty() && chdir(request.workDir.c_str()) != 0) _exit(126);
    std::vector<char*> args, envp;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  std::signal(SIGPIPE, SIG_IGN);

  // Feed the body and collect both outputs without blocking on either.
  size_t written = 0;
  // A stalled client: its end of standard input stays open, unwritten to.
  int held = -1;
  if (body.empty() || request.keepInputOpen) {
    if (request.keepInputOpen && !body.empty()) {
      ssize_t put = write(in[1], body.data(), body.size());
      (void)put;
    }
    if (request.keepInputOpen) {
      held = in[1];
    } else {
      close(in[1]);
    }
    in[1] = -1;
  }
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    struct pollfd fds[3];
    int n = 0;
    int outIndex = -1, errIndex = -1, inIndex = -1;
    if (outOpen) {
      fds[n] = {out[0], POLLIN, 0};
      outIndex = n++;
    }
    if (errOpen) {
      fds[n] = {err[0], POLLIN, 0};
      errIndex = n++;
    }
    if (in[1] >= 0) {
      fds[n] = {in[1], POLLOUT, 0};
      inIndex = n++;
    }
    if (poll(fds, n, 60000) <= 0) break;
    char buffer[8192];
    if (outIndex >= 0 && fds[outIndex].revents) {
      ssize_t got = read(out[0], buffer, sizeof buffer);
      if (got > 0)
        response.output.append(buffer, got);
      else
        outOpen = false;
    }
    if (errIndex >= 0 && fds[errIndex].revents) {
      ssize_t got = read(err[0], buffer, sizeof buffer);
      if (got > 0)
        response.errors.append(buffer, got);
      else
        errOpen = false;
    }
    if (inIndex >= 0 && fds[inIndex].revents) {
      ssize_t put = write(in[1], body.data() + written, body.size() - written);
      if (put > 0) written += put;
      if (put <= 0 || written == body.size()) {
        close(in[1]);
        in[1] = -1;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  if (held >= 0) close(held);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  response.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  size_t end = response.output.find("\n\n");
  if (end != std::string::npos) {
    response.header = response.output.substr(0, end + 1);
    response.body = response.output.substr(end + 2);
  } else {
    response.header = response.output;
  }
  if (!response.errors.empty()) {
    // Sanitizer reports and crashes show up here; keep them visible.
    std::fprintf(stderr, "skedra stderr:\n%s\n", response.errors.c_str());
  }
  return response;
}

std::vector<std::string> setCookieLines(const CgiResponse& response, bool signInToken) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < response.header.size()) {
    size_t end = response.header.find('\n', start);
    if (end == std::string::npos) end = response.header.size();
    std::string line = response.header.substr(start, end - start);
    const bool token = line.rfind("Set-Cookie: quibsignin=", 0) == 0;
    if (line.rfind("Set-Cookie: ", 0) == 0 && (signInToken || !token)) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}
