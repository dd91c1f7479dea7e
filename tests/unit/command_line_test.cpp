// Splitting the command line and the file-or-code decision.

#include <gtest/gtest.h>

#include "run/command_line.h"

namespace kel {
namespace {

using Words = std::vector<std::string>;

TEST(SplitArguments, BlanksSeparateAndQuotesJoin) {
  EXPECT_EQ(SplitArguments("  a\tb  c "), (Words{"a", "b", "c"}));
  EXPECT_EQ(SplitArguments("x.kel \"two words\""), (Words{"x.kel", "two words"}));
  EXPECT_EQ(SplitArguments("pre\"fix and\"post"), (Words{"prefix andpost"}));
  EXPECT_EQ(SplitArguments("\"unclosed rest of line"), (Words{"unclosed rest of line"}));
  EXPECT_EQ(SplitArguments("\"\" x"), (Words{"", "x"}));
  EXPECT_EQ(SplitArguments(""), Words{});
}

bool Decide(Words words) { return NamesProgramFile(words); }

TEST(FileOrCode, TheFiveRules) {
  EXPECT_TRUE(Decide({"hello"}));                  // the only word
  EXPECT_TRUE(Decide({"hello", "arg1"}));          // second word plain
  EXPECT_FALSE(Decide({"x", "=", "3"}));           // second word starts with an operator
  EXPECT_FALSE(Decide({"printf(\"Hi\")"}));        // operator characters in the word
  EXPECT_TRUE(Decide({"a+b.kel"}));                // the kel extension wins
  EXPECT_TRUE(Decide({"SETUP.BAT"}));              // and so does BAT, in any case
  EXPECT_FALSE(Decide({".5"}));                    // an empty name part
  EXPECT_TRUE(Decide({"-"}));                      // standard input
  EXPECT_TRUE(Decide({"dir.v2:name"}));            // periods and colons belong to paths
}

TEST(FileOrCode, DoubledBatchExtensionIsCut) {
  Words words{"run.bat.BAT", "x"};
  EXPECT_TRUE(NamesProgramFile(words));
  EXPECT_EQ(words[0], "run.bat");
}

TEST(BindOption, NeedsTextAfterTheName) {
  std::string line = "/bind=out.exe  script.kel a";
  std::string target;
  EXPECT_TRUE(TakeBindOption(line, target));
  EXPECT_EQ(target, "out.exe");
  EXPECT_EQ(line, "script.kel a");

  std::string alone = "/BIND=out";
  EXPECT_FALSE(TakeBindOption(alone, target));
  EXPECT_EQ(alone, "/BIND=out");
}

TEST(QuotedCode, OnePairOfMatchingQuotes) {
  std::string line = "\" printf(\"x\") \"";
  EXPECT_TRUE(TakeQuotedCode(line));
  EXPECT_EQ(line, "printf(\"x\")");
  std::string mixed = "\"a'";
  EXPECT_FALSE(TakeQuotedCode(mixed));
  std::string single = "\"";
  EXPECT_FALSE(TakeQuotedCode(single));
}

TEST(Trimmed, RemovesWhiteSpaceAtBothEnds) {
  EXPECT_EQ(Trimmed(" \t\r\n x y \n"), "x y");
  EXPECT_EQ(Trimmed(" \t "), "");
}

}  // namespace
}  // namespace kel
