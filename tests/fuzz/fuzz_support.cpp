#include "tests/fuzz/fuzz_support.h"

#include <ftw.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string scratchDir;

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  return std::remove(path);
}

void removeScratchDir() {
  nftw(scratchDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// Timers as the firmware stores them: a single one, a weekly one, one on the
// external input, one disabled.
constexpr const char* kTimerRows =
    "insert into timer_record_table values (1, 0, 0, 2030, 5, 3, 20, 0, 1, 0, 10, 1, 0, 0, 0, "
    "1904328000, 3600, 0, 0, 0, -1, 0, 'News');"
    "insert into timer_record_table values (2, 0, 5, 2030, 5, 8, 21, 15, 0, 45, 10, 2, 1, 1, 0, "
    "1904764500, 2700, 0, 0, 0, -1, 0, 'Weekly <b>&amp;');"
    "insert into timer_record_table values (3, 0, 1, 2030, 6, 1, 6, 30, 2, 0, 1, 0, 0, 0, 0, "
    "1906007400, 7200, 0, 1, 0, -1, 0, 'External');"
    "insert into timer_record_table values (4, 0, 0, 2031, 1, 1, 0, 0, 0, 5, 10, 3, 0, 0, 0, "
    "1924992000, 300, 1, 0, 0, -1, 0, '');";

}  // namespace

const std::string& fuzzScratchDir() {
  if (scratchDir.empty()) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/skedra-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fuzzCheck(mkdtemp(buffer.data()) != nullptr, "mkdtemp of the scratch folder");
    scratchDir = buffer.data();
    std::atexit(removeScratchDir);
  }
  return scratchDir;
}

std::string fuzzScratchFile(std::string_view name) {
  return fuzzScratchDir() + "/" + std::string(name);
}

// The old file is removed rather than truncated: the file system may flush
// a truncated file that is written again to disk at once.
void fuzzWriteFile(const std::string& path, std::string_view bytes) {
  std::remove(path.c_str());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  fuzzCheck(file != nullptr, "open a scratch file for writing");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  fuzzCheck(std::fclose(file) == 0 && written, "write a scratch file");
}

std::string fuzzReadFile(const std::string& path) {
  std::string content;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return content;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
  std::fclose(file);
  return content;
}

void fuzzPutEnv(std::string& storage, std::string_view name, std::string_view value) {
  storage.assign(name.data(), name.size());
  storage += '=';
  storage.append(value.data(), std::min(value.find('\0'), value.size()));
  fuzzCheck(putenv(storage.data()) == 0, "set an environment variable");
}

void fuzzCheck(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

void fuzzCreateTimerDb(const std::string& path) {
  std::remove(path.c_str());
  const std::string schema = fuzzReadFile(SKEDRA_SOURCE_DIR "/tests/firmware_schema.sql");
  fuzzCheck(!schema.empty(), "read tests/firmware_schema.sql");
  sqlite3* db = nullptr;
  const bool opened = sqlite3_open(path.c_str(), &db) == SQLITE_OK;
  const bool filled = opened &&
                      sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
                      sqlite3_exec(db, kTimerRows, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  fuzzCheck(filled, "create the scratch timer database");
}
