// The SHA-1 module: standard digests, block boundaries, pieces, misuse.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "sha1/sha1.h"
#include "support/test_env.h"

namespace {

// The five digest words as 40 lowercase hexadecimal digits.
std::string hexDigest(const SHA1State& state) {
  char text[41];
  std::snprintf(text, sizeof text, "%08x%08x%08x%08x%08x", state.digest[0], state.digest[1],
                state.digest[2], state.digest[3], state.digest[4]);
  return text;
}

void feed(SHA1State& state, const std::string& text) {
  SHA1Input(state, reinterpret_cast<const uint8_t*>(text.data()),
            static_cast<uint32_t>(text.size()));
}

// Digest of the message fed in pieces of the given size (0: in one piece).
std::string digestOf(const std::string& message, size_t piece = 0) {
  SHA1State state;
  SHA1Reset(state);
  if (piece == 0) piece = message.size() + 1;
  for (size_t at = 0; at < message.size(); at += piece) {
    feed(state, message.substr(at, piece));
  }
  EXPECT_EQ(SHA1Result(state), 1);
  return hexDigest(state);
}

// The digest that coreutils' sha1sum computes for the file.
std::string sha1sumOf(const std::string& path) {
  FILE* pipe = popen(("sha1sum '" + path + "'").c_str(), "r");
  if (!pipe) return "";
  char line[256] = {};
  std::string result;
  if (std::fgets(line, sizeof line, pipe)) result.assign(line, 40);
  pclose(pipe);
  return result;
}

const std::string kAbc = "abc";
const std::string kAbcDigest = "a9993e364706816aba3e25717850c26c9cd0d89d";

// The standard's examples, the empty message, and 55 (length fits the last
// block), 56 (it does not) and 64 bytes (a full block); digests from sha1sum.
TEST(Sha1, KnownDigestsFedWholeAndByteByByte) {
  const struct {
    std::string message, digest;
  } cases[] = {
      {kAbc, kAbcDigest},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
      {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
      {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("length " + std::to_string(c.message.size()));
    EXPECT_EQ(digestOf(c.message), c.digest);
    EXPECT_EQ(digestOf(c.message, 1), c.digest);
  }
}

TEST(Sha1, RandomMessagesInPiecesMatchSha1sum) {
  TempDir dir;
  std::mt19937 generator(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> smallLength(0, 300);
  const std::string path = dir.file("message");
  for (int round = 0; round < 300; ++round) {
    // Mostly short messages around the block boundaries, some long ones.
    size_t length = static_cast<size_t>(smallLength(generator)) * (round % 10 == 9 ? 37 : 1);
    std::string message(length, '\0');
    for (char& c : message) c = static_cast<char>(byte(generator));
    writeFile(path, message);
    const std::string expected = sha1sumOf(path);
    ASSERT_EQ(expected.size(), 40u);
    ASSERT_EQ(digestOf(message), expected) << "length " << length;
    ASSERT_EQ(digestOf(message, 1 + round % 70), expected) << "length " << length;
  }
}

TEST(Sha1, ResultTwiceEmptyInputMisuseAndReset) {
  SHA1State state;
  SHA1Reset(state);
  feed(state, kAbc);
  ASSERT_EQ(SHA1Result(state), 1);
  ASSERT_EQ(SHA1Result(state), 1);
  feed(state, "");  // an empty input changes nothing
  EXPECT_EQ(SHA1Result(state), 1);
  EXPECT_EQ(hexDigest(state), kAbcDigest);

  feed(state, "a");  // input after the result corrupts
  EXPECT_EQ(SHA1Result(state), 0);
  EXPECT_EQ(hexDigest(state), kAbcDigest);  // the words keep the earlier digest
  feed(state, "");
  EXPECT_EQ(SHA1Result(state), 0);  // and it stays corrupted

  SHA1Reset(state);
  feed(state, kAbc);
  ASSERT_EQ(SHA1Result(state), 1);
  EXPECT_EQ(hexDigest(state), kAbcDigest);
}

TEST(Sha1, BitLengthCarriesAndOverflowCorrupts) {
  SHA1State state;
  SHA1Reset(state);
  state.lengthLow = 0xfffffff8u;
  feed(state, "ab");
  EXPECT_EQ(state.lengthHigh, 1u);
  EXPECT_EQ(state.lengthLow, 8u);
  EXPECT_EQ(SHA1Result(state), 1);

  // Just below 2^64 bits: the next byte no longer fits the bit count.
  SHA1Reset(state);
  state.lengthHigh = 0xffffffffu;
  state.lengthLow = 0xfffffff8u;
  feed(state, "a");
  EXPECT_EQ(SHA1Result(state), 0);
}

}  // namespace
