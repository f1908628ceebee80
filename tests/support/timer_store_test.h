// Fixture for direct tests of the timer store: a fresh firmware timer database
// opened into web_sched_db, and no cached padding defaults (the cache is
// process-wide, so every test starts without one).
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "support/test_env.h"

class TimerStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createFirmwareSchema(dbPath);
    openTimerDb();
    forgetSettings();
  }

  void TearDown() override {
    closeTimerDb();
    forgetSettings();
  }

  // Opens web_sched_db on dbPath as the request entry does, busy timeout
  // included (flags: how).
  void openTimerDb(int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
    closeTimerDb();
    ASSERT_EQ(openWebSchedDb(dbPath.c_str(), flags), SQLITE_OK);
  }

  void closeTimerDb() {
    if (web_sched_db) sqlite3_close(web_sched_db);
    web_sched_db = nullptr;
  }

  // What the next request process starts with: no cached defaults.
  static void forgetSettings() {
    webschedSettingsPtr = nullptr;
    webschedSettings = PaddingSettings{};
  }

  // Reads the schema, so later statements prepare without touching the file
  // (their step then meets any lock).
  void loadSchema() {
    ASSERT_EQ(
        sqlite3_exec(web_sched_db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr),
        SQLITE_OK);
  }

  TempDir dir;
  std::string dbPath = dir.file("schedule_record.db");
  // Standard output of a request that ended in a database failure.
  std::string failureOutput = dir.file("failure-output.txt");
};

// The line that exitIfError writes for a failure.
inline std::string sqlErrorLine(int code, const std::string& message, int site) {
  return "SQL error code: " + std::to_string(code) + ", message: \"" + message + "\" at line " +
         std::to_string(site) + "\n";
}

// Runs statement in a death-test child whose standard output goes to
// failureOutput; expects exit status 1 and expectedLine in the output.
#define EXPECT_STORE_FAILURE(statement, expectedLine)                                  \
  do {                                                                                 \
    std::fflush(stdout);                                                               \
    EXPECT_EXIT(                                                                       \
        {                                                                              \
          if (!std::freopen(failureOutput.c_str(), "w", stdout)) std::_Exit(99);       \
          statement;                                                                   \
        },                                                                             \
        ::testing::ExitedWithCode(1), "");                                             \
    std::string output_ = readFile(failureOutput);                                     \
    EXPECT_NE(output_.find(expectedLine), std::string::npos) << "output: " << output_; \
  } while (0)
