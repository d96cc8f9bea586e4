#include "tests/e2e/pilot/step_script.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

using Words = std::vector<std::string>;

TEST(StepScript, SplitsWordsAndKeepsQuotedTextWhole) {
    struct Case {
        const char* line;
        const char* verb;
        Words args;
    } cases[] = {
        {"click main 1014", "click", {"main", "1014"}},
        {"  msgbox   \"Not select File!! Select File!\"  ",
         "msgbox",
         {"Not select File!! Select File!"}},
        // A help text with its trailing blank must survive.
        {"expect-text main 1004 \"HELP : Set Communication Configuration. \"",
         "expect-text",
         {"main", "1004", "HELP : Set Communication Configuration. "}},
        // Windows paths need no doubled backslashes, quoted or not.
        {"open-file Z:\\tmp\\fw.fls", "open-file", {"Z:\\tmp\\fw.fls"}},
        {"open-file \"Z:\\tmp dir\\fw.fls\"", "open-file", {"Z:\\tmp dir\\fw.fls"}},
        {"type settings 1000 \"say \\\"hi\\\" \\\\\"",
         "type",
         {"settings", "1000", "say \"hi\" \\"}},
        {"select settings 1000 \"\\\\.\\COM10\"", "select", {"settings", "1000", "\\.\\COM10"}},
        {"select models 1018 \"\"", "select", {"models", "1018", ""}},
        {"wait led 60 # the closing wait", "wait", {"led", "60"}},
        {"msgbox \"a # is text here\"", "msgbox", {"a # is text here"}},
        {"sleep 10\r", "sleep", {"10"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ParsedScript p = ParseStepScript(c.line);
        ASSERT_TRUE(p.errors.empty());
        ASSERT_EQ(p.steps.size(), 1u);
        EXPECT_EQ(p.steps[0].verb, c.verb);
        EXPECT_EQ(p.steps[0].args, c.args);
    }
}

TEST(StepScript, NumbersStepsByTheirLineAndSkipsBlankAndCommentLines) {
    ParsedScript p = ParseStepScript("# scenario\n\nstart kestrel.exe\r\n   \nwait main\n");
    ASSERT_TRUE(p.errors.empty());
    ASSERT_EQ(p.steps.size(), 2u);
    EXPECT_EQ(p.steps[0].line, 3);
    EXPECT_EQ(p.steps[1].line, 5);
    EXPECT_EQ(p.steps[1].verb, "wait");
}

TEST(StepScript, ReportsAnUnterminatedQuoteWithItsLineAndKeepsTheRest) {
    ParsedScript p = ParseStepScript("wait main\nmsgbox \"never closed\nclick main 1\n");
    ASSERT_EQ(p.errors.size(), 1u);
    EXPECT_EQ(p.errors[0].line, 2);
    ASSERT_EQ(p.steps.size(), 2u);
    EXPECT_EQ(p.steps[1].line, 3);
}

} // namespace
} // namespace e2e
