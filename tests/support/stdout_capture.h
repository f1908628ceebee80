// Collects what the code under test writes to standard output (the process's
// file descriptor 1, so printf, fwrite and nested expansions all land in it),
// together with the response it has collected in memory and not sent yet.
#pragma once

#include <string>

class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Everything written since construction; ends the capture.
  std::string finish();

 private:
  int saved_ = -1;
  int file_ = -1;
  std::string text_;
};

// Runs the callable and returns what it wrote to standard output.
template <typename Action>
std::string captureStdout(Action&& action) {
  StdoutCapture capture;
  action();
  return capture.finish();
}
