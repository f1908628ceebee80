// The template engine: directive parsing, "var" formatting, "text" lookups,
// includes, and the line splitting of files and in-memory texts.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "quib/quib.h"
#include "support/stdout_capture.h"
#include "support/test_env.h"

namespace {

using Pieces = std::vector<std::string>;

// A sink that records every piece in the Pieces that the context's user data
// points to; a null context records into nullContextPieces.
Pieces nullContextPieces;
void recordPiece(std::string_view piece, TemplateContext* context) {
  Pieces* pieces = context != nullptr ? static_cast<Pieces*>(context->userData) : nullptr;
  (pieces != nullptr ? *pieces : nullContextPieces).emplace_back(piece);
}

// A context that processes directives and records into pieces.
struct Recorder {
  Pieces pieces;
  TemplateContext context;
  explicit Recorder(ElementList elements = nullptr) {
    context.elements = std::move(elements);
    context.userData = &pieces;
  }
};

Pieces expandLine(std::string_view line, ElementList elements = nullptr) {
  Recorder recorder(std::move(elements));
  processLine(line, &recorder.context, recordPiece);
  return recorder.pieces;
}

// The piece that one "var" directive for the variable "v" produces, or
// "<none>" when the line gives no piece for it.
std::string formatted(ElementList elements, const std::string& parameters) {
  Pieces pieces = expandLine("<!--%quib var=\"v\" " + parameters + "%-->", std::move(elements));
  return pieces.size() == 2 ? pieces[1] : "<none>";
}
std::string formattedInt(int32_t value, const std::string& format) {
  return formatted(intelem("v", value, nullptr), "fmt=\"" + format + "\"");
}
std::string formattedText(std::string_view value, const std::string& format) {
  return formatted(strelem("v", value, nullptr), "fmt=\"" + format + "\"");
}

std::string directive(const std::string& body) {
  return "<!--%quib " + body + "%-->";
}

// The page texts of the "text" directives: two names, and none for the rest.
std::string_view pageText(std::string_view name) {
  if (name == "kSignIn") return "Sign in";
  if (name == "kBlank") return "";
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------
// Pieces of a line
// ---------------------------------------------------------------------------

TEST(TemplateLine, DirectiveSplitsTheLineIntoThreePieces) {
  EXPECT_EQ(
      expandLine("a" + directive("var=\"tfMm\" fmt=\"%02d\"") + "b\n", intelem("tfMm", 7, nullptr)),
      (Pieces{"a", "07", "b\n"}));
}

TEST(TemplateLine, DirectiveAtTheStartGivesAnEmptyPieceFirst) {
  EXPECT_EQ(
      expandLine(directive("var=\"formTitle\"") + "\n", strelem("formTitle", "Web Timer", nullptr)),
      (Pieces{"", "Web Timer", "\n"}));
}

TEST(TemplateLine, TwoDirectivesGiveTheTextBetweenEvenWhenEmpty) {
  ElementList vars = intelem("x", 1, intelem("y", 2, nullptr));
  EXPECT_EQ(
      expandLine("<" + directive("var=\"x\"") + directive("var=\"y\"") + ">\n", std::move(vars)),
      (Pieces{"<", "1", "", "2", ">\n"}));
  // A line that ends with a directive has no piece after it.
  EXPECT_EQ(expandLine(directive("var=\"x\""), intelem("x", 1, nullptr)), (Pieces{"", "1"}));
}

TEST(TemplateLine, PlainLinesAreOnePiece) {
  EXPECT_EQ(expandLine("<p>plain %s %d text</p>\n"), (Pieces{"<p>plain %s %d text</p>\n"}));
  EXPECT_EQ(expandLine("<!--%quib"), (Pieces{"<!--%quib"}));  // no space: no opener
  EXPECT_EQ(expandLine(""), Pieces{});
}

TEST(TemplateLine, DirectivesThatProduceNothing) {
  // A missing variable, an unknown command, a body without '=', an empty body.
  ElementList vars = intelem("known", 1, nullptr);
  EXPECT_EQ(expandLine("a" + directive("var=\"unknown\"") + "b\n", std::move(vars)),
            (Pieces{"a", "b\n"}));
  vars = intelem("known", 1, nullptr);
  EXPECT_EQ(expandLine("a" + directive("echo=\"known\"") + "b\n", std::move(vars)),
            (Pieces{"a", "b\n"}));
  vars = intelem("known", 1, nullptr);
  EXPECT_EQ(expandLine("a" + directive("var") + directive("") + "b\n", std::move(vars)),
            (Pieces{"a", "", "b\n"}));
  vars = intelem("known", 1, nullptr);
  EXPECT_EQ(expandLine("a" + directive("var=") + "b\n", std::move(vars)), (Pieces{"a", "b\n"}));
}

TEST(TemplateLine, MissingTerminatorDropsTheRestOfTheLine) {
  ElementList vars = intelem("v", 1, nullptr);
  EXPECT_EQ(expandLine("x<!--%quib var=\"v\" -->\n", std::move(vars)), (Pieces{"x"}));
  vars = intelem("v", 1, nullptr);
  EXPECT_EQ(expandLine(directive("var=\"v\"") + "y<!--%quib var=\"v\"\n", std::move(vars)),
            (Pieces{"", "1", "y"}));
}

TEST(TemplateLine, BlanksAroundNameAndValueAreIgnoredButNotInsideTheQuotes) {
  ElementList vars = strelem(" padded\tname ", "inner", strelem("plain", "outer", nullptr));
  EXPECT_EQ(
      expandLine(directive(" \t var\t = \t\"plain\" \t") + directive("var=\" padded\tname \""),
                 std::move(vars)),
      (Pieces{"", "outer", "", "inner"}));
}

TEST(TemplateLine, ValueWithoutClosingQuoteRunsToTheEndOfTheTrimmedBody) {
  ElementList vars = strelem("Web Title", "found", nullptr);
  EXPECT_EQ(expandLine(directive("var=\"Web Title  \t"), std::move(vars)), (Pieces{"", "found"}));
  // Such a value has no parameters: the text that looks like one is part of it.
  vars = strelem("n fmt=%03d", "whole", intelem("n", 5, nullptr));
  EXPECT_EQ(expandLine(directive("var=\"n fmt=%03d"), std::move(vars)), (Pieces{"", "whole"}));
}

TEST(TemplateLine, WithoutContextOrWithDirectivesOffTheLineIsUnchanged) {
  const std::string line = "a" + directive("var=\"v\"") + "b<!--%quib include=\"x\"\n";
  nullContextPieces.clear();
  processLine(line, nullptr, recordPiece);
  EXPECT_EQ(nullContextPieces, (Pieces{line}));

  Recorder recorder(intelem("v", 1, nullptr));
  recorder.context.directives = 0;
  processLine(line, &recorder.context, recordPiece);
  EXPECT_EQ(recorder.pieces, (Pieces{line}));
}

TEST(TemplateLine, TheNearestElementToTheHeadIsUsed) {
  EXPECT_EQ(expandLine(directive("var=\"v\""), strelem("v", "new", strelem("v", "old", nullptr))),
            (Pieces{"", "new"}));
}

// ---------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------

TEST(TemplateParams, FirstItemIsTheHeadAndLaterOnesFollowItInReverse) {
  ElementList params = parseCommandParams("a=\"1\" b=\"2\"   c=\"3\"");
  std::vector<std::string> order;
  for (const Element* e = params.get(); e != nullptr; e = e->next.get()) {
    order.emplace_back(std::string(e->name) + ":" + std::string(e->text));
    EXPECT_EQ(e->kind, kElementText);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"a:1", "c:3", "b:2"}));
  EXPECT_EQ(parseCommandParams(""), nullptr);
  EXPECT_EQ(parseCommandParams("    "), nullptr);
}

TEST(TemplateParams, BareKeysHaveNoValueAndEmptyValuesDo) {
  ElementList params = parseCommandParams("bare empty= quoted=\"\"");
  const Element* bare = getElement(params.get(), "bare");
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->text.data(), nullptr);
  const Element* empty = getElement(params.get(), "empty");
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(empty->text.data(), nullptr);
  EXPECT_TRUE(empty->text.empty());
  const Element* quoted = getElement(params.get(), "quoted");
  ASSERT_NE(quoted, nullptr);
  EXPECT_NE(quoted->text.data(), nullptr);
  EXPECT_TRUE(quoted->text.empty());
}

TEST(TemplateParams, OnlySpacesSeparateAndValuesAreTrimmedAndUnquoted) {
  ElementList params = parseCommandParams("k=\t\"v\"\t tab\tkey a=\"x=y\"");
  EXPECT_EQ(getElement(params.get(), "k")->text, "v");
  ASSERT_NE(getElement(params.get(), "tab\tkey"), nullptr);
  EXPECT_EQ(getElement(params.get(), "a")->text, "x=y");
  // Values are taken as quoted: the first character is dropped unseen.
  params = parseCommandParams("w=%02d");
  EXPECT_EQ(getElement(params.get(), "w")->text, "02d");
}

TEST(TemplateParams, DuplicateFmtKeys) {
  // The first item wins when it is one of them, otherwise the last one does.
  EXPECT_EQ(formatted(intelem("v", 7, nullptr), "fmt=\"%03d\" fmt=\"%05d\""), "007");
  EXPECT_EQ(formatted(intelem("v", 7, nullptr), "x fmt=\"%03d\" fmt=\"%05d\""), "00007");
}

TEST(TemplateParams, ParametersNeedTwoCharactersBeforeTheTerminator) {
  ElementList vars = intelem("v", 7, nullptr);
  EXPECT_EQ(expandLine(directive("var=\"v\"fmt=\"%03d\""), std::move(vars)), (Pieces{"", "007"}));
  // A bare "fmt", or one without a value, leaves the default format.
  EXPECT_EQ(formatted(intelem("v", 7, nullptr), "fmt"), "7");
  EXPECT_EQ(formatted(intelem("v", 7, nullptr), "fmt="), "7");
  EXPECT_EQ(formatted(intelem("v", 7, nullptr), "other=\"%03d\""), "7");
  vars = intelem("v", 7, nullptr);
  EXPECT_EQ(expandLine(directive("var=\"v\" ") + directive("var=\"v\"  "), std::move(vars)),
            (Pieces{"", "7", "", "7"}));
}

// ---------------------------------------------------------------------------
// "var" formatting
// ---------------------------------------------------------------------------

TEST(TemplateVar, FormatsThatFitTheElementAreUsed) {
  EXPECT_EQ(formattedInt(42, "%05d"), "00042");
  EXPECT_EQ(formattedInt(42, "[%-4d]"), "[42  ]");
  EXPECT_EQ(formattedInt(42, "%+i"), "+42");
  EXPECT_EQ(formattedInt(42, "%+.3d"), "+042");
  EXPECT_EQ(formattedInt(255, "%x"), "ff");
  EXPECT_EQ(formattedInt(255, "%#X"), "0XFF");
  EXPECT_EQ(formattedInt(8, "%o"), "10");
  EXPECT_EQ(formattedInt(-1, "%u"), "4294967295");
  EXPECT_EQ(formattedInt(65, "%c"), "A");
  EXPECT_EQ(formattedInt(42, "100%%_of_%d%%"), "100%_of_42%");
  EXPECT_EQ(formattedInt(42, "%4096d"), std::string(4094, ' ') + "42");
  EXPECT_EQ(formattedText("News", "[%-6s]"), "[News  ]");
  EXPECT_EQ(formattedText("News", "%.2s"), "Ne");
  EXPECT_EQ(formattedText("News", "%6s"), "  News");
}

TEST(TemplateVar, HostileFormatsFallBackToTheDefault) {
  const char* const intFormats[] = {
      "%n",      "%s",  "%d%d",   "%*d",  "%ld",   "%lld", "%hhd", "%jd", "%999999d",
      "%.4097d", "%%d", "%05.2f", "%x%X", "%",     "abc%", "%1$d", "%#d", "%0c",
      "%.2c",    "%p",  "%-*.*d", "",     "plain", "%5%d", "%e"};
  for (const char* format : intFormats) {
    EXPECT_EQ(formattedInt(-42, format), "-42") << format;
  }
  const char* const textFormats[] = {"%d",  "%n", "%s%s",     "%*s", "%ls", "%05s",
                                     "%#s", "%c", "%.99999s", "%%s", "%S"};
  for (const char* format : textFormats) {
    EXPECT_EQ(formattedText("News & Weather", format), "News & Weather") << format;
  }
}

TEST(TemplateVar, OutputHoldsTheWholeResult) {
  const std::string longText(100000, 'w');
  EXPECT_EQ(formatted(strelem("v", longText, nullptr), ""), longText);
  EXPECT_EQ(formattedText(longText, "[%s]"), "[" + longText + "]");
  EXPECT_EQ(formattedInt(INT32_MIN, "%d"), "-2147483648");
}

TEST(TemplateVar, TextValuesAreCopiedBeforeFormatting) {
  // The borrowed text is a view into a longer one: only the view is written.
  const std::string storage = "TitleAndMore";
  EXPECT_EQ(formattedText(std::string_view(storage).substr(0, 5), "<%s>"), "<Title>");
  EXPECT_EQ(formatted(strelem("v", std::string_view(storage).substr(0, 5), nullptr), ""), "Title");
  EXPECT_EQ(formatted(strelem("v", "", nullptr), ""), "");
}

// ---------------------------------------------------------------------------
// Trimming
// ---------------------------------------------------------------------------

TEST(TemplateTrim, StrtrimRemovesSpacesAndTabsOnly) {
  EXPECT_EQ(strtrim(" \t a \t b\t "), "a \t b");
  EXPECT_EQ(strtrim("ab"), "ab");
  EXPECT_EQ(strtrim(" \t "), "");
  EXPECT_EQ(strtrim(""), "");
  EXPECT_EQ(strtrim("\nx\r"), "\nx\r");
  const std::string text = "  value  ";
  EXPECT_EQ(strtrim(text).data(), text.data() + 2);  // a view of the same text
}

TEST(TemplateTrim, QtrimDropsTheFirstCharacterAndEndsAtTheNextQuote) {
  EXPECT_EQ(qtrim("\"abc\" rest"), "abc");
  EXPECT_EQ(qtrim("\"abc"), "abc");
  EXPECT_EQ(qtrim("\"\""), "");
  EXPECT_EQ(qtrim("\""), "");
  EXPECT_EQ(qtrim(""), "");
  EXPECT_EQ(qtrim("xab\"c"), "ab");
  EXPECT_EQ(qtrim("'ab'"), "ab'");
}

// ---------------------------------------------------------------------------
// In-memory texts and files
// ---------------------------------------------------------------------------

TEST(TemplateText, StringBufKeepsNewlinesAndExpandsTheLastLine) {
  Recorder on;
  readStringBuf("a\nb", &on.context, recordPiece);
  EXPECT_EQ(on.pieces, (Pieces{"a\n", "b"}));

  Recorder onTrailing;
  readStringBuf("a\n\nc\n", &onTrailing.context, recordPiece);
  EXPECT_EQ(onTrailing.pieces, (Pieces{"a\n", "\n", "c\n"}));  // the empty last line: no piece

  Recorder off;
  off.context.directives = 0;
  readStringBuf("a\n", &off.context, recordPiece);
  EXPECT_EQ(off.pieces, (Pieces{"a\n", ""}));

  nullContextPieces.clear();
  readStringBuf("", nullptr, recordPiece);
  EXPECT_EQ(nullContextPieces, (Pieces{""}));
}

// A "text" directive gives the page text of its name as one piece; an
// unknown name, an empty text and a context without texts give none, and
// with directives off the line passes as it stands.
TEST(TemplateText, TextDirectiveGivesThePageTextOfItsName) {
  const std::string line = "<h2>" + directive("text=\"kSignIn\"") + "|" +
                           directive("text=\"kMissing\"") + directive("text=\"kBlank\"") + "|" +
                           directive("text=\"kSignIn\" fmt=\"%d\"") + "</h2>\n";
  Recorder known;
  known.context.texts = pageText;
  processLine(line, &known.context, recordPiece);
  // A page text is joined with the plain text around it into one piece.
  EXPECT_EQ(known.pieces, (Pieces{"<h2>Sign in||Sign in</h2>\n"}));

  Recorder buffered;
  buffered.context.texts = pageText;
  readStringBuf(line, &buffered.context, recordPiece);
  EXPECT_EQ(buffered.pieces, known.pieces);

  EXPECT_EQ(expandLine(line), (Pieces{"<h2>||</h2>\n"}));

  Recorder off;
  off.context.texts = pageText;
  off.context.directives = 0;
  processLine(line, &off.context, recordPiece);
  EXPECT_EQ(off.pieces, (Pieces{line}));
}

TEST(TemplateText, StringBufExpandsDirectivesPerLine) {
  Recorder recorder(intelem("n", 3, nullptr));
  readStringBuf("<td>" + directive("var=\"n\"") + "</td>\n" + directive("var=\"n\" fmt=\"%02d\""),
                &recorder.context, recordPiece);
  EXPECT_EQ(recorder.pieces, (Pieces{"<td>", "3", "</td>\n", "", "03"}));
}

TEST(TemplateText, ParsedTemplateLooksItsVariablesUpAtEveryExpansion) {
  const QuibTemplate parsed = quibParseTemplate(
      "<td>" + directive("var=\"n\" fmt=\"%02d\"") + "|" + directive("var=\"t\"") + "</td>\n" +
          directive("var=\"n\" fmt=\"%x\"") + directive("include=\"forms/chopts.inc\""),
      nullptr);
  std::vector<std::string> includes;
  for (int32_t n : {7, -3, 255}) {
    Recorder recorder(intelem("n", n, strelem("t", std::string_view("a\0b", 3), nullptr)));
    recorder.context.processor = [](std::string_view name, std::string_view,
                                    TemplateContext* context) {
      static_cast<Pieces*>(context->userData)->push_back("<" + std::string(name) + ">");
    };
    quibExpandTemplate(parsed, &recorder.context, recordPiece);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(n));
    char twoDigits[16];
    std::snprintf(twoDigits, sizeof twoDigits, "%02d", n);
    // The same pieces as the line-by-line reading; %s ends at a NUL.
    EXPECT_EQ(recorder.pieces,
              (Pieces{"<td>", twoDigits, "|", "a", "</td>\n", "", hex, "", "<chopts>"}));
  }
  Recorder off;
  off.context.directives = 0;
  quibExpandTemplate(parsed, &off.context, recordPiece);
  EXPECT_EQ(off.pieces.size(), 2u);
}

// A bound template reads the list first, then the array in order (as a
// lookup with the array hung behind the list's tail), and sees the array's
// values change in place.
TEST(TemplateText, BoundTemplateReadsTheListThenTheArray) {
  const QuibTemplate parsed =
      quibParseTemplate("<td>" + directive("var=\"n\" fmt=\"%03d\"") + "|" +
                            directive("var=\"page\"") + "|" + directive("var=\"t\"") + "|" +
                            directive("var=\"none\"") + directive("var=\"n\" fmt=\"%x\"") + "|" +
                            directive("text=\"kSignIn\"") + directive("text=\"kNone\"") + "</td>\n",
                        pageText);
  const ElementList page = strelem("page", "P", strelem("t", "list", nullptr));
  std::array<Element, 3> array;
  array[0].name = "n";
  array[1].name = "t";
  array[1].kind = kElementText;
  array[2].name = "n";  // hidden by the first "n"
  array[2].number = 99;
  const QuibBinding binding = quibBindTemplate(parsed, page.get(), array.data(), array.size());
  std::string out = "x";
  for (int32_t n : {7, -3}) {
    array[0].number = n;
    quibExpandBound(parsed, binding, out);
  }
  EXPECT_EQ(out, "x<td>007|P|list|7|Sign in</td>\n<td>-03|P|list|fffffffd|Sign in</td>\n");
  EXPECT_FALSE(quibHasInclude(parsed));
  EXPECT_TRUE(quibHasInclude(quibParseTemplate(directive("include=\"a.inc\""), nullptr)));
}

TEST(TemplateText, FilesAreReadLineByLine) {
  TempDir dir;
  writeFile(dir.file("page.shtml"), "<h1>" + directive("var=\"t\"") + "</h1>\nend");
  Recorder recorder(strelem("t", "Timers", nullptr));
  readTextFile(dir.file("page.shtml"), &recorder.context, recordPiece);
  EXPECT_EQ(recorder.pieces, (Pieces{"<h1>", "Timers", "</h1>\n", "end"}));

  Recorder missing;
  readTextFile(dir.file("missing.shtml"), &missing.context, recordPiece);
  EXPECT_EQ(missing.pieces, Pieces{});
}

TEST(TemplateText, LongLinesAreReadInPiecesOfAtMost32767Bytes) {
  TempDir dir;
  const size_t maxRead = kQuibLineBufferSize - 1;
  writeFile(dir.file("long"), std::string(40000, 'x') + "\nnext\n");
  Recorder off;
  off.context.directives = 0;
  readTextFile(dir.file("long"), &off.context, recordPiece);
  ASSERT_EQ(off.pieces.size(), 3u);
  EXPECT_EQ(off.pieces[0], std::string(maxRead, 'x'));
  EXPECT_EQ(off.pieces[1], std::string(40000 - maxRead, 'x') + "\n");
  EXPECT_EQ(off.pieces[2], "next\n");

  // A directive cut in two by a read is not recognised: an opener cut in
  // two is plain text, and a cut between opener and terminator drops the
  // rest of the first read.
  const std::string cut = directive("var=\"v\"");
  const std::string openerCut(maxRead - 5, 'a');
  const std::string bodyCut(maxRead - 12, 'b');
  writeFile(dir.file("straddle"), openerCut + cut + "\n" + bodyCut + cut + "\n");
  Recorder on(intelem("v", 1, nullptr));
  readTextFile(dir.file("straddle"), &on.context, recordPiece);
  EXPECT_EQ(on.pieces, (Pieces{openerCut + cut.substr(0, 5), cut.substr(5) + "\n", bodyCut,
                               cut.substr(12) + "\n"}));
}

// ---------------------------------------------------------------------------
// Includes through a command processor
// ---------------------------------------------------------------------------

namespace {

struct ProcessorCall {
  std::string name;
  std::string path;
  int depth;
};
std::vector<ProcessorCall> processorCalls;
int deepestInclude = 0;

// Records the call and expands the file into the recording sink.
void recordingProcessor(std::string_view name, std::string_view path, TemplateContext* context) {
  processorCalls.push_back({std::string(name), std::string(path), context->includeDepth});
  if (context->includeDepth > deepestInclude) deepestInclude = context->includeDepth;
  readTextFile(std::string(path), context, recordPiece);
}

}  // namespace

TEST(TemplateInclude, ProcessorReceivesBaseNameAndPathAsWritten) {
  processorCalls.clear();
  Recorder recorder;
  recorder.context.processor = recordingProcessor;
  readStringBuf("a" + directive("include=\"forms/chopts.inc.shtml\" fmt=\"%d\"") + "b\n" +
                    directive("include=\"a.b/c\"") + directive("include=\"plain\"") +
                    directive("include=\"x/.hidden\""),
                &recorder.context, recordPiece);
  ASSERT_EQ(processorCalls.size(), 4u);
  EXPECT_EQ(processorCalls[0].name, "chopts");
  EXPECT_EQ(processorCalls[0].path, "forms/chopts.inc.shtml");
  EXPECT_EQ(processorCalls[0].depth, 1);
  EXPECT_EQ(processorCalls[1].name, "c");
  EXPECT_EQ(processorCalls[1].path, "a.b/c");
  EXPECT_EQ(processorCalls[2].name, "plain");
  EXPECT_EQ(processorCalls[3].name, "");
  // The missing files add nothing; the enclosing line goes on.
  EXPECT_EQ(recorder.pieces, (Pieces{"a", "b\n", "", "", ""}));
  EXPECT_EQ(recorder.context.includeDepth, 0);
}

TEST(TemplateInclude, IncludesNestSixteenDeepAndNoDeeper) {
  // Level i writes "<i>" and includes level i + 1; the page includes level 1.
  TempDir dir;
  for (int level = 1; level <= 20; ++level) {
    writeFile(dir.file(std::to_string(level)),
              "<" + std::to_string(level) + ">" +
                  directive("include=\"" + dir.file(std::to_string(level + 1)) + "\""));
  }
  processorCalls.clear();
  deepestInclude = 0;
  Recorder recorder;
  recorder.context.processor = recordingProcessor;
  processLine(directive("include=\"" + dir.file("1") + "\"") + "end", &recorder.context,
              recordPiece);
  std::string text;
  for (const std::string& piece : recorder.pieces) text += piece;
  std::string expected;
  for (int level = 1; level <= kQuibMaxIncludeDepth; ++level) {
    expected += "<" + std::to_string(level) + ">";
  }
  EXPECT_EQ(text, expected + "end");
  EXPECT_EQ(processorCalls.size(), static_cast<size_t>(kQuibMaxIncludeDepth));
  EXPECT_EQ(deepestInclude, kQuibMaxIncludeDepth);
  EXPECT_EQ(recorder.context.includeDepth, 0);
}

// ---------------------------------------------------------------------------
// Includes expanded to standard output (each capture has its own file and
// restores standard output before anything is checked)
// ---------------------------------------------------------------------------

TEST(TemplateStdout, PrintSimpleTextWritesThePieceUnchanged) {
  const std::string out = captureStdout([] {
    printSimpleText("100% %s %d\n", nullptr);
    printSimpleText("", nullptr);
    printSimpleText("tail", nullptr);
  });
  EXPECT_EQ(out, "100% %s %d\ntail");
}

TEST(TemplateStdout, IncludeWithoutProcessorGoesToStandardOutput) {
  TempDir dir;
  writeFile(dir.file("part.inc.shtml"), "<b>" + directive("var=\"t\"") + "</b>\nline 2\n");
  Recorder recorder(strelem("t", "News & Weather", nullptr));
  const std::string line = "[" + directive("include=\"" + dir.file("part.inc.shtml") + "\"") +
                           directive("include=\"" + dir.file("missing.shtml") + "\"") + "]\n";
  const std::string out = captureStdout([&] { processLine(line, &recorder.context, recordPiece); });
  EXPECT_EQ(out, "<b>News & Weather</b>\nline 2\n");
  EXPECT_EQ(recorder.pieces, (Pieces{"[", "", "]\n"}));
}

TEST(TemplateStdout, TemplateThatIncludesItselfEnds) {
  TempDir dir;
  const std::string self = dir.file("self.shtml");
  writeFile(self, "x" + directive("include=\"" + self + "\"") + "y\n");
  TemplateContext context;
  const std::string out = captureStdout([&] { readTextFile(self, &context, printSimpleText); });
  // The page itself and sixteen nested levels.
  const int levels = kQuibMaxIncludeDepth + 1;
  std::string expected(levels, 'x');
  for (int i = 0; i < levels; ++i) expected += "y\n";
  EXPECT_EQ(out, expected);
  EXPECT_EQ(context.includeDepth, 0);
}
