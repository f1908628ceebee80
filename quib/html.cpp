// HTML escaping of data texts that go into a page.
#include "quib/html.h"

std::string quibHtmlEscape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  quibHtmlEscapeTo(text, escaped);
  return escaped;
}

// Runs of plain characters are appended whole.
void quibHtmlEscapeTo(std::string_view text, std::string& escaped) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t special = text.find_first_of("&<>\"'", pos);
    const size_t plain = special == std::string_view::npos ? text.size() : special;
    escaped.append(text.data() + pos, plain - pos);
    if (special == std::string_view::npos) return;
    switch (text[special]) {
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
      default:
        escaped += "&#39;";
        break;
    }
    pos = special + 1;
  }
}
