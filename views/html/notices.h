// Notices of the actions: what a request did, as page text from the
// catalogue.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/entry_refusal.h"
#include "views/html/list_screen.h"

// The group actions, for their notices.
enum class GroupAction { kDelete, kEnable, kDisable, kClone };

// "Deleted 2 timers.", "Enabled 1 timer.", "Cloned 1 timer (the copy is
// disabled)." ...; count 0 says that the timers no longer exist.
std::string groupNotice(GroupAction action, int32_t count);
// 'Created "<title>".' / 'Updated "<title>".' with the title HTML-escaped.
std::string createdNotice(std::string_view title);
std::string updatedNotice(std::string_view title);
// "Saved the default margins: 5 minutes before, 10 minutes after. No timer
// was written."
std::string defaultsSavedNotice(int32_t prepadMinutes, int32_t postpadMinutes);
// Why the entry was not written, as the page says it.
std::string_view refusalNotice(EntryRefusal refusal);
// The input of the timer form that the refusal concerns.
FormField refusalField(EntryRefusal refusal);
// Appends sentence to notice, separated by one space: the action's own
// sentence comes first, any remarks on the entry follow it.
void appendNotice(std::string& notice, std::string_view sentence);
