// A held job's Print click in the test's own process, with the built bundle: the prompt names the
// job, a queue without stored settings asks for both codes concealed, and the desks (a script
// across several jobs, or nobody) answer or leave the job held for a reason.
#include "ClickWitness.h"
#include "HeldJob.h"
#include "QueueSettings.h"
#include "LiveObjects.h"
#include "PromptDesk.h"
#include "RecordingInputSource.h"
#include "TemporaryTree.h"
#include "WindowControls.h"

#include <CoreFoundation/CFStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

const std::string kExamples = EXAMPLES_DIR;

class HeldJobDialog : public BalancedDialogTest {
protected:
    // The dialog for a job on a queue without stored settings, or with the settings file given.
    static bool open(PrintDialog& dialog, const std::string& settings = "")
    {
        std::string error;
        bool opened = dialog.open({ .ppdPath = kExamples + "/Movra-RK7700.ppd",
                                      .settingsPath = settings,
                                      .plugInPath = ACCOUNTING_BUNDLE_DIR,
                                      .primaryPlugInPath = PRIMARY_PDE_BUNDLE_DIR,
                                      .settingItems = settings.empty() ? QueueSettings::unstored().items() : std::vector<StandIn::TicketItem>() },
            &error);
        EXPECT_TRUE(opened) << error;
        return opened;
    }

    struct Played {
        PrintClick click;
        DeskAnswer answer;
    };

    // One job's click with the desk answering, told to out.
    Played play(PromptDesk& desk, int job, std::ostringstream& out, const std::string& settings = "")
    {
        PrintDialog dialog;
        if (!open(dialog, settings))
            return { PrintClick::Failed, {} };
        Transcript transcript(out, "job " + std::to_string(job) + " movra: ");
        desk.begin(dialog, transcript);
        std::string error;
        PrintClick click;
        {
            ClickWitness witness({ "report.pdf", "movra" });
            click = dialog.clickPrint(&error);
        }
        return { click, desk.end() };
    }

    TemporaryTree folder;
};

TEST_F(HeldJobDialog, ThePromptIsTitledWithTheDocumentAndTheQueue)
{
    PrintDialog dialog;
    ASSERT_TRUE(open(dialog));
    RecordingInputSource person;
    std::string title;
    person.queue([&](WindowRef prompt) {
        CFStringRef shown = nullptr;
        CopyWindowTitleAsCFString(prompt, &shown);
        title = StandIn::toUTF8(shown);
        if (shown)
            CFRelease(shown);
        std::string refused;
        StandIn::clickControl(findControlByNumber(prompt, 1001), &refused);
    });
    ClickWitness witness({ "report.pdf", "movra" });
    std::string error;
    EXPECT_EQ(dialog.clickPrint(&error), PrintClick::NotPrinted);
    EXPECT_EQ(title, "Accounting \u2014 report.pdf \u2014 movra") << "the pane's own title first";
    EXPECT_TRUE(witness.alertShown()) << "Cancel in the prompt brings the pane's alert";
    EXPECT_FALSE(witness.noticeShown());
    EXPECT_EQ(person.events().size(), 1u) << "the person still sees the alert";
}

TEST_F(HeldJobDialog, ADocumentNameCannotBreakTheTitle)
{
    EXPECT_EQ(promptTitle("Accounting", "a\nb\tc\x7f", "movra"), "Accounting \u2014 a\\x0Ab\\x09c\\x7F \u2014 movra");
    EXPECT_EQ(promptTitle("Accounting", "", "movra"), "Accounting \u2014 movra");
    EXPECT_EQ(promptTitle("Abrechnung", "Bericht.pdf", "büro"), "Abrechnung \u2014 Bericht.pdf \u2014 büro");
}

TEST_F(HeldJobDialog, AQueueWithoutStoredSettingsAsksForBothCodesConcealed)
{
    ScriptSource script;
    folder.addFile("look.txt", "dump\nclick 1001\n");
    std::string error;
    ASSERT_TRUE(script.open(folder.path("look.txt"), &error)) << error;
    auto desk = makeScriptDesk(script, "look.txt");
    std::ostringstream out;
    Played played = play(*desk, 3, out);
    EXPECT_EQ(played.click, PrintClick::NotPrinted);
    EXPECT_EQ(played.answer.unanswered, "") << "Cancel is an answer";
    std::string lines = out.str();
    EXPECT_EQ(lines.rfind("job 3 movra: prompt: Accounting\n", 0), 0u) << lines;
    EXPECT_NE(lines.find("job 3 movra: control 501 edit-text visible enabled 0 56,128,78,340 (concealed, 0 characters)\n"), std::string::npos)
        << lines;
    EXPECT_NE(lines.find("job 3 movra: control 503 edit-text visible enabled 0 90,128,112,340 (concealed, 0 characters)\n"), std::string::npos)
        << lines;
    EXPECT_NE(lines.find("job 3 movra: alert: "), std::string::npos) << lines;
}

TEST_F(HeldJobDialog, OneScriptAnswersThePromptsOfJobAfterJobUntilItRunsOut)
{
    ScriptSource script;
    folder.addFile("answers.txt", "type 501 \"alice\"\ntype 503 \"42\"\nclick 1000\n");
    std::string error;
    ASSERT_TRUE(script.open(folder.path("answers.txt"), &error)) << error;
    auto desk = makeScriptDesk(script, "answers.txt");
    std::ostringstream out;
    Played first = play(*desk, 1, out);
    EXPECT_EQ(first.click, PrintClick::Printed);
    EXPECT_EQ(first.answer.unanswered, "");
    Played defaults = play(*desk, 2, out, kExamples + "/settings/default-codes.plist");
    EXPECT_EQ(defaults.click, PrintClick::Printed) << "default codes need no answer";
    Played second = play(*desk, 3, out);
    EXPECT_EQ(second.click, PrintClick::NotPrinted);
    EXPECT_EQ(second.answer.unanswered, "the script has no more lines to answer the prompt with");
    EXPECT_EQ(second.answer.error, "") << "a script that has answered all it had is no fault";
    EXPECT_EQ(out.str(), "job 1 movra: prompt: Accounting\njob 3 movra: prompt: Accounting\n");
}

TEST_F(HeldJobDialog, AScriptThatFailsAnswersNoPromptAfterwards)
{
    ScriptSource script;
    folder.addFile("wrong.txt", "click 1002\ntype 501 \"alice\"\ntype 503 \"42\"\nclick 1000\n");
    std::string error;
    ASSERT_TRUE(script.open(folder.path("wrong.txt"), &error)) << error;
    auto desk = makeScriptDesk(script, "wrong.txt");
    std::ostringstream out;
    Played failed = play(*desk, 1, out);
    EXPECT_EQ(failed.click, PrintClick::NotPrinted);
    EXPECT_EQ(failed.answer.unanswered, "the script stopped at line 1");
    EXPECT_EQ(failed.answer.error, "wrong.txt: line 1: no control 1002 in the prompt");
    Played next = play(*desk, 2, out);
    EXPECT_EQ(next.click, PrintClick::NotPrinted) << "the lines after a fault would answer the wrong prompt";
    EXPECT_EQ(next.answer.unanswered, "the script stopped at line 1");
    EXPECT_EQ(next.answer.error, "");
}

TEST_F(HeldJobDialog, WithNobodyToAskAJobThatNeedsThePromptIsNotPrinted)
{
    auto desk = makeAbsentDesk("nobody to ask");
    std::ostringstream out;
    Played asked = play(*desk, 1, out);
    EXPECT_EQ(asked.click, PrintClick::NotPrinted);
    EXPECT_EQ(asked.answer.unanswered, "nobody to ask");
    Played defaults = play(*desk, 2, out, kExamples + "/settings/default-codes.plist");
    EXPECT_EQ(defaults.click, PrintClick::Printed);
    EXPECT_EQ(defaults.answer.unanswered, "");
    EXPECT_EQ(out.str(), "") << "no prompt was shown, and nothing was said";
}

}
