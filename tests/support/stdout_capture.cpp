#include "support/stdout_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "quib/quib.h"

StdoutCapture::StdoutCapture() {
  std::fflush(stdout);
  char path[] = "/tmp/skedra-stdout-XXXXXX";
  file_ = mkstemp(path);
  if (file_ < 0) {
    ADD_FAILURE() << "mkstemp failed";
    return;
  }
  unlink(path);
  saved_ = dup(STDOUT_FILENO);
  dup2(file_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
  finish();
}

std::string StdoutCapture::finish() {
  if (saved_ < 0) return text_;
  // The code under test writes its response into memory; what it wrote so
  // far is what it would send.
  quibSendResponse();
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
  saved_ = -1;
  lseek(file_, 0, SEEK_SET);
  char buffer[8192];
  ssize_t got;
  while ((got = read(file_, buffer, sizeof buffer)) > 0) text_.append(buffer, got);
  close(file_);
  file_ = -1;
  return text_;
}
