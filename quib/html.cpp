// HTML escaping of data texts that go into a page.
#include "quib/html.h"

std::string quibHtmlEscape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  quibHtmlEscapeTo(text, escaped);
  return escaped;
}

void quibHtmlEscapeTo(std::string_view text, std::string& escaped) {
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
        break;
    }
  }
}
