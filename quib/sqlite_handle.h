// Owning handles for SQLite statements.
#pragma once

#include <sqlite3.h>

#include <memory>

struct SqliteStatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
// A prepared statement, finalised when the handle goes.
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;
