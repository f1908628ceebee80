// The JSON interface under the program's path ("/api/v1/..." in PATH_INFO):
// scripts and calendars read and write timers through it.
#pragma once

// True when the request names a resource of the JSON interface.
bool apiRequested();
// Opens the timer database at timerDbPath, answers the request and sends the
// answer; returns the exit status. The JSON interface reads its own request.
int runApi(const char* timerDbPath);
