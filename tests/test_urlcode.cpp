// URL encoding and decoding, including the decoder's treatment of malformed
// escapes, and a randomized check of the request parsers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "quib/quib.h"

TEST(UrlEncode, KeepsUnreservedBytesAndEscapesTheRest) {
  EXPECT_EQ(quibUrlEncode("a b/c~"), "a+b%2fc~");
  EXPECT_EQ(quibUrlEncode("AZaz09-_.~"), "AZaz09-_.~");
  EXPECT_EQ(quibUrlEncode("News & Weather <live>"), "News+%26+Weather+%3clive%3e");
  EXPECT_EQ(quibUrlEncode("+%="), "%2b%25%3d");
  EXPECT_EQ(quibUrlEncode("\xc3\xa9\xff"), "%c3%a9%ff");  // bytes from 0x80 up
  EXPECT_EQ(quibUrlEncode(std::string_view("\0\n", 2)), "%00%0a");
  EXPECT_EQ(quibUrlEncode(""), "");
}

TEST(UrlDecode, PlusAndHexEscapes) {
  EXPECT_EQ(quibUrlDecode("%4A%4a"), "JJ");
  EXPECT_EQ(quibUrlDecode("Late+news%21"), "Late news!");
  EXPECT_EQ(quibUrlDecode("%c3%A9"), "\xc3\xa9");
  EXPECT_EQ(quibUrlDecode("%2B"), "+");              // an escaped plus stays a plus
  EXPECT_EQ(quibUrlDecode("\xff\xfe"), "\xff\xfe");  // other bytes are copied
  EXPECT_EQ(quibUrlDecode(""), "");
}

TEST(UrlDecode, ShortEscapesAtTheEnd) {
  EXPECT_EQ(quibUrlDecode("50%"), "50");
  EXPECT_EQ(quibUrlDecode("a%4"), "a4");
  EXPECT_EQ(quibUrlDecode("%"), "");
  EXPECT_EQ(quibUrlDecode("a%+"), "a+");  // the lone character is copied unchanged
  EXPECT_EQ(quibUrlDecode("a%%"), "a%");
}

TEST(UrlDecode, ZeroByteEndsTheText) {
  EXPECT_EQ(quibUrlDecode("ab%00cd"), "ab");
  EXPECT_EQ(quibUrlDecode("%00"), "");
  EXPECT_EQ(quibUrlDecode(std::string_view("ab\0cd", 5)), "ab");
  // 'g' counts 16: (16 * 16) | 0 cut to 8 bits is zero as well.
  EXPECT_EQ(quibUrlDecode("x%g0y"), "x");
}

TEST(UrlDecode, NonHexDigitsAreNotValidated) {
  // from_hex gives tolower(c) - 'a' + 10 as a signed 8-bit number.
  EXPECT_EQ(from_hex('0'), 0);
  EXPECT_EQ(from_hex('9'), 9);
  EXPECT_EQ(from_hex('a'), 10);
  EXPECT_EQ(from_hex('F'), 15);
  EXPECT_EQ(from_hex('z'), 35);
  EXPECT_EQ(from_hex('Z'), 35);
  EXPECT_EQ(from_hex('!'), -54);
  EXPECT_EQ(from_hex(' '), -55);
  EXPECT_EQ(from_hex('\xc3'), 108);
  EXPECT_EQ(from_hex('\xff'), -88);

  EXPECT_EQ(quibUrlDecode("%zz"), "3");  // 35 * 16 | 35 = 0x233 -> 0x33
  EXPECT_EQ(quibUrlDecode("%g1"), "\x01");
  EXPECT_EQ(quibUrlDecode("%!!"), "\xea");  // -864 | -54 -> 0xea
  // '%' counts -50, so %%4 is 0xe4; the 1 after it is copied.
  EXPECT_EQ(quibUrlDecode("%%41"), std::string("\xe4") + '1');
  EXPECT_EQ(quibUrlDecode("%4\xff"), "\xe8");  // (4 * 16) | -88 -> 0xe8
}

TEST(UrlCode, ToHexUsesTheLowFourBits) {
  EXPECT_EQ(to_hex(0), '0');
  EXPECT_EQ(to_hex(9), '9');
  EXPECT_EQ(to_hex(10), 'a');
  EXPECT_EQ(to_hex(15), 'f');
  EXPECT_EQ(to_hex(0x1f), 'f');
  EXPECT_EQ(to_hex(-1), 'f');
}

// Randomized inputs: the parsers keep their invariants on any bytes.
class RandomText : public ::testing::Test {
 protected:
  std::mt19937 random{20240607};
  std::string bytes(size_t maxLength, std::string_view alphabet = {}) {
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string text(length(random), '\0');
    for (char& c : text) {
      if (alphabet.empty()) {
        c = static_cast<char>(byte(random));
      } else {
        c = alphabet[static_cast<size_t>(byte(random)) % alphabet.size()];
      }
    }
    return text;
  }
};

TEST_F(RandomText, EncodeThenDecodeGivesTheText) {
  for (int round = 0; round < 2000; ++round) {
    std::string text = bytes(64);
    const std::string encoded = quibUrlEncode(text);
    ASSERT_EQ(encoded.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                        "0123456789-_.~+%"),
              std::string::npos);
    ASSERT_LE(encoded.size(), text.size() * 3);
    // Decoding stops at a zero byte, as it would for a C text.
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    ASSERT_EQ(quibUrlDecode(encoded), text);
  }
}

TEST_F(RandomText, DecodeNeverGrowsAndHoldsNoZeroByte) {
  for (int round = 0; round < 5000; ++round) {
    const std::string text = round % 2 ? bytes(40) : bytes(40, "%+0aFzZ!\x80\xff");
    const std::string decoded = quibUrlDecode(text);
    ASSERT_LE(decoded.size(), text.size());
    ASSERT_EQ(decoded.find('\0'), std::string::npos);
  }
}

TEST_F(RandomText, PairsAreNonEmptyPiecesOfTheTextInOrder) {
  ParamTable table;
  for (int round = 0; round < 3000; ++round) {
    const std::string text = round % 3 ? bytes(600, "&&&=ab") : bytes(40);
    const int count = parseParamPairs(std::string_view(text), table);
    ASSERT_GE(count, 0);
    ASSERT_LE(count, kQuibMaxParams);
    const char* previousEnd = text.data();
    for (int i = 0; i < count; ++i) {
      const std::string_view pair = table[i];
      ASSERT_FALSE(pair.empty());
      ASSERT_EQ(pair.find('&'), std::string_view::npos);
      ASSERT_GE(pair.data(), previousEnd);  // inside the text, after the previous pair
      ASSERT_LE(pair.data() + pair.size(), text.data() + text.size());
      previousEnd = pair.data() + pair.size();
    }
    // Below the capacity every byte other than '&' belongs to some pair.
    if (count < kQuibMaxParams) {
      size_t covered = 0;
      for (int i = 0; i < count; ++i) covered += table[i].size();
      ASSERT_EQ(covered + static_cast<size_t>(std::count(text.begin(), text.end(), '&')),
                text.size());
    }
    ParamValues out(count);
    ASSERT_LE(getParamValues(count, &table, "a", out.data(), false), count);
  }
}

TEST_F(RandomText, IntegerValueAgreesWithStrtollClamped) {
  for (int round = 0; round < 5000; ++round) {
    const std::string text = bytes(24, " \t+-0123456789999x");
    // strtoll reads the same grammar; its own saturation is at 64 bits.
    long long expected = std::strtoll(text.c_str(), nullptr, 10);
    expected = std::max<long long>(expected, std::numeric_limits<int32_t>::min());
    expected = std::min<long long>(expected, std::numeric_limits<int32_t>::max());
    ASSERT_EQ(quibAtoi(text), expected) << '"' << text << '"';
  }
}
