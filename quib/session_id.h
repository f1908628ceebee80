// Session ids drawn from the operating system's random source.
#pragma once

#include <optional>
#include <string>

// A new session id "%x-%x-%x": three values of 31 random bits each, taken
// from the kernel's random source. None when no random source can be read;
// the caller must then refuse to open a session rather than use a weaker id.
std::optional<std::string> newSessionId();

// A new one-time form token: 32 lowercase hexadecimal digits (128 random
// bits) from the kernel's random source. None when it cannot be read.
std::optional<std::string> newFormToken();
