// The channel library: the plain-text and firmware readers on files the tests
// write, and getChannels of every build on its fixed channel file.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "lineup/lineup.h"
#include "lineup/lineup_internal.h"
#include "skedra_paths.h"
#include "support/screen_channels.h"
#include "support/test_env.h"

namespace {

using namespace std::string_literals;

// One node of a list as the tests compare it.
struct Entry {
  int number;
  int altNumber;
  std::string name;
  bool operator==(const Entry& other) const {
    return number == other.number && altNumber == other.altNumber && name == other.name;
  }
};

void PrintTo(const Entry& entry, std::ostream* out) {
  *out << "{" << entry.number << ", " << entry.altNumber << ", \"" << entry.name << "\"}";
}

std::vector<Entry> entries(const Channel* head) {
  std::vector<Entry> result;
  for (const Channel* node = head; node != nullptr; node = node->next) {
    result.push_back({node->number, node->altNumber, node->name});
  }
  return result;
}

// The list read from a plain-text channel file with this content.
std::vector<Entry> readPlain(const std::string& content) {
  TempDir dir;
  writeFile(dir.file("dtv_channels.info"), content);
  return entries(lineupReadPlain(dir.file("dtv_channels.info").c_str()));
}

// ---- plain-text source ---------------------------------------------------

TEST(LineupPlain, CommentLinesAreSkippedAndFileOrderKept) {
  EXPECT_EQ(readPlain("News|5|105\n#Radio|7|7\nSport|9|9\n"),
            (std::vector<Entry>{{5, 105, "News"}, {9, 9, "Sport"}}));
}

TEST(LineupPlain, NameIsTheFirstFieldVerbatim) {
  EXPECT_EQ(readPlain(" #Radio|7|7\n  Weather |12|12\n"),
            (std::vector<Entry>{{7, 7, " #Radio"}, {12, 12, "  Weather "}}));
}

TEST(LineupPlain, FieldsSplitLikeStrtok) {
  EXPECT_EQ(readPlain("Film||3|4\nFilm|3|4|extra|9\n||Lead|1|2\nEnd|6|7||\n"),
            (std::vector<Entry>{{3, 4, "Film"}, {3, 4, "Film"}, {1, 2, "Lead"}, {6, 7, "End"}}));
}

TEST(LineupPlain, NumbersReadLikeAtoiKeepingLow16Bits) {
  EXPECT_EQ(readPlain("A|x|3\n"
                      "B|70000|40000\n"
                      "C|-3|+4\n"
                      "D| \t12abc|7 8\n"
                      "E|32768|65536\n"
                      "F|-32769|-1\n"
                      "G|3|4\r\n"
                      "H|- 5|+-6\n"),
            (std::vector<Entry>{{0, 3, "A"},
                                {4464, -25536, "B"},
                                {-3, 4, "C"},
                                {12, 7, "D"},
                                {-32768, 0, "E"},
                                {32767, -1, "F"},
                                {3, 4, "G"},
                                {0, 0, "H"}}));
}

// Beyond the 32-bit int range the number saturates before its low 16 bits
// are kept, as the recorder's C library converts it.
TEST(LineupPlain, NumbersBeyondIntRangeSaturate) {
  EXPECT_EQ(readPlain("A|2147483647|-2147483648\n"
                      "B|2147483648|-2147483649\n"
                      "C|99999999999|-99999999999\n"
                      "D|4294967296|000000000000000000000000000012\n"),
            (std::vector<Entry>{{-1, 0, "A"}, {-1, 0, "B"}, {-1, 0, "C"}, {-1, 12, "D"}}));
}

TEST(LineupPlain, DuplicateNumbersStayInFileOrder) {
  EXPECT_EQ(readPlain("One|5|5\nTwo|5|6\nOne|5|5\n"),
            (std::vector<Entry>{{5, 5, "One"}, {5, 6, "Two"}, {5, 5, "One"}}));
}

TEST(LineupPlain, LinesWithFewerThanThreeFieldsAreSkipped) {
  EXPECT_EQ(readPlain("\nName\nOnly|5\n|||\n|5|\nA|1|2\n\n\n|x|y|z\nLast|3|4"),
            (std::vector<Entry>{{1, 2, "A"}, {0, 0, "x"}, {3, 4, "Last"}}));
}

TEST(LineupPlain, NoChannelGivesNull) {
  TempDir dir;
  EXPECT_EQ(lineupReadPlain(dir.file("missing").c_str()), nullptr);
  EXPECT_TRUE(readPlain("").empty());
  EXPECT_TRUE(readPlain("#News|5|105\n#Sport|9|9\n").empty());
  EXPECT_TRUE(readPlain("\n\nNews|5\n").empty());
}

// A line longer than 255 bytes is read in pieces, each handled as a line:
// a piece with three fields is a channel, a shorter piece is skipped.
TEST(LineupPlain, LongLinesAreReadInPiecesOf255Bytes) {
  const std::string longName(250, 'N');
  const std::string padding(300 - 256, 'p');
  const std::string line1 = longName + "|5|6|" + padding + "\n";  // 300 bytes
  const std::string line2 = std::string(255, 'q') + "Tail|8|9\n";
  const std::string line3 = std::string(255, 'r') + "#Hidden|1|1\n";
  ASSERT_EQ(line1.size(), 300u);
  EXPECT_EQ(readPlain(line1 + line2 + line3 + "After|1|2\n"),
            (std::vector<Entry>{{5, 6, longName}, {8, 9, "Tail"}, {1, 2, "After"}}));
}

TEST(LineupPlain, BinaryGarbageGivesWellFormedNodes) {
  // A NUL byte ends a line's text for the field split.
  EXPECT_EQ(readPlain("Ne\0ws|5|6\nOk|1|\0"
                      "2\n"s),
            std::vector<Entry>{});
  std::string garbage;
  uint32_t seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    const char pick = static_cast<char>(seed >> 16);
    garbage += (seed >> 8) % 7 == 0 ? '|' : (seed >> 8) % 29 == 0 ? '\n' : pick;
  }
  const std::vector<Entry> list = readPlain(garbage);
  EXPECT_FALSE(list.empty());
  for (const Entry& entry : list) {
    EXPECT_FALSE(entry.name.empty());
    EXPECT_EQ(entry.name.find('|'), std::string::npos);
    EXPECT_LT(entry.name.size(), 255u);
  }
}

// ---- firmware source -----------------------------------------------------

// One record of the firmware's channel file.
struct Record {
  uint16_t number = 0;
  uint16_t altNumber = 0;
  std::string name;
  uint16_t exclusion = 0;
};

void put16(std::string& bytes, std::size_t offset, uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

// A record of recordSize bytes: little-endian numbers at 0 and 2, the name
// at 8 (NUL-filled after it), the exclusion field at 76; the bytes between
// are filled with 0xA5 where nothing should read them.
std::string recordBytes(std::size_t recordSize, const Record& record) {
  std::string bytes(recordSize, '\0');
  for (std::size_t offset : {4u, 5u, 6u, 7u}) bytes[offset] = '\xA5';
  for (std::size_t offset = 78; offset < recordSize; ++offset) bytes[offset] = '\xA5';
  put16(bytes, 0, record.number);
  put16(bytes, 2, record.altNumber);
  bytes.replace(8, record.name.size(), record.name);
  put16(bytes, 76, record.exclusion);
  return bytes;
}

std::string firmwareFile(std::size_t recordSize, const std::vector<Record>& records,
                         const std::string& header = std::string(8, '\0')) {
  std::string bytes = header;
  for (const Record& record : records) bytes += recordBytes(recordSize, record);
  return bytes;
}

class LineupFirmware : public testing::TestWithParam<std::size_t> {
 protected:
  std::size_t recordSize() const { return GetParam(); }
  std::vector<Entry> read(const std::string& content) {
    writeFile(dir_.file("dtv_channel.txt"), content);
    return entries(readFirmware(dir_.file("dtv_channel.txt")));
  }
  Channel* readFirmware(const std::string& path) {
    return recordSize() == 1016 ? lineupReadFirmware<1016>(path.c_str())
                                : lineupReadFirmware<1080>(path.c_str());
  }

 private:
  TempDir dir_;
};

TEST_P(LineupFirmware, ExcludedRecordsAreLeftOut) {
  EXPECT_EQ(read(firmwareFile(recordSize(), {{5, 105, "News", 0},
                                             {6, 106, "Hidden", 1},
                                             {9, 9, "Sport", 0},
                                             {10, 10, "High", 0x0100},
                                             {11, 11, "All", 0xFFFF},
                                             {12, 12, "Last", 0}})),
            (std::vector<Entry>{{5, 105, "News"}, {9, 9, "Sport"}, {12, 12, "Last"}}));
}

TEST_P(LineupFirmware, NumbersAreCopiedBitForBit) {
  EXPECT_EQ(read(firmwareFile(recordSize(), {{0x8000, 0x7FFF, "Low", 0},
                                             {0xFFFF, 0x0102, "Bits", 0},
                                             {0x9C40, 0x1170, "Mix", 0}})),
            (std::vector<Entry>{{-32768, 32767, "Low"}, {-1, 258, "Bits"}, {-25536, 4464, "Mix"}}));
}

TEST_P(LineupFirmware, HeaderIsIgnored) {
  const std::vector<Record> records = {{1, 2, "One", 0}, {3, 4, "Two", 0}};
  const std::vector<Entry> expected = {{1, 2, "One"}, {3, 4, "Two"}};
  EXPECT_EQ(read(firmwareFile(recordSize(), records)), expected);
  EXPECT_EQ(read(firmwareFile(recordSize(), records, std::string(8, '\xFF'))), expected);
  EXPECT_EQ(read(firmwareFile(recordSize(), records, std::string("\x02\0\0\0\x09\0\0\0", 8))),
            expected);
}

TEST_P(LineupFirmware, BytesAfterTheLastWholeRecordAreIgnored) {
  const std::string two = firmwareFile(recordSize(), {{1, 1, "One", 0}, {2, 2, "Two", 0}});
  const std::vector<Entry> expected = {{1, 1, "One"}, {2, 2, "Two"}};
  EXPECT_EQ(read(two + std::string(100, 'x')), expected);
  // The partial record looks listed, but is never read.
  EXPECT_EQ(read(two + recordBytes(recordSize(), {3, 3, "Three", 0}).substr(0, recordSize() - 1)),
            expected);
}

TEST_P(LineupFirmware, NoWholeRecordGivesNull) {
  const std::string one = firmwareFile(recordSize(), {{1, 1, "One", 0}});
  for (std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{8}, one.size() - 1}) {
    EXPECT_TRUE(read(one.substr(0, size)).empty()) << size << " bytes";
  }
  EXPECT_TRUE(read(firmwareFile(recordSize(), {{1, 1, "One", 1}, {2, 2, "Two", 0x8000}})).empty());
  EXPECT_EQ(readFirmware("/nonexistent/dtv_channel.txt"), nullptr);
}

// The name runs from offset 8 to the first NUL. A listed record has a zero
// exclusion field at 76, so the longest name is the 68 bytes before it,
// whatever follows it in the record.
TEST_P(LineupFirmware, NameStopsAtFirstNul) {
  std::string longest = recordBytes(recordSize(), {7, 7, std::string(68, 'L'), 0});
  longest.replace(78, recordSize() - 78, recordSize() - 78, 'B');
  std::string empty = recordBytes(recordSize(), {8, 8, "", 0});
  std::string early = recordBytes(recordSize(), {9, 9, std::string("Ab\0Cd", 5), 0});
  EXPECT_EQ(read(std::string(8, '\0') + longest + empty + early),
            (std::vector<Entry>{{7, 7, std::string(68, 'L')}, {8, 8, ""}, {9, 9, "Ab"}}));
}

INSTANTIATE_TEST_SUITE_P(RecordSizes, LineupFirmware, testing::Values(1016, 1080),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                           return "R" + std::to_string(info.param);
                         });

// A file of 1080-byte records read with 1016-byte records: the second record
// read starts at 8 + 1016, inside the first real record; nothing notices.
TEST(LineupFirmwareMismatch, ShortRecordsReadLongRecordsMisaligned) {
  std::string first = recordBytes(1080, {1, 2, "One", 0});
  put16(first, 1016, 0x1234);
  put16(first, 1018, 0x0042);
  first.replace(1024, 6, std::string("Ghost\0", 6));
  // The misread record's exclusion field falls on bytes 12-13 of the second
  // real record, inside its (short) name: zero, so the record is listed.
  const std::string file = std::string(8, '\0') + first + recordBytes(1080, {3, 4, "Two", 0});
  TempDir dir;
  writeFile(dir.file("dtv_channel.txt"), file);
  EXPECT_EQ(entries(lineupReadFirmware<1016>(dir.file("dtv_channel.txt").c_str())),
            (std::vector<Entry>{{1, 2, "One"}, {0x1234, 0x42, "Ghost"}}));
  EXPECT_EQ(entries(lineupReadFirmware<1080>(dir.file("dtv_channel.txt").c_str())),
            (std::vector<Entry>{{1, 2, "One"}, {3, 4, "Two"}}));
}

// ---- getChannels of every build ------------------------------------------

// The firmware channel file at its fixed path for the length of a test; what
// was there before is put back. Folders made for it stay.
class FixedFirmwareFile {
 public:
  FixedFirmwareFile() {
    if (std::filesystem::exists(path_)) saved_ = readFile(path_.string());
    std::filesystem::create_directories(path_.parent_path());
    remove();
  }
  ~FixedFirmwareFile() {
    if (saved_) {
      writeFile(path_.string(), *saved_);
    } else {
      remove();
    }
  }
  FixedFirmwareFile(const FixedFirmwareFile&) = delete;
  FixedFirmwareFile& operator=(const FixedFirmwareFile&) = delete;
  void write(const std::string& content) { writeFile(path_.string(), content); }
  void remove() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }

 private:
  const std::filesystem::path path_ = LINEUP_FW_PATH;
  std::optional<std::string> saved_;
};

using GetChannels = Channel* (*)();

// Drives a firmware build's getChannels through the states of its list: null
// while the file is missing or yields no channel (reading it again on each
// call), then the list of the first file with channels, for good.
void checkFirmwareGetChannels(std::size_t recordSize, GetChannels getChannels) {
  SCOPED_TRACE(recordSize);
  FixedFirmwareFile file;
  EXPECT_EQ(getChannels(), nullptr);
  file.write(firmwareFile(recordSize, {{5, 105, "News", 1}}));
  EXPECT_EQ(getChannels(), nullptr);
  file.write(
      firmwareFile(recordSize, {{5, 105, "News", 0}, {7, 7, "Radio", 1}, {9, 9, "Sport", 0}}));
  Channel* list = getChannels();
  const std::vector<Entry> expected = {{5, 105, "News"}, {9, 9, "Sport"}};
  EXPECT_EQ(entries(list), expected);
  file.write(firmwareFile(recordSize, {{1, 1, "Other", 0}}));
  EXPECT_EQ(getChannels(), list);
  file.remove();
  EXPECT_EQ(getChannels(), list);
  EXPECT_EQ(entries(list), expected);
}

// The plain build on its fixed path. The list screen's test programs share
// that file while their CGI runs read it, so it gets their content, written
// atomically as they write it, and is left in place; the empty and cached
// states of the list are the same code in every build and are driven
// through the firmware builds above.
void checkPlainGetChannels(GetChannels getChannels) {
  const std::string path = LINEUP_PLAIN_PATH;
  makeParentFolders(path);
  const std::string temporary = path + ".lineup-tmp." + std::to_string(getpid());
  writeFile(temporary, screenChannelFileContent());
  ASSERT_EQ(std::rename(temporary.c_str(), path.c_str()), 0);
  const std::vector<Entry> expected = entries(lineupReadPlain(path.c_str()));
  ASSERT_GE(expected.size(), 2u);
  Channel* list = getChannels();
  EXPECT_EQ(entries(list), expected);
  EXPECT_EQ(getChannels(), list);
}

struct LibraryCloser {
  void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

// getChannels of the library file of one build, loaded on its own.
struct LoadedBuild {
  Library library;
  GetChannels getChannels = nullptr;
};

LoadedBuild loadBuild(const char* file) {
  LoadedBuild build{Library(dlopen(file, RTLD_NOW | RTLD_LOCAL))};
  if (build.library) {
    build.getChannels = reinterpret_cast<GetChannels>(dlsym(build.library.get(), "getChannels"));
  }
  return build;
}

// All builds in one test, one after the other: they share the fixed paths.
TEST(LineupGetChannels, EveryBuildReadsItsFixedFileOnceItHasChannels) {
  if (std::string_view(RECORDER_ETC_DIR) == "/usr/local/etc") {
    GTEST_SKIP() << "RECORDER_ETC_DIR is the recorder's own folder; configure a test folder";
  }
  const std::vector<std::pair<std::size_t, const char*>> firmwareBuilds = {
      {1016, LINEUP_TEST_FW1016_LIBRARY}, {1080, LINEUP_TEST_FW1080_LIBRARY}};
  for (const auto& [recordSize, file] : firmwareBuilds) {
    const LoadedBuild build = loadBuild(file);
    ASSERT_NE(build.getChannels, nullptr) << file << ": " << dlerror();
    checkFirmwareGetChannels(recordSize, build.getChannels);
  }
  {
    const LoadedBuild build = loadBuild(LINEUP_TEST_PLAIN_LIBRARY);
    ASSERT_NE(build.getChannels, nullptr) << LINEUP_TEST_PLAIN_LIBRARY << ": " << dlerror();
    checkPlainGetChannels(build.getChannels);
  }
  // The build the program links against, resolved by the dynamic loader.
  const std::string selected = LINEUP_TEST_SELECTED_SOURCE;
  if (selected == "plain") {
    checkPlainGetChannels(&::getChannels);
  } else {
    checkFirmwareGetChannels(selected == "fw1016" ? 1016 : 1080, &::getChannels);
  }
}

}  // namespace
