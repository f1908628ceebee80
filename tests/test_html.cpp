// HTML escaping of data texts.
#include <gtest/gtest.h>

#include <string>

#include "quib/quib.h"

TEST(HtmlEscape, EscapesTheFiveSpecialCharacters) {
  EXPECT_EQ(quibHtmlEscape("&"), "&amp;");
  EXPECT_EQ(quibHtmlEscape("<"), "&lt;");
  EXPECT_EQ(quibHtmlEscape(">"), "&gt;");
  EXPECT_EQ(quibHtmlEscape("\""), "&quot;");
  EXPECT_EQ(quibHtmlEscape("'"), "&#39;");
  EXPECT_EQ(quibHtmlEscape("News & Weather <live>"), "News &amp; Weather &lt;live&gt;");
  EXPECT_EQ(quibHtmlEscape("\"x\" onclick='y'"), "&quot;x&quot; onclick=&#39;y&#39;");
}

TEST(HtmlEscape, EscapesAnAlreadyEscapedTextAgain) {
  EXPECT_EQ(quibHtmlEscape("&amp;"), "&amp;amp;");
}

TEST(HtmlEscape, KeepsEverythingElseByteForByte) {
  EXPECT_EQ(quibHtmlEscape(""), "");
  EXPECT_EQ(quibHtmlEscape("Tagesschau 20:00 / ARD"), "Tagesschau 20:00 / ARD");
  const std::string utf8 = "Caf\xc3\xa9 \xe2\x82\xac \t\n%s";
  EXPECT_EQ(quibHtmlEscape(utf8), utf8);
  const std::string withNul("a\0<b", 4);
  EXPECT_EQ(quibHtmlEscape(withNul), std::string("a\0&lt;b", 7));
}
