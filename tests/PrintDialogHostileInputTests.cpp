// printdialog given scripts that no person would write: a device, a folder, a line without end,
// words in the wrong place. Each ends at once in one clear line, and none repeats what the
// script said, since a word in the wrong place may be a code.
#include "tests/support/ClearError.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

namespace {

const std::string kMovraPPD = EXAMPLES_DIR "/Movra-RK7700.ppd";

ProgramRun runScript(const std::string& scriptPath, const std::string& input = "")
{
    return runProgram({ PRINTDIALOG_PATH, "--ppd", kMovraPPD, "--script", scriptPath }, withInput(input));
}

TEST(HostileScripts, ADeviceIsRefusedAtOnce)
{
    EXPECT_TRUE(endsInOneClearError(runScript("/dev/zero"), "/dev/zero: cannot read the script: not a regular file (a character device)"));
}

TEST(HostileScripts, AFolderIsRefusedWithAReason)
{
    TemporaryTree folder;
    EXPECT_TRUE(endsInOneClearError(runScript(folder.root()), folder.root() + ": cannot read the script: not a regular file (a folder)"));
}

TEST(HostileScripts, AnEndlessStandardInputStopsAtTheLineLimit)
{
    ProgramRun run = runProgram({ "/bin/sh", "-c", "exec \"$@\" </dev/zero", "sh", PRINTDIALOG_PATH, "--ppd", kMovraPPD, "--script", "-" });
    EXPECT_TRUE(endsInOneClearError(run, "standard input: line 1: longer than 64 KiB"));
}

TEST(HostileScripts, AHugeLineStopsAtTheLineLimit)
{
    // Made by the shell, so that the test's own copy of 50 MB does not count in the run's memory.
    ProgramRun run = runProgram({ "/bin/sh", "-c", "head -c 52428800 /dev/zero | tr '\\0' a | \"$@\"", "sh", PRINTDIALOG_PATH, "--ppd", kMovraPPD,
        "--script", "-" });
    EXPECT_TRUE(endsInOneClearError(run, "standard input: line 1: longer than 64 KiB"));
    EXPECT_EQ(run.errors.find("aaaa"), std::string::npos) << "the line is not repeated";
}

TEST(HostileScripts, ALineJustWithinTheLimitIsAnOrdinaryLine)
{
    TemporaryTree folder;
    std::string comment = "# " + std::string(64 * 1024 - 2, 'x');
    folder.addFile("script.txt", "show\n" + comment + "\nsummary");
    ProgramRun run = runScript(folder.path("script.txt"));
    EXPECT_EQ(run.exitStatus, 1) << run.errors;
    EXPECT_EQ(run.output, "summary:  Accounting =  Disabled\n") << "the last line counts without its newline";
}

struct MisplacedWord {
    const char* name;
    const char* line;
    const char* says;
};

class MisplacedWords : public ::testing::TestWithParam<MisplacedWord> {
};

void PrintTo(const MisplacedWord& word, std::ostream* out)
{
    *out << word.name;
}

TEST_P(MisplacedWords, TheErrorNamesTheMistakeAndNotTheWord)
{
    const MisplacedWord& word = GetParam();
    ProgramRun run = runScript("-", std::string("show\n") + word.line + "\n");
    EXPECT_TRUE(endsInOneClearError(run, std::string("standard input: line 2: ") + word.says));
    EXPECT_EQ(run.errors.find("LEAK"), std::string::npos) << run.errors;
    EXPECT_EQ(run.output.find("LEAK"), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Scripts, MisplacedWords,
    ::testing::Values(MisplacedWord { "code_where_the_control_goes", "type LEAKA7 302", "the control for \"type\" is not a number" },
        MisplacedWord { "code_as_the_popup_item", "choose 100 LEAKA7", "the item for \"choose\" is not a number" },
        MisplacedWord { "code_as_a_key", "key 302 LEAKA7", "no such key" },
        MisplacedWord { "code_alone_on_a_line", "LEAKA7", "unknown action" },
        MisplacedWord { "code_after_a_bad_escape", "type 302 \"\\LEAKA7\"", "an unknown escape in a quoted text" }),
    [](const auto& info) { return std::string(info.param.name); });

}
