// Texts of the per-request values that the entry and the list screen share.
#include "websched/websched.h"

// The command of a request that shows the form for a new timer; an edit
// switches it to "update".
const char* const createCmd = "create";
