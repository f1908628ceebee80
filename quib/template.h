// The template engine: template variables (elements.cpp) and the expansion
// of templates (template.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct Element;
// An ElementList is given by its head; the list owns its nodes, never the
// names or text values, which are borrowed from the caller.
using ElementList = std::unique_ptr<Element>;

constexpr int32_t kElementInt = 0;
constexpr int32_t kElementText = 1;

// One template variable.
struct Element {
  std::string_view name;
  int32_t kind = kElementInt;  // kElementInt or kElementText
  int32_t number = 0;          // the value of an integer Element
  std::string_view text;       // the value of a text Element (borrowed)
  ElementList next;
};

ElementList intelem(std::string_view name, int32_t value, ElementList next);
ElementList strelem(std::string_view name, std::string_view text, ElementList next);
// First Element of the list with that name (from the head), or null.
const Element* getElement(const Element* list, std::string_view name);
// Last Element of a non-empty list.
Element* getLastElem(Element* list);
// Releases every Element of the list (names and texts are not touched).
void disposeElems(ElementList list);

struct TemplateContext;
// Receives each expanded piece; the piece is valid only during the call.
using LineSink = void (*)(std::string_view piece, TemplateContext* context);
// Receives every include directive: base name, path as written.
using CommandProcessor = void (*)(std::string_view name, std::string_view path,
                                  TemplateContext* context);
// The page text that a "text" directive's name stands for; an empty text for
// a name it does not know. Set by the layer that owns the page texts.
using TextLookup = std::string_view (*)(std::string_view name);

// What travels through one expansion and into every include below it.
struct TemplateContext {
  ElementList elements;
  int32_t directives = 1;  // 0: lines pass through unchanged
  CommandProcessor processor = nullptr;
  void* userData = nullptr;
  int includeDepth = 0;        // includes in progress; bounded by kQuibMaxIncludeDepth
  TextLookup texts = nullptr;  // null: "text" directives produce nothing
};

// Includes nest at most this deep; a deeper include produces nothing.
constexpr int kQuibMaxIncludeDepth = 16;
// Template files are read in pieces of at most this many bytes less one.
constexpr int kQuibLineBufferSize = 32768;

// Expands the file at path; a file that cannot be opened produces nothing.
void readTextFile(const std::string& path, TemplateContext* context, LineSink sink);
// Expands an in-memory text, line by line (each line keeps its newline; the
// text after the last newline is the last line, even when empty).
void readStringBuf(std::string_view text, TemplateContext* context, LineSink sink);
// The standard sink: appends the piece unchanged to the response.
void printSimpleText(std::string_view piece, TemplateContext* context);
// Expands one line (context may be null: the line passes unchanged).
void processLine(std::string_view line, TemplateContext* context, LineSink sink);
// A template parsed once for many expansions: its text, its lines (each the
// one piece it gives with directives off) and the pieces that its lines give
// with directives on (texts, "var", "include" and "text" directives), in
// order. Expanding it is expanding its text with readStringBuf; a renderer
// that expands the same template for every row parses it once. A "text"
// directive is looked up when the template is parsed, so that its page text
// is found once however often the template is expanded.
struct QuibTemplatePiece {
  enum Kind : uint8_t { kText, kVar, kInclude, kNamedText };
  Kind kind = kText;
  // kVar: the conversion of the "fmt" text for an integer and for a text
  // Element; 0 when that Element's default format applies.
  char intConversion = 0;
  char textConversion = 0;
  // Positions in the template's text. kText: the text; kVar: the variable
  // name and the "fmt" text; kInclude: the path as written and its base name;
  // kNamedText: the name of its first "text" directive, and the page text in
  // namedTexts, with the plain text around it joined to it.
  size_t pos = 0, size = 0;
  size_t extraPos = 0, extraSize = 0;
};
struct QuibTemplate {
  std::string text;
  std::vector<std::pair<size_t, size_t>> lines;  // position and size
  std::vector<QuibTemplatePiece> pieces;
  std::string namedTexts;  // the page texts of the "text" pieces, one after another
};
// texts finds the page text of each "text" directive; without it (null) they
// produce nothing.
QuibTemplate quibParseTemplate(std::string_view text, TextLookup texts);
void quibExpandTemplate(const QuibTemplate& parsed, TemplateContext* context, LineSink sink);

// A parsed template bound to its variables once, for a renderer that expands
// it many times (once per row) while the values change in place: for each
// piece, the Element that a "var" piece reads (null for other pieces and for
// names that nothing holds). Binding looks a name up in the list first, then
// in the array of Elements (by name, the first one wins), as a lookup in the
// list with the array's Elements hung behind its tail in order would. The
// list's Elements and the array must outlive the binding.
using QuibBinding = std::vector<const Element*>;
QuibBinding quibBindTemplate(const QuibTemplate& parsed, const Element* list, const Element* array,
                             size_t count);
// True when the template has an "include" piece, which a binding cannot
// expand (an include runs with a context).
bool quibHasInclude(const QuibTemplate& parsed);
// Appends the expansion of a template without includes to out, reading each
// "var" from its bound Element and formatting it as quibExpandTemplate does;
// a "text" piece gives the page text found when the template was parsed.
void quibExpandBound(const QuibTemplate& parsed, const QuibBinding& binding, std::string& out);

// Parses the parameter text of a directive (what follows the value's closing
// quote, up to the end of the body) into text Elements: the first item is the
// head, each later one is inserted right after the head. A bare key is an
// Element of kind kElementText whose text is a null view (data() == nullptr).
ElementList parseCommandParams(std::string_view text);

// Spaces and tabs removed at both ends.
std::string_view strtrim(std::string_view text);
// The text after its first character (taken as the opening quote) up to the
// next double quote, or to the end when there is none.
std::string_view qtrim(std::string_view text);
