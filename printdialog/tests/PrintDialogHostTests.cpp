// Whole dialogs inside the test's own process: the built bundle loaded through the plug-in
// services, as the printing system loads it, and everything gone again afterwards.
#include "tests/support/LiveObjects.h"
#include "printdialog/PrintDialogCommand.h"
#include "tests/support/TemporaryTree.h"

#include <CoreFoundation/CoreFoundation.h>
#include <CoreFoundation/CFStandIn.h>

#include <sstream>

namespace {

const std::string kExamples = EXAMPLES_DIR;

class WholeDialogTest : public BalancedTest {
protected:
    void TearDown() override
    {
        EXPECT_EQ(StandIn::plugInInstanceCount(nullptr), 0) << "every factory instance is released";
        BalancedTest::TearDown();
    }

    int run(const std::string& script, const std::string& ppd, std::string* transcript, const std::string& settings = "")
    {
        m_folder.addFile("script.txt", script);
        std::string scriptPath = m_folder.path("script.txt");
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
        *transcript = out.str() + err.str();
        return status;
    }

private:
    TemporaryTree m_folder;
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

}
