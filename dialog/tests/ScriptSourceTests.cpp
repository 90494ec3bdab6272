// Reading a script line by line: where it may come from, how its lines end, and the limit that
// keeps a line without end from costing anything.
#include "dialog/ScriptSource.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::vector<std::string> allLines(ScriptSource& source, std::string* error)
{
    std::vector<std::string> lines;
    std::string line;
    ScriptSource::Read read;
    while ((read = source.nextLine(line, error)) == ScriptSource::Read::Line)
        lines.push_back(line);
    if (read == ScriptSource::Read::Failed)
        lines.push_back("(failed)");
    return lines;
}

TEST(ScriptSource, LinesEndAtNewlinesAndTheLastNeedsNone)
{
    TemporaryTree folder;
    folder.addFile("script.txt", "show\r\n\n  print  \nsummary");
    ScriptSource source;
    std::string error;
    ASSERT_TRUE(source.open(folder.path("script.txt"), &error)) << error;
    EXPECT_EQ(allLines(source, &error), (std::vector<std::string> { "show\r", "", "  print  ", "summary" }));
    EXPECT_EQ(error, "");
}

TEST(ScriptSource, NoScriptEndsAtOnce)
{
    ScriptSource none;
    std::string line = "untouched";
    std::string error;
    EXPECT_EQ(none.nextLine(line, &error), ScriptSource::Read::End);
    EXPECT_EQ(line, "untouched");
}

TEST(ScriptSource, ALineMayFillTheLimitButNotPassIt)
{
    TemporaryTree folder;
    std::string full(kMaxScriptLineBytes, 'a');
    folder.addFile("script.txt", full + "\n" + full + "b\nnever read\n");
    ScriptSource source;
    std::string error;
    ASSERT_TRUE(source.open(folder.path("script.txt"), &error));
    std::string line;
    ASSERT_EQ(source.nextLine(line, &error), ScriptSource::Read::Line);
    EXPECT_EQ(line.size(), kMaxScriptLineBytes);
    line = "untouched";
    EXPECT_EQ(source.nextLine(line, &error), ScriptSource::Read::Failed);
    EXPECT_EQ(error, "longer than 64 KiB (a script line holds at most 65536 bytes)");
    EXPECT_EQ(line, "untouched");
}

TEST(ScriptSource, OnlyARegularFileOrStandardInputIsAScript)
{
    TemporaryTree folder;
    ASSERT_EQ(mkfifo(folder.path("fifo").c_str(), 0600), 0);
    struct Case {
        std::string path;
        const char* says;
    };
    for (const Case& bad : { Case { folder.path("fifo"), "cannot read the script: not a regular file (a FIFO)" },
             Case { folder.root(), "cannot read the script: not a regular file (a folder)" },
             Case { "/dev/zero", "cannot read the script: not a regular file (a character device)" },
             Case { folder.path("missing"), "cannot read the script: No such file or directory" } }) {
        ScriptSource source;
        std::string error;
        EXPECT_FALSE(source.open(bad.path, &error)) << bad.path;
        EXPECT_EQ(error, bad.says);
    }
}

}
