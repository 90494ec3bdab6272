// Whole dialogs inside the test's own process: the built bundle loaded through the plug-in
// services, as the printing system loads it, and everything gone again afterwards.
#include "LiveObjects.h"
#include "PrintDialogCommand.h"
#include "ScriptLine.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <unistd.h>
#include <fstream>
#include <sstream>

namespace {

const std::string kExamples = EXAMPLES_DIR;

class WholeDialogTest : public BalancedTest {
protected:
    void TearDown() override
    {
        EXPECT_EQ(_CFPlugInGetInstanceCount(nullptr), 0) << "every factory instance is released";
        BalancedTest::TearDown();
    }

    int run(const std::string& script, const std::string& ppd, std::string* transcript, const std::string& settings = "")
    {
        std::string scriptPath = "/tmp/printdialog-host-test-" + std::to_string(getpid()) + ".txt";
        std::ofstream(scriptPath) << script;
        PrintDialogOptions options;
        std::string error;
        std::vector<std::string> arguments = { "--ppd", ppd, "--script", scriptPath, "--plugin", ACCOUNTING_BUNDLE_DIR };
        if (!settings.empty()) {
            arguments.push_back("--settings");
            arguments.push_back(settings);
        }
        EXPECT_TRUE(parsePrintDialogArguments(arguments, &options, &error)) << error;
        options.primaryPlugInPath = PRIMARY_PDE_BUNDLE_DIR;
        std::ostringstream out;
        std::ostringstream err;
        ::testing::internal::CaptureStderr();
        int status = runPrintDialog(options, out, err);
        ::testing::internal::GetCapturedStderr();
        remove(scriptPath.c_str());
        *transcript = out.str() + err.str();
        return status;
    }
};

TEST_F(WholeDialogTest, APromptedPrintLeavesNothingBehind)
{
    std::string transcript;
    EXPECT_EQ(run("show\nchoose 100 3\nclick 200\nprint\ntype 501 \"alice\"\ntype 503 \"42\"\nclick 1000\n", kExamples + "/Movra-RK7700.ppd",
                  &transcript),
        kExitPrinted)
        << transcript;
}

TEST_F(WholeDialogTest, ACancelledPromptAndDialogLeaveNothingBehind)
{
    std::string transcript;
    EXPECT_EQ(run("show\nchoose 100 3\nprint\nclick 1001\nhide\nshow\ncancel\n", kExamples + "/Movra-RK7700.ppd", &transcript), kExitNotPrinted)
        << transcript;
}

TEST_F(WholeDialogTest, AFailedScriptInsideThePromptLeavesNothingBehind)
{
    std::string transcript;
    EXPECT_EQ(run("show\nchoose 100 3\nprint\nclick 999\n", kExamples + "/Movra-RK7700.ppd", &transcript), kExitError);
    EXPECT_NE(transcript.find("line 4: no control 999 in the prompt"), std::string::npos) << transcript;
}

TEST_F(WholeDialogTest, AnotherMakersPrinterLeavesNothingBehind)
{
    std::string transcript;
    EXPECT_EQ(run("show\nsummary\nprint\n", kExamples + "/Lumio-LP200.ppd", &transcript), kExitPrinted) << transcript;
}

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

TEST(PrintDialogArguments, TheCommandLineIsChecked)
{
    PrintDialogOptions options;
    std::string error;
    EXPECT_FALSE(parsePrintDialogArguments({ "--script", "-" }, &options, &error));
    EXPECT_EQ(error, "--ppd or --printer is required");
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd", "a.ppd", "--printer", "movra" }, &options, &error));
    EXPECT_EQ(error, "--ppd and --printer cannot go together");
    PrintDialogOptions queue;
    EXPECT_FALSE(parsePrintDialogArguments({ "--printer", "movra" }, &queue, &error));
    EXPECT_EQ(error, "--printer needs --file, the document to print");
    PrintDialogOptions stray;
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd", "a.ppd", "--file", "doc.txt" }, &stray, &error));
    EXPECT_EQ(error, "--server, --timeout and --file go with --printer");
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd" }, &options, &error));
    EXPECT_EQ(error, "--ppd needs a value");
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd", "a.ppd", "--colour" }, &options, &error));
    EXPECT_EQ(error, "unknown option \"--colour\"");
}

TEST(PrintDialogArguments, QueueNamesFollowCupsRules)
{
    std::string error;
    PrintDialogOptions fine;
    EXPECT_TRUE(parsePrintDialogArguments({ "--printer", "Movra_RK-7700.2", "--file", "doc.txt" }, &fine, &error)) << error;
    PrintDialogOptions longest;
    EXPECT_TRUE(parsePrintDialogArguments({ "--printer", std::string(127, 'q'), "--file", "doc.txt" }, &longest, &error)) << error;
    for (const char* bad : { "a b", "a/b", "a#b", "a?b", "a\"b", "a'b", "a\\b", "a\tb", "a\x7f" }) {
        PrintDialogOptions options;
        error.clear();
        EXPECT_FALSE(parsePrintDialogArguments({ "--printer", bad, "--file", "doc.txt" }, &options, &error)) << bad;
        EXPECT_EQ(error.rfind("--printer: a CUPS queue name holds no blank", 0), 0u) << error;
    }
    PrintDialogOptions tooLong;
    EXPECT_FALSE(parsePrintDialogArguments({ "--printer", std::string(128, 'q'), "--file", "doc.txt" }, &tooLong, &error));
    EXPECT_EQ(error, "--printer: a CUPS queue name has at most 127 bytes, and this one has 128");
}

TEST(PrintDialogArguments, TheServerTimeoutIsInSeconds)
{
    std::string error;
    PrintDialogOptions standard;
    ASSERT_TRUE(parsePrintDialogArguments({ "--printer", "movra", "--file", "doc.txt" }, &standard, &error)) << error;
    EXPECT_EQ(standard.serverTimeout, std::chrono::seconds(30));
    PrintDialogOptions quick;
    ASSERT_TRUE(parsePrintDialogArguments({ "--printer", "movra", "--file", "doc.txt", "--timeout", "0.25" }, &quick, &error)) << error;
    EXPECT_EQ(quick.serverTimeout, std::chrono::milliseconds(250));
    for (const char* bad : { "0", "-1", "soon", "5s", "3601", "nan", "inf" }) {
        PrintDialogOptions options;
        error.clear();
        EXPECT_FALSE(parsePrintDialogArguments({ "--printer", "movra", "--file", "doc.txt", "--timeout", bad }, &options, &error)) << bad;
        EXPECT_EQ(error, "--timeout needs a number of seconds, more than 0 and at most 3600") << bad;
    }
}

}
