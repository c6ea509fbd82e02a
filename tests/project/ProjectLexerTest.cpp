#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "project/ProjectLexer.h"

namespace qlm {
namespace {

using Kind = ProjectLexer::Kind;

// Each token as a short text: "," "=" "{" "}" "#<number>" "\"<string>\"" "w:<word>" "!" "$".
std::vector<std::string> Lex(std::string_view text) {
  ProjectLexer lexer(text);
  std::vector<std::string> out;
  for (;;) {
    const auto t = lexer.Next();
    switch (t.kind) {
      case Kind::kEnd:
        out.push_back("$");
        return out;
      case Kind::kComma:
        out.push_back(",");
        break;
      case Kind::kEqual:
        out.push_back("=");
        break;
      case Kind::kOpen:
        out.push_back("{");
        break;
      case Kind::kClose:
        out.push_back("}");
        break;
      case Kind::kNumber:
        out.push_back(std::to_string(t.number).insert(0, 1, '#'));
        break;
      case Kind::kString:
        out.push_back("\"" + t.text + "\"");
        break;
      case Kind::kWord:
        out.push_back("w:" + t.text);
        break;
      case Kind::kInvalid:
        out.push_back("!");
        break;
    }
  }
}

using Tokens = std::vector<std::string>;

TEST(ProjectLexer, SplitsTheFileIntoTokens) {
  struct Case {
    std::string_view text;
    Tokens tokens;
  };
  const Case cases[] = {
      {"", {"$"}},
      {" \t\r\n", {"$"}},
      {"Folder=\"a b\"{}", {"w:Folder", "=", "\"a b\"", "{", "}", "$"}},
      {"BGColor={1,2,3}", {"w:BGColor", "=", "{", "#1", ",", "#2", ",", "#3", "}", "$"}},
      {"x1y2 3z", {"w:x1y2", "#3", "w:z", "$"}},
      // Numbers wrap in 32 bits and read as signed; there is no sign.
      {"4294967295 4294967296 2147483648", {"#-1", "#0", "#-2147483648", "$"}},
      {"-1", {"!", "#1", "$"}},
      {"_a", {"!", "w:a", "$"}},
      // Strings take every byte but the quote, blanks and braces included.
      {"\"\t{=}\r\n\"", {"\"\t{=}\r\n\"", "$"}},
      {"\"\"", {"\"\"", "$"}},
      {"\"open", {"!", "$"}},
      // A Shift_JIS lead byte starts or continues a word and takes the next byte with it, even a
      // quote or a brace.
      {"\x83\x74\x83\x48\x83\x8b\x83\x5f", {"w:\x83\x74\x83\x48\x83\x8b\x83\x5f", "$"}},
      {"a\x81\"b c", {"w:a\x81\"b", "w:c", "$"}},
      {"\xe0{", {"w:\xe0{", "$"}},
      {"a\x81", {"w:a\x81", "$"}},
      // Bytes that start nothing.
      {"\xa0 \xf0 \x80 ; \x7f", {"!", "!", "!", "!", "!", "$"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lex(c.text), c.tokens) << c.text;
}

TEST(ProjectLexer, LongStringsFailAndLongWordsAreCut) {
  const std::string longest(ProjectLexer::kMaxText, 'x');
  EXPECT_EQ(Lex("\"" + longest + "\""), (Tokens{"\"" + longest + "\"", "$"}));
  EXPECT_EQ(Lex("\"" + longest + "y\"")[0], "!");
  // The rest of a long word is skipped, not turned into another token.
  EXPECT_EQ(Lex(longest + "yyy9 ="), (Tokens{"w:" + longest, "=", "$"}));
}

TEST(ProjectLexer, ReadsFromAFileLikeFromMemory) {
  const std::string text = "Record { URL = \"http://h/\" GraphMax = 12 }";
  std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ASSERT_NE(file, nullptr);
  ProjectLexer from_file(file);
  ProjectLexer from_memory(text);
  for (;;) {
    const auto a = from_file.Next();
    const auto b = from_memory.Next();
    ASSERT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.number, b.number);
    if (a.kind == Kind::kEnd) break;
  }
  std::fclose(file);
}

}  // namespace
}  // namespace qlm
