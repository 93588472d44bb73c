// Reading command lines in the forms people type.
#include "tools/cli/arguments.h"

#include <gtest/gtest.h>

#include "tools/errors.h"

namespace stowaway {
namespace {

const std::vector<OptionSpec> Options = {
    {"output", 'o', true}, {"force", 'f', false}, {"quiet", 'q', false}, {"mode", 0, true}};

std::string Refusal(const std::vector<std::string>& words) {
  try {
    ParseArguments(words, Options);
  } catch (const EUsage& usage) {
    return usage.Message();
  }
  return "accepted";
}

TEST(Arguments, TakesEveryFormOfOptionAnywhereAmongOperands) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"-o", "x.exe", "a", "--mode", "fast", "b"},
        {"a", "--output=x.exe", "b", "--mode=fast"},
        {"a", "-ox.exe", "--mode", "fast", "b"},
        {"-o", "first.exe", "a", "b", "--output", "x.exe", "--mode", "fast"}}) {
    const Arguments parsed = ParseArguments(words, Options);
    EXPECT_EQ(parsed.Value("output"), "x.exe");
    EXPECT_EQ(parsed.Value("mode"), "fast");
    EXPECT_EQ(parsed.operands, (std::vector<std::string>{"a", "b"}));
  }
}

TEST(Arguments, FlagsCombineAndDoubleDashEndsOptions) {
  const Arguments parsed = ParseArguments({"-qfo", "out", "--", "-f", "-", "--mode"}, Options);
  EXPECT_TRUE(parsed.Has("quiet"));
  EXPECT_TRUE(parsed.Has("force"));
  EXPECT_EQ(parsed.Value("output"), "out");
  EXPECT_FALSE(parsed.Has("mode"));
  EXPECT_EQ(parsed.operands, (std::vector<std::string>{"-f", "-", "--mode"}));
  // An empty value is still a value given.
  EXPECT_TRUE(ParseArguments({"--output="}, Options).Has("output"));
}

TEST(Arguments, RefusesWhatItCannotRead) {
  EXPECT_EQ(Refusal({"--outptu", "x"}), "unknown option --outptu");
  EXPECT_EQ(Refusal({"-x"}), "unknown option -x");
  EXPECT_EQ(Refusal({"-qx"}), "unknown option -x");
  EXPECT_EQ(Refusal({"a", "--output"}), "option --output needs a value");
  EXPECT_EQ(Refusal({"-o"}), "option -o needs a value");
  EXPECT_EQ(Refusal({"--force=yes"}), "option --force takes no value");
}

}  // namespace
}  // namespace stowaway
