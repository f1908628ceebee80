// HTML escaping (html.cpp).
#pragma once

#include <string>
#include <string_view>

// Data text made safe to put into an HTML page or attribute: & < > " ' are
// replaced by entities; everything else is kept byte for byte.
std::string quibHtmlEscape(std::string_view text);
// The same, appended to out.
void quibHtmlEscapeTo(std::string_view text, std::string& out);
