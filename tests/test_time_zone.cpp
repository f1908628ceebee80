// The recorder's time zone: TZ first, then the rule file, then the C
// library's default.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "support/firmware.h"
#include "support/test_env.h"
#include "websched/websched.h"

namespace {

// Seconds east of UTC at the instant in the zone now in effect.
long offsetAt(int64_t instant) {
  std::time_t value = instant;
  std::tm local{};
  localtime_r(&value, &local);
  return static_cast<long>(firmwareStartSeconds(local.tm_year + 1900, local.tm_mon + 1,
                                                local.tm_mday, local.tm_hour, local.tm_min) -
                           instant);
}

TEST(RecorderTimeZone, TzThenRuleFileThenLibraryDefault) {
  struct Case {
    const char* what;
    std::optional<std::string> tz;    // none: unset
    std::optional<std::string> file;  // none: no file
    std::optional<std::string> expectedTz;
    long winter, summer;  // offsets on 2027-01-15 and 2027-07-15, 12:00 UTC
  } cases[] = {
      {"rule file", std::nullopt, "CET-1CEST,M3.5.0,M10.5.0/3\n", "CET-1CEST,M3.5.0,M10.5.0/3",
       3600, 7200},
      {"first line only, line end trimmed", std::nullopt, "AEST-10AEDT,M10.1.0,M4.1.0/3\r\nUTC\n",
       "AEST-10AEDT,M10.1.0,M4.1.0/3", 39600, 36000},
      {"rule without line end", std::nullopt, "EST5EDT,M3.2.0,M11.1.0", "EST5EDT,M3.2.0,M11.1.0",
       -18000, -14400},
      {"TZ wins over the file", std::string("UTC"), "CET-1CEST,M3.5.0,M10.5.0/3\n", "UTC", 0, 0},
      {"empty file: library default", std::nullopt, "", std::nullopt, 0, 0},
      {"no file: library default", std::nullopt, std::nullopt, std::nullopt, 0, 0},
  };
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "UTC";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.file("TZ");
    if (c.file) writeFile(path, *c.file);
    if (c.tz) {
      setenv("TZ", c.tz->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    useRecorderTimeZone(path.c_str());
    const char* tz = std::getenv("TZ");
    EXPECT_EQ(tz ? std::optional<std::string>(tz) : std::nullopt, c.expectedTz);
    if (c.expectedTz) {
      EXPECT_EQ(offsetAt(firmwareStartSeconds(2027, 1, 15, 12, 0)), c.winter);
      EXPECT_EQ(offsetAt(firmwareStartSeconds(2027, 7, 15, 12, 0)), c.summer);
    }
  }
  useTimeZone(previous.c_str());
}

}  // namespace
