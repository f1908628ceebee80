// The template engine: expands template lines, their "var" and "include"
// directives, and the text trimming helpers shared with the cookie code.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quib/quib.h"

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kOpener = "<!--%quib ";
constexpr std::string_view kTerminator = "%-->";
constexpr std::string_view kIncludeCommand = "include";
constexpr std::string_view kVarCommand = "var";
constexpr std::string_view kFormatParam = "fmt";
constexpr const char* kIntFormat = "%d";
constexpr const char* kTextFormat = "%s";
// Field widths and precisions above this are refused, so that no template
// can make the engine build a huge text.
constexpr unsigned kMaxFieldSize = 4096;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// Counts one include as in progress for as long as it lives.
class IncludeLevel {
 public:
  explicit IncludeLevel(TemplateContext* context) : context_(context) { ++context_->includeDepth; }
  ~IncludeLevel() { --context_->includeDepth; }
  IncludeLevel(const IncludeLevel&) = delete;
  IncludeLevel& operator=(const IncludeLevel&) = delete;

 private:
  TemplateContext* context_;
};

// Reads the decimal digits at format[pos]; false when the number exceeds
// kMaxFieldSize. pos ends on the first character that is not a digit.
bool readFieldSize(std::string_view format, size_t& pos) {
  unsigned value = 0;
  for (; pos < format.size() && format[pos] >= '0' && format[pos] <= '9'; ++pos) {
    value = value * 10 + static_cast<unsigned>(format[pos] - '0');
    if (value > kMaxFieldSize) return false;
  }
  return true;
}

// The conversion character of a format that holds exactly one conversion
// that is well defined for the Element's kind, or 0 when the format is not
// usable. Allowed: "%%" anywhere; flags, a width and a precision that the
// conversion defines; for integers d i u x X o c, for texts s. Never '*', a
// length modifier, 'n' or a positional argument.
char checkedConversion(std::string_view format, int32_t kind) {
  char conversion = 0;
  for (size_t pos = 0; pos < format.size(); ++pos) {
    if (format[pos] != '%') continue;
    ++pos;
    if (pos < format.size() && format[pos] == '%') continue;
    if (conversion != 0) return 0;  // a second conversion
    bool alternate = false;
    bool zeroPad = false;
    for (; pos < format.size(); ++pos) {
      const char flag = format[pos];
      if (flag == '#') {
        alternate = true;
      } else if (flag == '0') {
        zeroPad = true;
      } else if (flag != '-' && flag != '+' && flag != ' ') {
        break;
      }
    }
    if (!readFieldSize(format, pos)) return 0;
    bool precision = false;
    if (pos < format.size() && format[pos] == '.') {
      precision = true;
      ++pos;
      if (!readFieldSize(format, pos)) return 0;
    }
    if (pos >= format.size()) return 0;
    conversion = format[pos];
    // The C library leaves these combinations undefined; they are refused.
    switch (conversion) {
      case 'd':
      case 'i':
      case 'u':
        if (kind != kElementInt || alternate) return 0;
        break;
      case 'x':
      case 'X':
      case 'o':
        if (kind != kElementInt) return 0;
        break;
      case 'c':
        if (kind != kElementInt || alternate || zeroPad || precision) return 0;
        break;
      case 's':
        if (kind != kElementText || alternate || zeroPad) return 0;
        break;
      default:
        return 0;
    }
  }
  return conversion;
}

// printf-style formatting into a text sized to the whole result; an output
// error gives an empty text.
template <typename Value>
std::string formatValue(const char* format, Value value) {
  const int size = std::snprintf(nullptr, 0, format, value);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  std::snprintf(out.data(), out.size() + 1, format, value);
  return out;
}

// "var": the named Element formatted with its "fmt" parameter (when that
// format fits the Element) or the default format of its kind.
void execVar(std::string_view variable, const Element* parameters, TemplateContext* context,
             LineSink sink) {
  const Element* element = getElement(context->elements.get(), variable);
  if (element == nullptr) return;
  const Element* fmt = getElement(parameters, kFormatParam);
  const bool isInt = element->kind == kElementInt;
  std::string format = isInt ? kIntFormat : kTextFormat;
  char conversion = isInt ? 'd' : 's';
  if (fmt != nullptr && fmt->text.data() != nullptr) {
    const char checked = checkedConversion(fmt->text, element->kind);
    if (checked != 0) {
      format.assign(fmt->text.data(), fmt->text.size());
      conversion = checked;
    }
  }
  std::string piece;
  if (!isInt) {
    // %s reads a NUL-terminated text: format a terminated copy.
    std::string text;
    if (!element->text.empty()) text.assign(element->text.data(), element->text.size());
    piece = formatValue(format.c_str(), text.c_str());
  } else if (conversion == 'd' || conversion == 'i' || conversion == 'c') {
    piece = formatValue(format.c_str(), static_cast<int>(element->number));
  } else {
    piece = formatValue(format.c_str(), static_cast<unsigned>(element->number));
  }
  sink(piece, context);
}

// "include": hands the file to the context's processor, or expands it to
// standard output. Includes nest at most kQuibMaxIncludeDepth deep, so a
// template that includes itself ends.
void execInclude(std::string_view value, TemplateContext* context) {
  if (context->includeDepth >= kQuibMaxIncludeDepth) return;
  const std::string path(value);
  std::string_view baseName = value;
  const size_t slash = baseName.rfind('/');
  if (slash != std::string_view::npos) baseName.remove_prefix(slash + 1);
  baseName = baseName.substr(0, baseName.find('.'));
  IncludeLevel level(context);
  if (context->processor != nullptr) {
    context->processor(baseName, path, context);
  } else {
    readTextFile(path, context, printSimpleText);
  }
}

// Carries out one directive; commands other than "include" and "var" do
// nothing. The enclosing sink never receives an include: a processor picks
// its own sink, a direct expansion goes to standard output.
void execCommand(std::string_view name, std::string_view value, const Element* parameters,
                 TemplateContext* context, LineSink sink) {
  if (name == kIncludeCommand) {
    execInclude(value, context);
  } else if (name == kVarCommand) {
    execVar(value, parameters, context, sink);
  }
}

// Splits a directive body into command name, value and parameters, and
// carries it out. A body without '=' holds no command and does nothing.
// Parameters are read only when at least two characters stand between the
// value's closing quote and the terminator (the end of body); a value
// without a closing quote has none.
void execDirective(std::string_view body, TemplateContext* context, LineSink sink) {
  const size_t equals = body.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view name = strtrim(body.substr(0, equals));
  const std::string_view rest = strtrim(body.substr(equals + 1));
  const std::string_view value = qtrim(rest);
  ElementList parameters;
  // The value starts one character into rest; a closing quote follows it
  // only when rest goes on after it.
  const size_t closing = 1 + value.size();
  if (!rest.empty() && closing < rest.size()) {
    const char* quote = rest.data() + closing;
    const char* terminator = body.data() + body.size();
    if (terminator - quote > 2) parameters = parseCommandParams(rest.substr(closing + 1));
  }
  execCommand(name, value, parameters.get(), context, sink);
}

}  // namespace

// Spaces and tabs removed at both ends; the result views the same text.
std::string_view strtrim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return text.substr(text.size());
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// The first character is taken as the opening quote without looking at it;
// the value runs to the next double quote, or to the end when there is none.
std::string_view qtrim(std::string_view text) {
  if (text.empty()) return text;
  const std::string_view rest = text.substr(1);
  return rest.substr(0, rest.find('"'));
}

// Items are separated by spaces only; the Elements view the given text.
ElementList parseCommandParams(std::string_view text) {
  ElementList head;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ') {
      ++pos;
      continue;
    }
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = text.substr(pos, end - pos);
    pos = end;
    std::string_view key = item;
    std::string_view value;  // a bare key has no value (null view)
    const size_t equals = item.find('=');
    if (equals != std::string_view::npos) {
      key = item.substr(0, equals);
      value = qtrim(strtrim(item.substr(equals + 1)));
    }
    if (!head) {
      head = strelem(key, value, nullptr);
    } else {
      head->next = strelem(key, value, std::move(head->next));
    }
  }
  return head;
}

void printSimpleText(std::string_view piece, TemplateContext*) {
  quibOut(piece);
}

// Without a context or with directives off the line is one piece. Otherwise
// the line is copied, so that nothing a directive does (a nested expansion,
// a sink that writes into the caller's text) can move the text being parsed.
void processLine(std::string_view line, TemplateContext* context, LineSink sink) {
  if (context == nullptr || context->directives == 0) {
    sink(line, context);
    return;
  }
  const std::string copy(line);
  std::string_view rest = copy;
  while (!rest.empty()) {
    const size_t opener = rest.find(kOpener);
    if (opener == std::string_view::npos) {
      sink(rest, context);
      return;
    }
    sink(rest.substr(0, opener), context);
    const size_t bodyStart = opener + kOpener.size();
    const size_t terminator = rest.find(kTerminator, bodyStart);
    if (terminator == std::string_view::npos) return;  // the rest of the line is dropped
    execDirective(rest.substr(bodyStart, terminator - bodyStart), context, sink);
    rest.remove_prefix(terminator + kTerminator.size());
  }
}

// Each read takes at most kQuibLineBufferSize - 1 bytes and stops after a
// newline; a longer line is expanded in several pieces.
void readTextFile(const std::string& path, TemplateContext* context, LineSink sink) {
  const FileHandle file(std::fopen(path.c_str(), "r"));
  if (!file) return;
  std::vector<char> buffer(kQuibLineBufferSize);
  while (std::fgets(buffer.data(), kQuibLineBufferSize, file.get()) != nullptr) {
    processLine(std::string_view(buffer.data(), std::strlen(buffer.data())), context, sink);
  }
}

void readStringBuf(std::string_view text, TemplateContext* context, LineSink sink) {
  size_t start = 0;
  for (;;) {
    const size_t newline = text.find('\n', start);
    if (newline == std::string_view::npos) break;
    processLine(text.substr(start, newline + 1 - start), context, sink);
    start = newline + 1;
  }
  processLine(text.substr(start), context, sink);
}
