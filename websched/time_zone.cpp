// The recorder's time zone. The small C libraries of recorders read a POSIX
// rule from a file that the firmware keeps; the C library this program runs
// on may read only TZ and its own zone file, so the rule is handed to it
// through TZ before any local time is read.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "websched/websched.h"

void useRecorderTimeZone(const char* ruleFile) {
  if (std::getenv("TZ") == nullptr) {
    if (std::FILE* file = std::fopen(ruleFile, "r")) {
      std::string rule;
      for (int c = std::fgetc(file); c != EOF && c != '\n'; c = std::fgetc(file)) {
        rule += static_cast<char>(c);
      }
      std::fclose(file);
      while (!rule.empty() && (rule.back() == '\r' || rule.back() == ' ' || rule.back() == '\t')) {
        rule.pop_back();
      }
      if (!rule.empty()) setenv("TZ", rule.c_str(), 1);
    }
  }
  tzset();
}
