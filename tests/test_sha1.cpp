// The SHA-1 module: standard digests, block boundaries, pieces, misuse.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

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

const uint8_t* bytesOf(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

// Digest of the message fed in one piece.
std::string digestWhole(const std::string& message) {
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, bytesOf(message), static_cast<uint32_t>(message.size()));
  EXPECT_EQ(SHA1Result(state), 1);
  return hexDigest(state);
}

// Digest of the message fed in pieces of the given size.
std::string digestInPieces(const std::string& message, size_t piece) {
  SHA1State state;
  SHA1Reset(state);
  for (size_t at = 0; at < message.size(); at += piece) {
    size_t size = std::min(piece, message.size() - at);
    SHA1Input(state, bytesOf(message) + at, static_cast<uint32_t>(size));
  }
  EXPECT_EQ(SHA1Result(state), 1);
  return hexDigest(state);
}

// The digest that coreutils' sha1sum computes for the file.
std::string sha1sumOf(const std::string& path) {
  std::string command = "sha1sum '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  char line[256] = {};
  std::string result;
  if (std::fgets(line, sizeof line, pipe)) result.assign(line, 40);
  pclose(pipe);
  return result;
}

const std::string kFips1 = "abc";
const std::string kFips2 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

TEST(Sha1, StandardExamplesFedWhole) {
  EXPECT_EQ(digestWhole(kFips1), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(digestWhole(kFips2), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(digestWhole(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, StandardExamplesFedByteByByte) {
  EXPECT_EQ(digestInPieces(kFips1, 1), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(digestInPieces(kFips2, 1), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(digestInPieces(std::string(1000000, 'a'), 1),
            "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, PiecesOfAnySizeGiveTheSameDigest) {
  const std::string message(1000, 'q');
  const std::string whole = digestWhole(message);
  for (size_t piece : {2, 3, 7, 55, 56, 63, 64, 65, 128, 999}) {
    EXPECT_EQ(digestInPieces(message, piece), whole) << "piece " << piece;
  }
}

TEST(Sha1, EmptyMessage) {
  SHA1State state;
  SHA1Reset(state);
  ASSERT_EQ(SHA1Result(state), 1);
  EXPECT_EQ(hexDigest(state), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Sha1, ResetMakesARecordReusable) {
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, bytesOf(kFips2), static_cast<uint32_t>(kFips2.size()));
  ASSERT_EQ(SHA1Result(state), 1);
  SHA1Input(state, bytesOf(kFips1), 1);  // corrupts
  SHA1Reset(state);
  SHA1Input(state, bytesOf(kFips1), 3);
  ASSERT_EQ(SHA1Result(state), 1);
  EXPECT_EQ(hexDigest(state), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

// 55 bytes still leave room for the length in the last block, 56 do not; 64
// fill a block exactly. The digests are those of coreutils' sha1sum.
TEST(Sha1, PaddingBoundaries) {
  EXPECT_EQ(digestWhole(std::string(55, 'a')), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
  EXPECT_EQ(digestWhole(std::string(56, 'a')), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
  EXPECT_EQ(digestWhole(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
}

TEST(Sha1, RandomMessagesMatchSha1sum) {
  TempDir dir;
  std::mt19937 generator(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> smallLength(0, 300);
  const std::string path = dir.file("message");
  for (int round = 0; round < 300; ++round) {
    // Mostly short messages around the block boundaries, some long ones.
    size_t length = round % 10 == 9 ? static_cast<size_t>(smallLength(generator)) * 37
                                    : static_cast<size_t>(smallLength(generator));
    std::string message(length, '\0');
    for (char& c : message) c = static_cast<char>(byte(generator));
    writeFile(path, message);
    const std::string expected = sha1sumOf(path);
    ASSERT_EQ(expected.size(), 40u);
    ASSERT_EQ(digestWhole(message), expected) << "length " << length;
    ASSERT_EQ(digestInPieces(message, 1 + round % 70), expected) << "length " << length;
  }
}

TEST(Sha1, ResultTwiceKeepsTheDigest) {
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, bytesOf(kFips1), 3);
  ASSERT_EQ(SHA1Result(state), 1);
  ASSERT_EQ(SHA1Result(state), 1);
  EXPECT_EQ(hexDigest(state), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(Sha1, EmptyInputAfterResultKeepsTheRecordValid) {
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, bytesOf(kFips1), 3);
  ASSERT_EQ(SHA1Result(state), 1);
  SHA1Input(state, bytesOf(kFips1), 0);
  EXPECT_EQ(SHA1Result(state), 1);
  EXPECT_EQ(hexDigest(state), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(Sha1, InputAfterResultCorruptsTheRecord) {
  SHA1State state;
  SHA1Reset(state);
  SHA1Input(state, bytesOf(kFips1), 3);
  ASSERT_EQ(SHA1Result(state), 1);
  SHA1Input(state, bytesOf(kFips1), 1);
  EXPECT_EQ(SHA1Result(state), 0);
  // The words keep the digest computed before, and it stays corrupted.
  EXPECT_EQ(hexDigest(state), "a9993e364706816aba3e25717850c26c9cd0d89d");
  SHA1Input(state, bytesOf(kFips1), 0);
  EXPECT_EQ(SHA1Result(state), 0);
}

TEST(Sha1, MessageLongerThanTheLengthFieldCorrupts) {
  SHA1State state;
  SHA1Reset(state);
  // Just below 2^64 bits: the next byte no longer fits the bit count.
  state.lengthHigh = 0xffffffffu;
  state.lengthLow = 0xfffffff8u;
  SHA1Input(state, bytesOf(kFips1), 1);
  EXPECT_EQ(SHA1Result(state), 0);
}

TEST(Sha1, LowLengthWordCarriesIntoTheHighWord) {
  SHA1State state;
  SHA1Reset(state);
  state.lengthLow = 0xfffffff8u;
  SHA1Input(state, bytesOf(kFips1), 2);
  EXPECT_EQ(state.lengthHigh, 1u);
  EXPECT_EQ(state.lengthLow, 8u);
  EXPECT_EQ(SHA1Result(state), 1);
}

}  // namespace
