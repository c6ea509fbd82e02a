#include <gtest/gtest.h>

#include <string>

#include "platform/IniFile.h"

namespace qlm {
namespace {

using namespace std::string_literals;

TEST(IniFileEscape, EveryByteSurvivesAndNoRawControlByteIsWritten) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  const std::string escaped = IniFile::Escape(all);
  for (const char c : escaped) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_FALSE(byte < 0x20 || byte == 0x7F) << "raw byte " << int(byte);
  }
  EXPECT_EQ(IniFile::Unescape(escaped), all);
}

TEST(IniFileEscape, WritesTheDocumentedForms) {
  const struct {
    std::string bytes, text;
  } cases[] = {
      {"plain text", "plain text"},
      {"C:\\dir", "C:\\\\dir"},
      {"a\nb\rc\td", "a\\nb\\rc\\td"},
      {"\x01\x1f\x7f"s, "\\x01\\x1F\\x7F"},
      {"\0"s, "\\x00"},
      {"\x80\xff\x95\x5c", "\x80\xff\x95\\\\"},  // Shift_JIS trail byte 0x5C is a backslash too
      {" leading and trailing ", " leading and trailing "},
      {"a=b;c#d[e]", "a=b;c#d[e]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IniFile::Escape(c.bytes), c.text);
    EXPECT_EQ(IniFile::Unescape(c.text), c.bytes);
  }
}

TEST(IniFileEscape, HandEditedTextWithStrayBackslashesReadsAsWritten) {
  EXPECT_EQ(IniFile::Unescape("C:\\Program Files\\Q"), "C:\\Program Files\\Q");
  EXPECT_EQ(IniFile::Unescape("end\\"), "end\\");
  EXPECT_EQ(IniFile::Unescape("\\xZ1\\x4"), "\\xZ1\\x4");
  EXPECT_EQ(IniFile::Unescape("\\x1b\\x7f"), "\x1b\x7f");
}

constexpr char kSample[] =
    "; written by hand\n"
    "stray line before any section\n"
    "\n"
    "[Application Settings]\n"
    "ProxyPort=8080\n"
    "  Padded Name = value with = sign \n"
    "# a comment inside\n"
    "ProxyPort=9999\n"
    "\n"
    "[ControlBars\\State]\n"
    "Bars=3\n"
    "no equals sign here\n";

TEST(IniFileParse, UnchangedFileIsWrittenBackByteForByte) {
  EXPECT_EQ(IniFile::Parse(kSample).Serialize(), kSample);
}

TEST(IniFileParse, FindsValuesLikeTheRegistry) {
  const IniFile file = IniFile::Parse(kSample);
  EXPECT_EQ(file.GetNumber("Application Settings", "ProxyPort"), 8080);  // first one wins
  EXPECT_EQ(file.GetNumber("application settings", "PROXYPORT"), 8080);  // case-blind
  EXPECT_EQ(file.Get("Application Settings", "Padded Name"), " value with = sign ");
  EXPECT_EQ(file.GetNumber("ControlBars\\State", "Bars"), 3);
  EXPECT_EQ(file.Get("ControlBars\\State", "no equals sign here"), std::nullopt);
  EXPECT_EQ(file.Get("Application Settings", "Bars"), std::nullopt);  // other section
  EXPECT_EQ(file.Get("Missing", "ProxyPort"), std::nullopt);
  EXPECT_EQ(file.Get("Application Settings", "# a comment inside"), std::nullopt);
}

TEST(IniFileParse, CrLfLinesAndAMissingFinalNewlineAreRead) {
  const IniFile file = IniFile::Parse("[S]\r\nA=1\r\nB=two");
  EXPECT_EQ(file.GetNumber("S", "A"), 1);
  EXPECT_EQ(file.Get("S", "B"), "two");
}

TEST(IniFileNumbers, OnlySigned32BitDecimalsCount) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"-1", -1},
      {"2147483647", 2147483647},
      {" 42 ", 42},
      {"-2147483648", INT32_MIN},
      {"", std::nullopt},
      {"12a", std::nullopt},
      {"2147483648", std::nullopt},
      {"0x10", std::nullopt},
      {"+5", std::nullopt},
      {"- 1", std::nullopt},
  };
  for (const auto& c : cases) {
    IniFile file;
    ASSERT_TRUE(file.Set("S", "N", c.text));
    EXPECT_EQ(file.GetNumber("S", "N"), c.value) << '"' << c.text << '"';
  }
}

TEST(IniFileSet, ChangesOnlyTheValueAndKeepsEverythingElse) {
  IniFile file = IniFile::Parse(kSample);
  ASSERT_TRUE(file.SetNumber("APPLICATION SETTINGS", "proxyport", -1));
  std::string expected = kSample;
  expected.replace(expected.find("ProxyPort=8080"), 14, "ProxyPort=-1");
  EXPECT_EQ(file.Serialize(), expected);
}

TEST(IniFileSet, NewValueGoesAfterTheSectionsLastValue) {
  IniFile file = IniFile::Parse(kSample);
  ASSERT_TRUE(file.Set("Application Settings", "ProxyName", "proxy\tname"));
  const std::string text = file.Serialize();
  EXPECT_NE(text.find("ProxyPort=9999\nProxyName=proxy\\tname\n\n[ControlBars\\State]"),
            std::string::npos)
      << text;
}

TEST(IniFileSet, NewSectionGoesAtTheEndAfterABlankLine) {
  IniFile file = IniFile::Parse("[A]\nX=1\n");
  ASSERT_TRUE(file.Set("Control Panel\\desktop", "TileWallpaper", "0"));
  EXPECT_EQ(file.Serialize(), "[A]\nX=1\n\n[Control Panel\\desktop]\nTileWallpaper=0\n");

  IniFile empty;
  ASSERT_TRUE(empty.SetNumber("S", "N", 7));
  EXPECT_EQ(empty.Serialize(), "[S]\nN=7\n");
}

TEST(IniFileSet, RefusesNamesThatCouldNotBeFoundAgain) {
  IniFile file = IniFile::Parse(kSample);
  for (const char* name : {"", "a=b", "a\nb", " a", "a ", "[x", ";x", "#x"}) {
    EXPECT_FALSE(file.Set("S", name, "v")) << '"' << name << '"';
  }
  for (const char* section : {"", "a]b", "a\nb", " a"}) {
    EXPECT_FALSE(file.Set(section, "N", "v")) << '"' << section << '"';
  }
  EXPECT_EQ(file.Serialize(), kSample);
}

TEST(IniFileRemove, RemovesEveryLineOfTheNameInThatSectionOnly) {
  IniFile file = IniFile::Parse(kSample);
  EXPECT_TRUE(file.Remove("Application Settings", "ProxyPort"));
  EXPECT_EQ(file.Get("Application Settings", "ProxyPort"), std::nullopt);
  EXPECT_FALSE(file.Remove("Application Settings", "ProxyPort"));
  EXPECT_EQ(file.GetNumber("ControlBars\\State", "Bars"), 3);
}

}  // namespace
}  // namespace qlm
