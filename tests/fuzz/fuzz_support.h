// Shared by the fuzz targets: a scratch folder of their own, whole files,
// the databases of a request, and the one way a property check fails.
#pragma once

#include <string>
#include <string_view>

// A fresh folder under TMPDIR for this process; it is removed, with all it
// holds, when the process exits.
const std::string& fuzzScratchDir();
// path within the scratch folder.
std::string fuzzScratchFile(std::string_view name);

// Writes a new file at path in place of any old one.
void fuzzWriteFile(const std::string& path, std::string_view bytes);
// The whole file, or "" when it cannot be read.
std::string fuzzReadFile(const std::string& path);

// Sets the environment variable name to value (up to a zero byte, as the
// environment holds C texts) by way of storage, which must stay in place
// while the variable is set: setenv would keep every value ever set.
void fuzzPutEnv(std::string& storage, std::string_view name, std::string_view value);

// Reports what failed and aborts, which libFuzzer records as a crash with
// the input that caused it.
void fuzzCheck(bool condition, const char* what);

// A timer database with the firmware's table (tests/firmware_schema.sql) and
// a few timers, at path.
void fuzzCreateTimerDb(const std::string& path);
