// What the list screen shows, read from the store and the request.
#pragma once

#include "views/html/list_screen.h"

// Reads the defaults, whether they must be saved again and every timer row
// in one read transaction of the timer database, which ends before the page
// is drawn; the request's sort order and the zone that could not be read
// come with them. A failure ends the request through exitIfError.
ListScreen readListScreen();
