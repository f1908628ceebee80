// Commits that survive a power cut.
//
// In SQLite's default journal mode a commit ends by deleting the rollback
// journal, and unless the connection runs at the synchronous level "extra"
// that deletion is not synced: a power cut seconds after the commit can bring
// the journal back, and the next opening takes it as hot and rolls back a
// change that the browser was told was done. The level cannot be made the
// default by a compile-time option alone (the pager keeps "full" until a
// pragma sets it), and the pragma reads the schema outside the request's one
// read lock. So the program's connections go through a copy of the default
// file-system layer whose deletions always sync the folder. The firmware's
// own connections are not affected.
#include <sqlite3.h>

#include "quib/database.h"

namespace {

sqlite3_vfs* base_vfs = nullptr;
sqlite3_vfs durable_vfs;

int deleteAndSyncFolder(sqlite3_vfs*, const char* path, int) {
  return base_vfs->xDelete(base_vfs, path, 1);
}

}  // namespace

int quibUseDurableCommits() {
  if (base_vfs) return SQLITE_OK;
  sqlite3_vfs* found = sqlite3_vfs_find(nullptr);
  if (!found) return SQLITE_ERROR;
  durable_vfs = *found;
  durable_vfs.pNext = nullptr;
  durable_vfs.zName = "quib-durable";
  durable_vfs.xDelete = deleteAndSyncFolder;
  const int code = sqlite3_vfs_register(&durable_vfs, 1);
  if (code == SQLITE_OK) base_vfs = found;
  return code;
}
