// The account database as the toolkit's own files reach it.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

// The open account database; opened on the first call of the process. A
// failure to open it ends the request through checkDBout, or with mayFail
// gives none.
sqlite3* quibAccountDb(bool mayFail = false);
// The id of the session this request uses (the one its lookup found valid or
// the one it created), or none.
std::optional<std::string> quibRequestSession();
