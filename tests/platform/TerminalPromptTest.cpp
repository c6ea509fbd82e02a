#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/TerminalPrompt.h"

namespace qlm {
namespace {

// Runs `act` with a prompt reading `input` and returns what it wrote.
template <class Act>
std::string WithPrompt(const std::string& input, bool assume_yes, Act act) {
  std::FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
  std::FILE* out = std::tmpfile();
  TerminalPrompt prompt(in ? in : stdin, out, assume_yes);
  act(prompt);
  std::string written(static_cast<std::size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  written.resize(std::fread(written.data(), 1, written.size(), out));
  std::fclose(out);
  if (in) std::fclose(in);
  return written;
}

TEST(TerminalPrompt, AnswersAreReadAsLines) {
  struct Case {
    std::string input;
    bool yes;
  };
  const Case cases[] = {{"y\n", true},    {"YES\n", true}, {" Yes \n", true}, {"n\n", false},
                        {"yep\n", false}, {"\n", false},   {"", false},       {"y", true}};
  for (const Case& c : cases) {
    bool answer = !c.yes;
    const std::string shown =
        WithPrompt(c.input, false, [&](TerminalPrompt& p) { answer = p.AskYesNo("Convert?"); });
    EXPECT_EQ(answer, c.yes) << c.input;
    EXPECT_EQ(shown.rfind("Convert? [y/N] ", 0), 0u) << shown;
  }
  // Two questions take one line each.
  bool first = false, second = true;
  WithPrompt("y\nn\n", false, [&](TerminalPrompt& p) {
    first = p.AskYesNo("a");
    second = p.AskYesNo("b");
  });
  EXPECT_TRUE(first);
  EXPECT_FALSE(second);
}

TEST(TerminalPrompt, AssumeYesReadsNothingAndSaysSo) {
  bool answer = false;
  const std::string shown =
      WithPrompt("n\n", true, [&](TerminalPrompt& p) { answer = p.AskYesNo("Convert?"); });
  EXPECT_TRUE(answer);
  EXPECT_EQ(shown, "Convert? [y/N] yes\n");
}

TEST(TerminalPrompt, MessagesAndTheLastProgressLineOffATerminal) {
  const std::string shown = WithPrompt("", false, [](TerminalPrompt& p) {
    p.ShowMessage("failed");
    p.ShowProgress("Title", "1");
    p.ShowProgress("Title", "2");
    p.EndProgress();
    p.EndProgress();
  });
  EXPECT_EQ(shown, "failed\nTitle: 2\n");
}

}  // namespace
}  // namespace qlm
