// A held job's Print click in the test's own process, with the built bundle: the prompt names the
// job, a queue without stored settings asks for both codes concealed, a script answers job after
// job (handed on from one answerer to the next, as from one prompt's process to the next), and a
// click with nobody to ask leaves the job held.
#include "agent/HeldJobClick.h"
#include "agent/PaneDiagnostics.h"
#include "agent/tests/HeldJobDialog.h"
#include "tests/support/LiveObjects.h"
#include "tests/support/RecordingInputSource.h"
#include "tests/support/TemporaryTree.h"
#include "dialog/WindowControls.h"

#include <CoreFoundation/CFStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <gtest/gtest.h>

#include <sstream>

namespace {

const std::string kExamples = EXAMPLES_DIR;

// The person is the test's recording source, installed before the click.
class RecordedPerson : public PromptAnswerer {
public:
    bool showsNotices() const override { return true; }
    std::string unreachable() const override { return "the test has no person"; }
    void begin(PrintDialog&, Transcript&) override { }
    Answer end() override { return {}; }
};

class HeldJobDialog : public BalancedDialogTest {
protected:
    // One job's click on report.pdf, with the answerer (or nobody) answering, told to out.
    static ClickOutcome play(PromptAnswerer* answerer, int job, std::ostringstream& out, const std::string& settings = "")
    {
        PrintDialog dialog;
        if (!openHeldJobDialog(dialog, settings))
            return {};
        Transcript transcript(out, "job " + std::to_string(job) + " movra: ");
        return playHeldJobClick(dialog, { "report.pdf", "movra" }, answerer, transcript);
    }

    // The script's answerer for the next job, taking up where the last one left the script, as
    // the agent does after each prompt's process.
    std::unique_ptr<PromptAnswerer> answererAfter(const std::string& state)
    {
        auto answerer = makeScriptAnswerer(script, "answers.txt");
        if (!state.empty())
            answerer->takeState(state);
        return answerer;
    }

    void openScript(const std::string& lines)
    {
        folder.addFile("answers.txt", lines);
        std::string error;
        ASSERT_TRUE(script.open(folder.path("answers.txt"), &error)) << error;
    }

    TemporaryTree folder;
    ScriptSource script;
};

TEST_F(HeldJobDialog, ThePromptNamesTheJobAndCancellingItCancelsTheJobInTheAgentsWords)
{
    PrintDialog dialog;
    ASSERT_TRUE(openHeldJobDialog(dialog));
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
    RecordedPerson answerer;
    std::ostringstream out;
    Transcript transcript(out);
    int cancels = 0;
    CancelJob serverCancels = [&cancels](std::string*) {
        ++cancels;
        return CancelAnswer::Done;
    };
    ClickOutcome outcome = playHeldJobClick(dialog, { "report.pdf", "movra" }, &answerer, transcript, serverCancels);
    EXPECT_EQ(outcome.kind, ClickOutcome::Kind::Cancelled);
    EXPECT_EQ(title, "Accounting \u2014 report.pdf \u2014 movra") << "the pane's own title first";
    EXPECT_EQ(cancels, 1) << "the job is cancelled before the message says so";
    ASSERT_EQ(person.events().size(), 1u);
    EXPECT_EQ(person.events()[0],
        "notice: Accounting \u2014 report.pdf \u2014 movra / \u201creport.pdf\u201d on movra was cancelled; print it again from your program to get the "
        "prompt back.")
        << "information, not an error: the person chose it";

    EXPECT_EQ(promptTitle("Accounting", "a\nb\tc\x7f", "movra"), "Accounting \u2014 a\\x0Ab\\x09c\\x7F \u2014 movra")
        << "a document's name cannot break the title";
    EXPECT_EQ(promptTitle("Accounting", "", "movra"), "Accounting \u2014 movra");
}

TEST_F(HeldJobDialog, AQueueWithoutStoredSettingsAsksForBothCodesConcealed)
{
    openScript("dump\nclick 1001\n");
    auto answerer = makeScriptAnswerer(script, "answers.txt");
    std::ostringstream out;
    ClickOutcome outcome = play(answerer.get(), 3, out);
    EXPECT_EQ(outcome.kind, ClickOutcome::Kind::Cancelled) << "Cancel is an answer: " << outcome.why;
    std::string lines = out.str();
    EXPECT_EQ(lines.rfind("job 3 movra: prompt: Accounting\n", 0), 0u) << lines;
    EXPECT_NE(lines.find("job 3 movra: control 501 edit-text visible enabled 0 84,128,106,340 (concealed, 0 characters)\n"), std::string::npos)
        << lines;
    EXPECT_NE(lines.find("job 3 movra: control 503 edit-text visible enabled 0 118,128,140,340 (concealed, 0 characters)\n"), std::string::npos)
        << lines;
    EXPECT_NE(lines.find("job 3 movra: notice: "), std::string::npos) << lines;
}

TEST_F(HeldJobDialog, OneScriptAnswersThePromptsOfJobAfterJobUntilItRunsOut)
{
    openScript("type 501 \"alice\"\ntype 503 \"42\"\nclick 1000\n");
    std::ostringstream out;
    auto first = answererAfter("");
    ClickOutcome printed = play(first.get(), 1, out);
    EXPECT_EQ(printed.kind, ClickOutcome::Kind::Printed) << printed.why;
    EXPECT_FALSE(printed.settings.empty()) << "the codes go with the job's settings";
    auto second = answererAfter(first->state());
    ClickOutcome defaults = play(second.get(), 2, out, kExamples + "/settings/default-codes.plist");
    EXPECT_EQ(defaults.kind, ClickOutcome::Kind::Printed) << "default codes need no answer";
    auto third = answererAfter(second->state());
    ClickOutcome ranOut = play(third.get(), 3, out);
    EXPECT_EQ(ranOut.kind, ClickOutcome::Kind::Unanswered);
    EXPECT_EQ(ranOut.why, "the script has no more lines to answer the prompt with");
    EXPECT_EQ(ranOut.fault, "") << "a script that has answered all it had is no fault";
    EXPECT_EQ(out.str(), "job 1 movra: prompt: Accounting\njob 3 movra: prompt: Accounting\n");
}

TEST_F(HeldJobDialog, AScriptThatFailsAnswersNoPromptAfterwards)
{
    openScript("click 1002\ntype 501 \"alice\"\ntype 503 \"42\"\nclick 1000\n");
    std::ostringstream out;
    auto first = answererAfter("");
    ClickOutcome failed = play(first.get(), 1, out);
    EXPECT_EQ(failed.kind, ClickOutcome::Kind::Unanswered);
    EXPECT_EQ(failed.why, "the script stopped at line 1");
    EXPECT_EQ(failed.fault, "answers.txt: line 1: no control 1002 in the prompt");
    auto next = answererAfter(first->state());
    ClickOutcome after = play(next.get(), 2, out);
    EXPECT_EQ(after.kind, ClickOutcome::Kind::Unanswered) << "the lines after a fault would answer the wrong prompt";
    EXPECT_EQ(after.why, "the script stopped at line 1");
    EXPECT_EQ(after.fault, "");
}

TEST_F(HeldJobDialog, WithNobodyToAskAJobThatNeedsThePromptStaysHeld)
{
    std::ostringstream out;
    ClickOutcome asked = play(nullptr, 1, out);
    EXPECT_EQ(asked.kind, ClickOutcome::Kind::Unanswered);
    EXPECT_EQ(asked.why, "it needs the prompt");
    ClickOutcome defaults = play(nullptr, 2, out, kExamples + "/settings/default-codes.plist");
    EXPECT_EQ(defaults.kind, ClickOutcome::Kind::Printed);
    std::string settings = fileContents(kExamples + "/settings/default-codes.plist");
    folder.addFile("missing-account.plist", settings.replace(settings.find("4711"), 4, ""));
    ClickOutcome missing = play(nullptr, 3, out, folder.path("missing-account.plist"));
    EXPECT_EQ(missing.kind, ClickOutcome::Kind::CodeMissing) << "the pane's notice: " << missing.why;
    EXPECT_EQ(out.str(), "") << "no prompt was shown, and nothing was said";
}

TEST(PaneDiagnosticLines, ReachTheTerminalOnlyAsText)
{
    std::ostringstream err;
    PaneDiagnostics::forward("conceal user value = 1\nqueue movra\x1b]0;owned\x07\n", true, err);
    EXPECT_EQ(err.str(), "conceal user value = 1\nqueue movra\\x1B]0;owned\\x07\n");
}

}
