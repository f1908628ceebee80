// The page that asks before the page's Delete button deletes: which timers
// will go, and a button that deletes them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/timer.h"

// The timers to delete, as the list shows them, and what the page's form
// must carry on.
struct DeleteConfirmation {
  std::vector<const ScheduleRow*> timers;  // the selected timers that exist
  std::optional<std::string> sessionId;    // for the self URL
  bool sortNext = false;                   // the list's order to return to
};

// Writes the whole confirmation page into the response.
void displayDeleteConfirmation(const DeleteConfirmation& confirmation);
