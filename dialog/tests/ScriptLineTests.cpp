// A script line as the runner reads it: words, quotes, escapes and comments, and a mistake in a
// quoted text named without repeating it.
#include "dialog/ScriptLine.h"

#include <gtest/gtest.h>

namespace {

TEST(ScriptLines, WordsQuotesEscapesAndComments)
{
    std::string error;
    auto line = parseScriptLine("  type 501 \"a \\\"b\\\"\\x41\\n\"  # the codes", 7, &error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->number, 7);
    EXPECT_EQ(line->action, "type");
    ASSERT_EQ(line->arguments.size(), 2u);
    EXPECT_EQ(line->arguments[1], "a \"b\"A\n");

    auto comment = parseScriptLine("   # nothing to do", 1, &error);
    ASSERT_TRUE(comment);
    EXPECT_TRUE(comment->action.empty());

    EXPECT_FALSE(parseScriptLine("type 501 \"open", 1, &error));
    EXPECT_EQ(error, "a quoted text is not closed");
    EXPECT_FALSE(parseScriptLine("type 501 \"\\qLEAK\"", 1, &error));
    EXPECT_EQ(error.find("\\q"), std::string::npos) << "nothing of the text is repeated: " << error;
    EXPECT_FALSE(parseScriptLine("type 501 \"\\x4\"", 1, &error));
}

}
