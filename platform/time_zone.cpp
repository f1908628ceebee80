// The recorder's time zone. The small C libraries of recorders read a POSIX
// rule from a file that the firmware keeps; the C library this program runs
// on may read only TZ and its own zone file, so the rule is handed to it
// through TZ before any local time is read. A recorder carries no zone files
// either: a zone name is read through the program's own table of names and
// rules, and the C library only ever gets a rule that this program has
// checked, so that every build reads the zone alike.
#include "platform/time_zone.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

// The zone used when the one found cannot be read.
constexpr const char* kFallbackRule = "UTC0";

std::optional<std::string>& unreadZone() {
  static std::optional<std::string> value;
  return value;
}

RecorderZone& zoneInUse() {
  static RecorderZone value;
  return value;
}

// The first line of the file, without its line end and trailing blanks; none
// when the file cannot be opened.
std::optional<std::string> readRuleFile(const char* ruleFile) {
  std::FILE* file = std::fopen(ruleFile, "r");
  if (file == nullptr) return std::nullopt;
  std::string rule;
  for (int c = std::fgetc(file); c != EOF && c != '\n'; c = std::fgetc(file)) {
    rule += static_cast<char>(c);
  }
  std::fclose(file);
  while (!rule.empty() && (rule.back() == '\r' || rule.back() == ' ' || rule.back() == '\t')) {
    rule.pop_back();
  }
  return rule;
}

}  // namespace

void useRecorderTimeZone(const char* ruleFile) {
  unreadZone().reset();
  zoneInUse() = RecorderZone{};
  std::optional<std::string> found;
  if (const char* tz = std::getenv("TZ")) {
    found = tz;
  } else {
    found = readRuleFile(ruleFile);
    // An empty rule file names no zone.
    if (found && found->empty()) found.reset();
  }
  if (found) {
    // A leading ':' marks a name for the C library to look up.
    std::string_view value = *found;
    if (!value.empty() && value.front() == ':') value.remove_prefix(1);
    std::string rule;
    if (std::optional<std::string_view> named = zoneRuleOf(value)) {
      rule = std::string(*named);
      zoneInUse().name = std::string(value);
    } else if (isZoneRule(value)) {
      rule = std::string(value);
    } else {
      unreadZone() = std::move(*found);
      rule = kFallbackRule;
    }
    setenv("TZ", rule.c_str(), 1);
    zoneInUse().rule = std::move(rule);
  }
  tzset();
}

const std::optional<std::string>& unreadableTimeZone() {
  return unreadZone();
}

const RecorderZone& recorderZone() {
  return zoneInUse();
}
