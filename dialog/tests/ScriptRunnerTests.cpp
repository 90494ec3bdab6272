// A script played against a whole Print dialog in the test's own process, with the built
// bundle: the words each action takes, the actions that the prompt keeps from the dialog behind
// it, and the lines of the transcript, in the order the person meets what they tell.
#include "tests/support/LiveObjects.h"
#include "dialog/PrintDialog.h"
#include "dialog/ScriptRunner.h"
#include "tests/support/TemporaryTree.h"

#include <CoreFoundation/CFStandIn.h>
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

namespace {

const std::string kExamples = EXAMPLES_DIR;
const std::string kMovraPPD = kExamples + "/Movra-RK7700.ppd";

struct Play {
    DialogOutcome outcome;
    std::string transcript;
    std::string error;
};

class ScriptPlay : public BalancedDialogTest {
protected:
    Play play(const std::string& script, const std::string& settings = "", PrintedLine printedLine = PrintedLine::Written,
        DialogPurpose purpose = DialogPurpose::Print, std::vector<StandIn::TicketItem>* synced = nullptr)
    {
        m_folder.addFile("script.txt", script);
        PrintDialog dialog;
        std::string error;
        EXPECT_TRUE(dialog.open({ kMovraPPD, settings, ACCOUNTING_BUNDLE_DIR, PRIMARY_PDE_BUNDLE_DIR, "", {}, purpose }, &error)) << error;
        ScriptSource source;
        EXPECT_TRUE(source.open(m_folder.path("script.txt"), &error)) << error;
        std::ostringstream out;
        Transcript transcript(out);
        ScriptRunner runner(dialog, source, transcript, printedLine);
        DialogOutcome outcome = runner.run();
        if (synced)
            *synced = dialog.printSettings();
        return { outcome, out.str(), runner.error() };
    }

private:
    TemporaryTree m_folder;
};

TEST_F(ScriptPlay, EveryActionGivenTheWrongWordsSaysWhatItTakes)
{
    const std::pair<const char*, const char*> lines[] = {
        { "show now", "usage: show" },
        { "hide now", "usage: hide" },
        { "choose 100", "usage: choose ID ITEM" },
        { "click", "usage: click ID" },
        { "type 302", "usage: type ID TEXT" },
        { "key 302", "usage: key ID NAME" },
        { "select 302 1", "usage: select ID START END" },
        { "print now", "usage: print" },
        { "cancel now", "usage: cancel" },
        { "help me", "usage: help" },
        { "summary now", "usage: summary" },
        { "preset", "usage: preset FILE" },
        { "snapshot", "usage: snapshot FILE" },
        { "dump now", "usage: dump" },
        { "fly", "unknown action: the actions are show, hide, choose, click, type, key, select, print, cancel, forget, help, summary, preset, "
                 "snapshot and dump" },
    };
    for (const auto& [line, says] : lines) {
        Play played = play(std::string("show\n") + line + "\n");
        EXPECT_EQ(played.outcome, DialogOutcome::Failed) << line;
        EXPECT_EQ(played.error, std::string("line 2: ") + says) << line;
    }
}

TEST_F(ScriptPlay, WhileThePromptIsUpTheDialogBehindItTakesNoAction)
{
    // Checked before the action's words: the prompt is what the person faces.
    for (const char* action : { "show", "hide", "print", "cancel", "summary", "preset" }) {
        Play played = play(std::string("show\nchoose 100 3\nclick 200\nprint\n") + action + "\n");
        EXPECT_EQ(played.outcome, DialogOutcome::Failed) << action;
        EXPECT_EQ(played.error, std::string("line 5: \"") + action + "\" acts on the Print dialog, which is behind the prompt");
        EXPECT_EQ(played.transcript, "prompt: Accounting\n") << action;
    }
}

TEST_F(ScriptPlay, TheTranscriptTellsWhatThePersonMeetsInOrder)
{
    Play played = play(R"(show
summary
choose 100 3
click 300
type 302 "a/"
print
click 200
print
help
click 1001
cancel
)");
    EXPECT_EQ(played.outcome, DialogOutcome::Cancelled) << played.error;
    EXPECT_EQ(played.transcript,
        "summary:  Accounting =  Disabled\n"
        "beep\n"
        "notice: Accounting: Your job was not printed because an accounting code is missing. Type your User ID and Account ID in "
        "the Accounting pane, or choose to be asked for them when you click Print.\n"
        "not printed\n"
        "prompt: Accounting\n"
        "help: Movra Printer Help Mac_topics/M_accounting_dialog.htm\n"
        "alert: Your job was not printed. Printers with job accounting need your User ID and Account ID; click Print again when "
        "you have them.\n"
        "not printed\n"
        "cancelled\n");
}

TEST_F(ScriptPlay, ThePrintedLineCanBeLeftToWhoeverSubmitsTheJob)
{
    const std::string script = "show\nprint\n";
    const std::string settings = kExamples + "/settings/default-codes.plist";
    Play announced = play(script, settings);
    EXPECT_EQ(announced.outcome, DialogOutcome::Printed) << announced.error;
    EXPECT_EQ(announced.transcript, "printed\n");
    Play quiet = play(script, settings, PrintedLine::LeftToSubmitter);
    EXPECT_EQ(quiet.outcome, DialogOutcome::Printed) << quiet.error;
    EXPECT_EQ(quiet.transcript, "");
}

TEST_F(ScriptPlay, ADumpListsEveryControlOfThePromptAsThePersonSeesIt)
{
    Play played = play("show\nchoose 100 3\nclick 200\nprint\ntype 501 \"al\"\ndump\nclick 1001\ncancel\n");
    EXPECT_EQ(played.outcome, DialogOutcome::Cancelled) << played.error;
    EXPECT_EQ(played.transcript,
        "prompt: Accounting\n"
        "control - static-text visible enabled 0 20,20,36,340 \"Enter the codes for this print job.\"\n"
        "control - static-text visible enabled 0 59,20,75,120 \"User ID:\"\n"
        "control 9998 edit-text hidden enabled 0 56,128,78,340 \"\"\n"
        "control 502 static-text visible enabled 0 93,20,109,120 \"Account ID:\"\n"
        "control 9999 edit-text hidden enabled 0 90,128,112,340 \"\"\n"
        "control - push-button visible enabled 0 132,20,152,100 \"Help\"\n"
        "control 1001 push-button visible enabled 0 132,168,152,248 \"Cancel\"\n"
        "control 1000 push-button visible disabled 0 132,260,152,340 \"OK\"\n"
        "control 501 edit-text visible enabled 0 56,128,78,340 (concealed, 2 characters)\n"
        "control 503 edit-text visible enabled 0 90,128,112,340 (concealed, 0 characters)\n"
        "alert: Your job was not printed. Printers with job accounting need your User ID and Account ID; click Print again when "
        "you have them.\n"
        "not printed\n"
        "cancelled\n");
}

TEST_F(ScriptPlay, SavingAQueuesSettingsNeverPrompts)
{
    // Accounting on and the codes asked for at Print: Save, in Print's place, stores that choice.
    const std::string script = "show\nchoose 100 3\nclick 200\nsummary\nhelp\ndump\nprint\n";
    std::vector<StandIn::TicketItem> synced;
    Play saved = play(script, "", PrintedLine::LeftToSubmitter, DialogPurpose::Configure, &synced);
    EXPECT_EQ(saved.outcome, DialogOutcome::Printed) << saved.error;
    EXPECT_EQ(saved.transcript.find("prompt:"), std::string::npos) << saved.transcript;
    EXPECT_NE(saved.transcript.find("summary:  Accounting =  Enabled\n"), std::string::npos) << saved.transcript;
    EXPECT_NE(saved.transcript.find("help: Movra Printer Help Mac_topics/M_accounting_dialog.htm\n"), std::string::npos) << saved.transcript;
    EXPECT_NE(saved.transcript.find("control - push-button hidden enabled 0 514,420,534,500 \"Print\"\n"), std::string::npos) << saved.transcript;
    EXPECT_NE(saved.transcript.find("control - push-button visible enabled 0 514,420,534,500 \"Save\"\n"), std::string::npos) << saved.transcript;
    std::map<std::string, SInt32> values;
    for (const auto& item : synced)
        values[item.key] = item.integer;
    EXPECT_EQ(values["com.movra.Act.trel.On"], 3) << "Sync ran towards the ticket";
    EXPECT_EQ(values["com.movra.Act.trel.Prm"], 1);

    // The same in the Print dialog asks for the codes.
    Play printing = play(script, "", PrintedLine::LeftToSubmitter);
    EXPECT_EQ(printing.outcome, DialogOutcome::Failed);
    EXPECT_NE(printing.transcript.find("prompt: Accounting\n"), std::string::npos) << printing.transcript;
}

TEST_F(ScriptPlay, OneScriptAnswersThePromptsOfSeveralDialogsAndNumbersItsLinesOnce)
{
    TemporaryTree folder;
    folder.addFile("answers.txt", "type 501 \"a\"\nclick 1000\nclick 1002\n");
    ScriptSource source;
    std::string error;
    ASSERT_TRUE(source.open(folder.path("answers.txt"), &error)) << error;
    const std::string prompting = kExamples + "/settings/talliant-prompt.plist";
    std::ostringstream out;
    struct Answer {
        PrintClick click;
        std::string error;
        bool ranOut;
    };
    auto answerOneDialog = [&](const std::string& prefix) {
        PrintDialog dialog;
        std::string problem;
        EXPECT_TRUE(dialog.open({ kMovraPPD, prompting, ACCOUNTING_BUNDLE_DIR, PRIMARY_PDE_BUNDLE_DIR }, &problem)) << problem;
        Transcript transcript(out, prefix);
        ScriptRunner runner(dialog, source, transcript, PrintedLine::LeftToSubmitter);
        PrintClick click = dialog.clickPrint(&problem);
        return Answer { click, runner.error(), runner.ranOut() };
    };
    Answer first = answerOneDialog("job 1 q: ");
    EXPECT_EQ(first.click, PrintClick::Printed) << first.error;
    EXPECT_EQ(first.error, "");
    Answer second = answerOneDialog("job 2 q: ");
    EXPECT_EQ(second.click, PrintClick::NotPrinted);
    EXPECT_EQ(second.error, "line 3: no control 1002 in the prompt") << "the second dialog reads on from the first one's last line";
    EXPECT_FALSE(second.ranOut);
    Answer third = answerOneDialog("job 3 q: ");
    EXPECT_EQ(third.click, PrintClick::NotPrinted);
    EXPECT_EQ(third.error, "line 3: the script ends while the prompt is up");
    EXPECT_TRUE(third.ranOut);
    EXPECT_EQ(out.str(), "job 1 q: prompt: Talliant\njob 2 q: prompt: Talliant\njob 3 q: prompt: Talliant\n") << "each line names its dialog";
}

}
