// The template engine. The input holds up to three parts, separated by lines
// "===": the variables (one a line, "i name number" or "s name text"), the
// template, and the file "part.inc". Includes read only from the scratch
// folder: an include names a file there by its last path component.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quib/quib.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::string_view kSeparator = "\n===\n";
// Templates are the program's own files and the engine bounds only how deep
// includes nest; the number of includes per input is bounded here, so that
// a template including itself many times a line cannot run for ages.
constexpr int kMaxIncludes = 64;
// Output beyond this is not kept (a "var" may write 4096 bytes a time).
constexpr size_t kMaxOutput = 1 << 20;

struct Expansion {
  std::string output;
  int includes = 0;
};

void collect(std::string_view piece, TemplateContext* context) {
  Expansion& expansion = *static_cast<Expansion*>(context->userData);
  if (expansion.output.size() < kMaxOutput) expansion.output.append(piece.data(), piece.size());
}

// The page text of a "text" directive: its name back, so that any text the
// input holds can stand in a page.
std::string_view nameAsText(std::string_view name) {
  return name;
}

void includeFromScratch(std::string_view, std::string_view path, TemplateContext* context) {
  Expansion& expansion = *static_cast<Expansion*>(context->userData);
  fuzzCheck(context->includeDepth >= 1 && context->includeDepth <= kQuibMaxIncludeDepth,
            "includes nest within the bound");
  // The file name as fopen sees it: up to a zero byte, without folders.
  std::string_view file = path.substr(0, path.find('\0'));
  file.remove_prefix(file.rfind('/') + 1);
  if (file.empty() || file == "." || file == ".." || ++expansion.includes > kMaxIncludes) return;
  readTextFile(fuzzScratchFile(file), context, collect);
}

// Splits text at kSeparator into at most count parts.
std::vector<std::string_view> splitParts(std::string_view text, size_t count) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const size_t separator = text.find(kSeparator);
    if (separator == std::string_view::npos) break;
    parts.push_back(text.substr(0, separator));
    text.remove_prefix(separator + kSeparator.size());
  }
  parts.push_back(text);
  parts.resize(count);
  return parts;
}

// "i name number" or "s name text"; other lines are skipped.
ElementList parseVariables(std::string_view lines) {
  ElementList list;
  while (!lines.empty()) {
    const size_t end = std::min(lines.find('\n'), lines.size());
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(std::min(end + 1, lines.size()));
    if (line.size() < 2 || line[1] != ' ') continue;
    const std::string_view rest = line.substr(2);
    const size_t space = std::min(rest.find(' '), rest.size());
    const std::string_view name = rest.substr(0, space);
    const std::string_view value = rest.substr(std::min(space + 1, rest.size()));
    if (line[0] == 'i') {
      list = intelem(name, quibAtoi(value), std::move(list));
    } else if (line[0] == 's') {
      list = strelem(name, value, std::move(list));
    }
  }
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts =
      splitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  fuzzWriteFile(fuzzScratchFile("part.inc"), parts[2]);

  Expansion expansion;
  TemplateContext context;
  context.elements = parseVariables(parts[0]);
  context.processor = includeFromScratch;
  context.texts = nameAsText;
  context.userData = &expansion;
  readStringBuf(parts[1], &context, collect);
  fuzzCheck(context.includeDepth == 0, "every include has ended");

  // Without directives the text passes unchanged.
  Expansion plain;
  context.directives = 0;
  context.userData = &plain;
  readStringBuf(parts[1], &context, collect);
  fuzzCheck(parts[1].size() >= kMaxOutput || plain.output == parts[1],
            "a text without directives passes unchanged");
  return 0;
}
