// The reading both command-line tools rely on, where CLI11 left alone reads words
// otherwise: lists, Windows options, "--x=" and flags given a value.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "command_line/syntax.h"

namespace {

using Words = std::vector<std::string>;

// A tool with --key VALUE, --json, --wait [SECONDS]; what it was given, in order.
struct Tool {
    Tool() {
        syntax.Value("--key", [this](const std::string& value) {
            seen.push_back("key=" + value + " after " + std::to_string(syntax.ArgumentsSoFar()));
        });
        syntax.Switch("-j,--json", [this] { seen.push_back("json"); });
        syntax.OptionalValue(
            "--wait", [](const std::string& word) { return word == "5"; },
            [this](const std::optional<std::string>& seconds) {
                seen.push_back("wait" + (seconds ? "=" + *seconds : std::string()));
            });
    }
    Words Parse(const Words& words) {
        seen.clear();
        return syntax.Parse(words);
    }

    command_line::Syntax syntax;
    Words seen;
};

std::string UsageErrorOf(const Words& words) {
    try {
        Tool().Parse(words);
    } catch (const command_line::UsageError& error) {
        return error.what();
    }
    return "";
}

TEST(Syntax, ArgumentsStayWholeWordsInTheirOrder) {
    Tool tool;
    EXPECT_EQ(tool.Parse({"[a,b]", "--key", "k", "/x", "-5", "-", "--", "--json", "--"}),
              (Words{"[a,b]", "/x", "-5", "-", "--json", "--"}));
    EXPECT_EQ(tool.seen, Words{"key=k after 1"});
}

TEST(Syntax, ValuesAreTakenAsWrittenAndInTurn) {
    Tool tool;
    EXPECT_EQ(tool.Parse({"a", "--key=", "b", "--key", "--json", "--key=x=y"}), (Words{"a", "b"}));
    EXPECT_EQ(tool.seen, (Words{"key= after 1", "key=--json after 2", "key=x=y after 2"}));
    EXPECT_EQ(tool.Parse({"--wait", "5", "--wait", "text", "--wait=", "-j"}), Words{"text"});
    EXPECT_EQ(tool.seen, (Words{"wait=5", "wait", "wait=", "json"}));
}

TEST(Syntax, MistakesAreToldInTheToolsWords) {
    EXPECT_EQ(UsageErrorOf({"--json=true"}), "--json takes no value");
    EXPECT_EQ(UsageErrorOf({"-j", "--json="}), "--json takes no value");
    EXPECT_EQ(UsageErrorOf({"a", "--key"}), "--key needs a value");
    EXPECT_EQ(UsageErrorOf({"a", "--bogus=1", "b"}), "unknown option --bogus");
    EXPECT_EQ(UsageErrorOf({"-x"}), "unknown option -x");
    EXPECT_EQ(UsageErrorOf({"--", "--bogus"}), "");
}

}  // namespace
