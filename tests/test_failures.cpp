// The failure routine of the timer database: a request that fails with a
// statement and a write transaction still open closes the database cleanly,
// and nothing of its write remains.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "support/firmware.h"
#include "support/timer_store_test.h"

namespace {

class FailureExit : public TimerStoreTest {
 protected:
  // Three timers, then what a request that fails half-way leaves on the
  // connection: a write transaction that deleted the first timer and a row
  // read stopped by an error on its second row. Returns that error's code.
  int failRowReadInsideWrite() {
    for (int i = 0; i < 3; ++i) firmwareInsert(dbPath, FirmwareTimer{});
    TestDb(dbPath).exec(
        "update timer_record_table set channel = -9223372036854775807 - 1 where ID = 3");
    const char* const write = "begin immediate; delete from timer_record_table where ID = 1";
    int code = sqlite3_exec(web_sched_db, write, nullptr, nullptr, nullptr);
    sqlite3_stmt* rows = nullptr;
    if (code == SQLITE_OK) {
      code = sqlite3_prepare_v2(web_sched_db,
                                "select abs(channel) from timer_record_table order by ID", -1,
                                &rows, nullptr);
    }
    if (code == SQLITE_OK && sqlite3_step(rows) == SQLITE_ROW) code = sqlite3_step(rows);
    // The statement stays open: the failure routine is to finalise it.
    return code;
  }

  bool journalLeft() const {
    struct stat info;
    return stat((dbPath + "-journal").c_str(), &info) == 0;
  }
};

TEST_F(FailureExit, CloseSucceedsWithARowReadAndAWriteOpen) {
  ASSERT_EQ(failRowReadInsideWrite(), SQLITE_ERROR);
  EXPECT_EQ(closeTimerDbAfterFailure(), SQLITE_OK);
  EXPECT_EQ(web_sched_db, nullptr);
  EXPECT_FALSE(journalLeft());
  EXPECT_EQ(countTimerRows(dbPath), 3);
}

// The whole path: the same line as ever, and the database closed by the
// failing process itself. Had its close failed, the process would have ended
// with the transaction open and its journal left for the next opener.
TEST_F(FailureExit, FailedRowReadEndsTheRequestWithTheDatabaseClosed) {
  EXPECT_STORE_FAILURE(exitIfError(failRowReadInsideWrite(), FailureSite::kRowsStep),
                       sqlErrorLine(1, "integer overflow", 51));
  EXPECT_FALSE(journalLeft());
  EXPECT_EQ(countTimerRows(dbPath), 3);
}

}  // namespace
