// The template engine: expands template lines, their "var", "include" and
// "text" directives, and the text trimming helpers shared with the cookie code.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quib/response.h"
#include "quib/template.h"

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kOpener = "<!--%quib ";
constexpr std::string_view kTerminator = "%-->";
constexpr std::string_view kIncludeCommand = "include";
constexpr std::string_view kVarCommand = "var";
constexpr std::string_view kTextCommand = "text";
constexpr std::string_view kFormatParam = "fmt";
constexpr std::string_view kIntFormat = "%d";
constexpr std::string_view kTextFormat = "%s";
constexpr std::string_view kTwoDigitFormat = "%02d";
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

// The line buffer of one file being read. Files read inside the reading of
// another (includes, templates loaded by a renderer) each have their own;
// the buffers are kept for the next file at the same level, so that a page
// that reads many files does not allocate and clear one for each.
class LineBuffer {
 public:
  LineBuffer() : level_(levels()++) {
    std::vector<std::vector<char>>& buffers = pool();
    if (buffers.size() <= level_) buffers.resize(level_ + 1);
    if (buffers[level_].empty()) buffers[level_].resize(kQuibLineBufferSize);
    data_ = buffers[level_].data();
  }
  ~LineBuffer() { --levels(); }
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  char* data() const { return data_; }

 private:
  static size_t& levels() {
    static size_t count = 0;
    return count;
  }
  static std::vector<std::vector<char>>& pool() {
    static std::vector<std::vector<char>> buffers;
    return buffers;
  }
  size_t level_;
  char* data_;
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

// The decimal digits of value, as "%d" writes them.
std::string_view decimal(int32_t value, char (&buffer)[16]) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string_view(buffer, static_cast<size_t>(result.ptr - buffer));
}

// The value of a "var" piece's Element formatted with its "fmt" parameter
// (when that format fits the Element) or the default format of its kind,
// handed to emit as one text. The formats that the templates use most
// ("%d", "%02d", "%s") are written directly; every other one goes through
// the C library.
template <typename Emit>
void formatVar(const QuibTemplatePiece& piece, std::string_view text, const Element& element,
               Emit&& emit) {
  const bool isInt = element.kind == kElementInt;
  char conversion = isInt ? piece.intConversion : piece.textConversion;
  if (!isInt && element.kind != kElementText) conversion = 0;
  const std::string_view format = conversion != 0 ? text.substr(piece.extraPos, piece.extraSize)
                                  : isInt         ? kIntFormat
                                                  : kTextFormat;
  if (conversion == 0) conversion = isInt ? 'd' : 's';
  if (!isInt) {
    // %s reads a NUL-terminated text: it ends at the first NUL.
    const std::string_view value = element.text.substr(0, element.text.find('\0'));
    if (format == kTextFormat) {
      emit(value);
      return;
    }
    const std::string terminated(value);
    emit(formatValue(std::string(format).c_str(), terminated.c_str()));
    return;
  }
  char buffer[16];
  if (format == kIntFormat) {
    emit(decimal(element.number, buffer));
  } else if (format == kTwoDigitFormat) {
    if (element.number >= 0 && element.number < 10) {
      buffer[0] = '0';
      buffer[1] = static_cast<char>('0' + element.number);
      emit(std::string_view(buffer, 2));
    } else {
      emit(decimal(element.number, buffer));
    }
  } else if (conversion == 'd' || conversion == 'i' || conversion == 'c') {
    emit(formatValue(std::string(format).c_str(), static_cast<int>(element.number)));
  } else {
    emit(formatValue(std::string(format).c_str(), static_cast<unsigned>(element.number)));
  }
}

// "var": the named Element, formatted, as one piece to the sink.
void execVar(const QuibTemplatePiece& piece, std::string_view text, TemplateContext* context,
             LineSink sink) {
  const Element* element = getElement(context->elements.get(), text.substr(piece.pos, piece.size));
  if (element == nullptr) return;
  formatVar(piece, text, *element, [&](std::string_view value) { sink(value, context); });
}

// "include": hands the file to the context's processor, or expands it to
// standard output. Includes nest at most kQuibMaxIncludeDepth deep, so a
// template that includes itself ends. The enclosing sink never receives an
// include: a processor picks its own sink, a direct expansion goes to
// standard output.
void execInclude(std::string_view value, std::string_view baseName, TemplateContext* context) {
  if (context->includeDepth >= kQuibMaxIncludeDepth) return;
  const std::string path(value);
  IncludeLevel level(context);
  if (context->processor != nullptr) {
    context->processor(baseName, path, context);
  } else {
    readTextFile(path, context, printSimpleText);
  }
}

// Position of a view into the template's text.
size_t offsetIn(const QuibTemplate& parsed, std::string_view part) {
  return static_cast<size_t>(part.data() - parsed.text.data());
}

// True when the last piece is a page text whose text ends namedTexts, so
// that text after it can join it.
bool endsInNamedText(const QuibTemplate& parsed) {
  if (parsed.pieces.empty()) return false;
  const QuibTemplatePiece& last = parsed.pieces.back();
  return last.kind == QuibTemplatePiece::kNamedText &&
         last.extraPos + last.extraSize == parsed.namedTexts.size();
}

// Appends the page text found for a "text" directive. It joins the text of
// the pieces around it into one piece, so that a row template with page
// texts costs no more pieces per row than one without.
void addNamedText(QuibTemplate& parsed, std::string_view name, std::string_view found) {
  // The joined texts are about as long as the template: room for them once.
  if (parsed.namedTexts.empty()) parsed.namedTexts.reserve(parsed.text.size() + found.size());
  if (!parsed.pieces.empty() && parsed.pieces.back().kind == QuibTemplatePiece::kText) {
    QuibTemplatePiece& literal = parsed.pieces.back();
    literal.kind = QuibTemplatePiece::kNamedText;
    literal.extraPos = parsed.namedTexts.size();
    literal.extraSize = literal.size;
    parsed.namedTexts.append(parsed.text, literal.pos, literal.size);
  }
  if (!endsInNamedText(parsed)) {
    QuibTemplatePiece piece;
    piece.kind = QuibTemplatePiece::kNamedText;
    piece.pos = offsetIn(parsed, name);
    piece.size = name.size();
    piece.extraPos = parsed.namedTexts.size();
    parsed.pieces.push_back(piece);
  }
  parsed.pieces.back().extraSize += found.size();
  parsed.namedTexts.append(found.data(), found.size());
}

void addPiece(QuibTemplate& parsed, QuibTemplatePiece::Kind kind, std::string_view part,
              std::string_view extra = {}) {
  if (kind == QuibTemplatePiece::kText && endsInNamedText(parsed)) {
    parsed.pieces.back().extraSize += part.size();
    parsed.namedTexts.append(part.data(), part.size());
    return;
  }
  QuibTemplatePiece piece;
  piece.kind = kind;
  piece.pos = offsetIn(parsed, part);
  piece.size = part.size();
  if (!extra.empty()) {
    piece.extraPos = offsetIn(parsed, extra);
    piece.extraSize = extra.size();
  }
  parsed.pieces.push_back(piece);
}

// Splits a directive body into command name, value and parameters, and
// records what it does: "include", "var" and "text" become pieces, any other
// command nothing. A "text" piece holds the page text that texts finds for
// its name (none without texts or for a name that it does not know). A body
// without '=' holds no command and does nothing. Parameters are read only
// when at least two characters stand between the value's closing quote and
// the terminator (the end of body); a value without a closing quote has none.
void parseDirective(QuibTemplate& parsed, std::string_view body, TextLookup texts) {
  const size_t equals = body.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view name = strtrim(body.substr(0, equals));
  const std::string_view rest = strtrim(body.substr(equals + 1));
  const std::string_view value = qtrim(rest);
  if (name == kIncludeCommand) {
    // The base name is the value after its last '/', cut before its first '.'.
    std::string_view baseName = value;
    const size_t slash = baseName.rfind('/');
    if (slash != std::string_view::npos) baseName.remove_prefix(slash + 1);
    baseName = baseName.substr(0, baseName.find('.'));
    addPiece(parsed, QuibTemplatePiece::kInclude, value, baseName);
    // An empty base name has no position of its own; its size says enough.
    parsed.pieces.back().extraPos = offsetIn(parsed, baseName);
    return;
  }
  if (name == kTextCommand) {
    addNamedText(parsed, value, texts != nullptr ? texts(value) : std::string_view());
    return;
  }
  if (name != kVarCommand) return;
  ElementList parameters;
  // The value starts one character into rest; a closing quote follows it
  // only when rest goes on after it.
  const size_t closing = 1 + value.size();
  if (!rest.empty() && closing < rest.size()) {
    const char* quote = rest.data() + closing;
    const char* terminator = body.data() + body.size();
    if (terminator - quote > 2) parameters = parseCommandParams(rest.substr(closing + 1));
  }
  addPiece(parsed, QuibTemplatePiece::kVar, value);
  const Element* fmt = getElement(parameters.get(), kFormatParam);
  if (fmt != nullptr && fmt->text.data() != nullptr) {
    QuibTemplatePiece& piece = parsed.pieces.back();
    piece.extraPos = offsetIn(parsed, fmt->text);
    piece.extraSize = fmt->text.size();
    piece.intConversion = checkedConversion(fmt->text, kElementInt);
    piece.textConversion = checkedConversion(fmt->text, kElementText);
  }
}

// Records the pieces of the line at [begin, begin + size) of the text: the
// text before each directive (also when empty), the directive, and the rest
// of the line when it is not empty. A directive without its terminator drops
// the rest of the line.
void parseLine(QuibTemplate& parsed, size_t begin, size_t size, TextLookup texts) {
  std::string_view rest = std::string_view(parsed.text).substr(begin, size);
  while (!rest.empty()) {
    const size_t opener = rest.find(kOpener);
    if (opener == std::string_view::npos) {
      addPiece(parsed, QuibTemplatePiece::kText, rest);
      return;
    }
    addPiece(parsed, QuibTemplatePiece::kText, rest.substr(0, opener));
    const size_t bodyStart = opener + kOpener.size();
    const size_t terminator = rest.find(kTerminator, bodyStart);
    if (terminator == std::string_view::npos) return;  // the rest of the line is dropped
    parseDirective(parsed, rest.substr(bodyStart, terminator - bodyStart), texts);
    rest.remove_prefix(terminator + kTerminator.size());
  }
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

QuibTemplate quibParseTemplate(std::string_view text, TextLookup texts) {
  QuibTemplate parsed;
  parsed.text.assign(text.data(), text.size());
  size_t start = 0;
  for (;;) {
    const size_t newline = parsed.text.find('\n', start);
    const size_t end = newline == std::string::npos ? parsed.text.size() : newline + 1;
    parsed.lines.emplace_back(start, end - start);
    parseLine(parsed, start, end - start, texts);
    if (newline == std::string::npos) break;
    start = end;
  }
  return parsed;
}

// Without a context or with directives off every line is one piece.
void quibExpandTemplate(const QuibTemplate& parsed, TemplateContext* context, LineSink sink) {
  const std::string_view text = parsed.text;
  if (context == nullptr || context->directives == 0) {
    for (const auto& [pos, size] : parsed.lines) sink(text.substr(pos, size), context);
    return;
  }
  for (const QuibTemplatePiece& piece : parsed.pieces) {
    switch (piece.kind) {
      case QuibTemplatePiece::kText:
        sink(text.substr(piece.pos, piece.size), context);
        break;
      case QuibTemplatePiece::kVar:
        execVar(piece, text, context, sink);
        break;
      case QuibTemplatePiece::kInclude:
        execInclude(text.substr(piece.pos, piece.size),
                    text.substr(piece.extraPos, piece.extraSize), context);
        break;
      case QuibTemplatePiece::kNamedText:
        if (piece.extraSize != 0) {
          sink(std::string_view(parsed.namedTexts).substr(piece.extraPos, piece.extraSize),
               context);
        }
        break;
    }
  }
}

QuibBinding quibBindTemplate(const QuibTemplate& parsed, const Element* list, const Element* array,
                             size_t count) {
  QuibBinding binding(parsed.pieces.size(), nullptr);
  for (size_t i = 0; i < parsed.pieces.size(); ++i) {
    const QuibTemplatePiece& piece = parsed.pieces[i];
    if (piece.kind != QuibTemplatePiece::kVar) continue;
    const std::string_view name = std::string_view(parsed.text).substr(piece.pos, piece.size);
    const Element* element = getElement(list, name);
    for (size_t slot = 0; element == nullptr && slot < count; ++slot) {
      if (array[slot].name == name) element = &array[slot];
    }
    binding[i] = element;
  }
  return binding;
}

bool quibHasInclude(const QuibTemplate& parsed) {
  for (const QuibTemplatePiece& piece : parsed.pieces) {
    if (piece.kind == QuibTemplatePiece::kInclude) return true;
  }
  return false;
}

void quibExpandBound(const QuibTemplate& parsed, const QuibBinding& binding, std::string& out) {
  const std::string_view text = parsed.text;
  const auto append = [&out](std::string_view value) { out.append(value.data(), value.size()); };
  for (size_t i = 0; i < parsed.pieces.size(); ++i) {
    const QuibTemplatePiece& piece = parsed.pieces[i];
    if (piece.kind == QuibTemplatePiece::kText) {
      out.append(text.data() + piece.pos, piece.size);
    } else if (piece.kind == QuibTemplatePiece::kVar && binding[i] != nullptr) {
      formatVar(piece, text, *binding[i], append);
    } else if (piece.kind == QuibTemplatePiece::kNamedText) {
      out.append(parsed.namedTexts, piece.extraPos, piece.extraSize);
    }
  }
}

// Without a context or with directives off the line is one piece. Otherwise
// the line is parsed from a copy of its own, so that nothing a directive
// does (a nested expansion, a sink that writes into the caller's text) can
// move the text being expanded.
void processLine(std::string_view line, TemplateContext* context, LineSink sink) {
  if (context == nullptr || context->directives == 0) {
    sink(line, context);
    return;
  }
  QuibTemplate parsed;
  parsed.text.assign(line.data(), line.size());
  parseLine(parsed, 0, parsed.text.size(), context->texts);
  quibExpandTemplate(parsed, context, sink);
}

// Each read takes at most kQuibLineBufferSize - 1 bytes and stops after a
// newline; a longer line is expanded in several pieces.
void readTextFile(const std::string& path, TemplateContext* context, LineSink sink) {
  const FileHandle file(std::fopen(path.c_str(), "r"));
  if (!file) return;
  const LineBuffer buffer;
  while (std::fgets(buffer.data(), kQuibLineBufferSize, file.get()) != nullptr) {
    processLine(std::string_view(buffer.data(), std::strlen(buffer.data())), context, sink);
  }
}

void readStringBuf(std::string_view text, TemplateContext* context, LineSink sink) {
  quibExpandTemplate(quibParseTemplate(text, context != nullptr ? context->texts : nullptr),
                     context, sink);
}
