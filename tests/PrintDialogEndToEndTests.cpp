// printdialog run as a person or a script runs it: a PPD, print settings and a script in, the
// transcript, the diagnostic lines, the exit status and the saved settings out.
#include "tests/support/LiveObjects.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/GuideBlocks.h"
#include "tests/support/TemporaryTree.h"

#include <PrintCore/PMTicketStandIn.h>
#include <PrintCore/PrintCore.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const std::string kExamples = EXAMPLES_DIR;
const std::string kMovraPPD = kExamples + "/Movra-RK7700.ppd";
const std::string kOtherMakerPPD = kExamples + "/Lumio-LP200.ppd";

class PrintDialogRunTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& contents)
    {
        folder.addFile(name, contents);
        return folder.path(name);
    }

    // Runs printdialog with the script's text; --save goes to savePath.
    ProgramRun run(const std::string& script, const std::string& ppd = kMovraPPD, const std::string& settings = "")
    {
        std::vector<std::string> arguments { PRINTDIALOG_PATH, "--ppd", ppd, "--script", write("script.txt", script), "--save", savePath };
        if (!settings.empty())
            arguments.insert(arguments.end(), { "--settings", settings });
        ProgramOptions options;
        options.environment = environment;
        return runProgram(arguments, options);
    }

    // The saved print settings as key = value lines.
    std::map<std::string, std::string> saved()
    {
        std::map<std::string, std::string> items;
        PMTicketRef ticket = nullptr;
        PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket);
        std::string error;
        EXPECT_EQ(StandIn::readSettingsFile(ticket, savePath, &error), noErr) << error;
        for (const auto& item : StandIn::ticketItems(ticket))
            items[item.key] = item.isString ? item.string : std::to_string(item.integer);
        PMRelease(ticket);
        return items;
    }

    bool savedFileExists() const { return std::filesystem::exists(savePath); }

    TemporaryTree folder;
    const std::string savePath = folder.path("saved.plist");
    // The user's language settings, and anything else of the environment, for the run.
    std::vector<std::pair<std::string, std::string>> environment = englishLanguageSettings();
};

TEST_F(PrintDialogRunTest, PromptedCodesTravelWithTheJob)
{
    // Settings without the pane's entries read as "ask for the codes, concealed".
    ProgramRun result = run(R"(show
choose 100 3
click 200
summary
print
type 501 "alice"
type 503 "4711"
click 1000
)");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(result.output, "summary:  Accounting =  Enabled\nprompt: Accounting\nprinted\n");
    EXPECT_EQ(result.errors, "using default conceal user value\nusing default conceal accounting value\n");
    auto settings = saved();
    EXPECT_EQ(settings["com.movra.Act.trel.On"], "3");
    EXPECT_EQ(settings["com.movra.Act.trel.Prm"], "1");
    EXPECT_EQ(settings["com.movra.Act.trel.UID"], "alice");
    EXPECT_EQ(settings["com.movra.Act.trel.AID"], "4711");
    EXPECT_EQ(settings["com.movra.Act.trel.CU"], "1");
    EXPECT_EQ(settings["com.movra.Act.trel.CA"], "1");
    EXPECT_EQ(settings["com.movra.Act.trel.AT"], "1");
    struct stat info;
    ASSERT_EQ(stat(savePath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the saved codes are for their owner alone";
}

TEST_F(PrintDialogRunTest, DefaultCodesFromStoredSettings)
{
    ProgramRun result = run("show\ntype 302 \"-2\"\nprint\n", kMovraPPD, kExamples + "/settings/default-codes.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(result.output, "printed\n");
    EXPECT_EQ(result.errors, "conceal user value = 0\nconceal accounting value = 0\n");
    auto settings = saved();
    EXPECT_EQ(settings["com.movra.Act.trel.UID"], "alice-2");
    EXPECT_EQ(settings["com.movra.Act.trel.AID"], "4711");
    EXPECT_EQ(settings["com.movra.Act.trel.Prm"], "0");
}

TEST_F(PrintDialogRunTest, TalliantAccountingWithAnAccountTypeAndAConcealedAccountID)
{
    ProgramRun result = run(R"(show
print
type 501 "bob"
choose 505 2
type 503 "D-9"
dump
click 1000
)",
        kMovraPPD, kExamples + "/settings/talliant-prompt.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_NE(result.output.find("prompt: Talliant\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("control 503 edit-text visible enabled 0"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("(concealed, 3 characters)"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("D-9"), std::string::npos) << "a concealed code never reaches the transcript";
    auto settings = saved();
    EXPECT_EQ(settings["com.movra.Act.trel.On"], "2");
    EXPECT_EQ(settings["com.movra.Act.trel.AT"], "2");
    EXPECT_EQ(settings["com.movra.Act.trel.AID"], "D-9");
}

TEST_F(PrintDialogRunTest, AccountingOffPrintsWithoutAskingAnything)
{
    ProgramRun result = run("show\ndump\nprint\n");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_NE(result.output.find("control 91 static-text visible"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("control 302 edit-text hidden"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.substr(result.output.size() - 8), "printed\n");
    EXPECT_EQ(saved()["com.movra.Act.trel.On"], "1");
}

TEST_F(PrintDialogRunTest, TalliantAccountingWithDefaultCodesAndNoAccountType)
{
    std::string settings = write("talliant-defaults.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>com.movra.Act.trel.On</key><dict><key>value</key><integer>2</integer></dict>
<key>com.movra.Act.trel.Prm</key><dict><key>value</key><integer>0</integer></dict>
<key>com.movra.Act.trel.UID</key><dict><key>value</key><string>carol</string></dict>
<key>com.movra.Act.trel.AT</key><dict><key>value</key><integer>1</integer></dict>
</dict></plist>
)");
    ProgramRun result = run("show\nprint\n", kMovraPPD, settings);
    ASSERT_EQ(result.exitStatus, 0) << result.errors << result.output;
    EXPECT_EQ(result.output, "printed\n") << "no Account ID is needed without an account type";
    auto saved = this->saved();
    EXPECT_EQ(saved["com.movra.Act.trel.UID"], "carol");
    EXPECT_EQ(saved["com.movra.Act.trel.AID"], "");
    EXPECT_EQ(saved["com.movra.Act.trel.On"], "2");
}

TEST_F(PrintDialogRunTest, CancelInThePromptLeavesTheDialogOpen)
{
    ProgramRun result = run("show\nchoose 100 3\nclick 200\nprint\ntype 501 \"alice\"\nclick 1001\nsummary\ncancel\n");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_EQ(result.output.rfind("prompt: Accounting\nalert: ", 0), 0u) << result.output;
    EXPECT_NE(result.output.find("\nnot printed\nsummary:  Accounting =  Enabled\ncancelled\n"), std::string::npos) << result.output;
    EXPECT_FALSE(savedFileExists());
}

TEST_F(PrintDialogRunTest, MissingDefaultCodeGivesANoticeAndNoPrint)
{
    ProgramRun result = run("show\nselect 302 0 5\nkey 302 delete\nprint\n", kMovraPPD, kExamples + "/settings/default-codes.plist");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_EQ(result.output.rfind("notice: Accounting: ", 0), 0u) << result.output;
    EXPECT_NE(result.output.find("\nnot printed\n"), std::string::npos);
    EXPECT_FALSE(savedFileExists());
}

TEST_F(PrintDialogRunTest, AnotherMakersPrinterGetsNoPane)
{
    ProgramRun result = run("show\nsummary\nprint\n", kOtherMakerPPD, kExamples + "/settings/default-codes.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(result.output, "summary:  Accounting =  Disabled\nprinted\n");
    EXPECT_EQ(result.errors, "") << "no ticket is read for another maker's printer";
    EXPECT_EQ(saved()["com.movra.Act.trel.On"], "1") << "the settings the context was made with";
}

TEST_F(PrintDialogRunTest, PresetLoadsSettingsIntoThePane)
{
    ProgramRun result = run("show\npreset \"" + kExamples + "/settings/default-codes.plist\"\nsummary\ndump\ncancel\n");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_NE(result.output.find("summary:  Accounting =  Enabled"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("control 302 edit-text visible enabled 0"), std::string::npos);
    EXPECT_NE(result.output.find("\"alice\""), std::string::npos) << result.output;
}

TEST_F(PrintDialogRunTest, SummaryBeforeThePaneIsShownFollowsTheSettings)
{
    ProgramRun result = run("summary\ncancel\n", kMovraPPD, kExamples + "/settings/talliant-prompt.plist");
    EXPECT_EQ(result.output, "summary:  Accounting =  Enabled\ncancelled\n");
}

TEST_F(PrintDialogRunTest, HelpFromThePaneAndFromThePrompt)
{
    ProgramRun result = run("show\nhelp\nchoose 100 3\nclick 200\nprint\nhelp\nclick 1001\ncancel\n");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    const std::string help = "help: Movra Printer Help Mac_topics/M_accounting_dialog.htm\n";
    EXPECT_EQ(result.output.find(help), 0u) << result.output;
    EXPECT_NE(result.output.find("prompt: Accounting\n" + help), std::string::npos) << result.output;
}

TEST_F(PrintDialogRunTest, HelpInAPromptWhenThePaneWasNeverShown)
{
    ProgramRun result = run("print\nhelp\nclick 1001\ncancel\n", kMovraPPD, kExamples + "/settings/talliant-prompt.plist");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_EQ(result.output.find("prompt: Talliant\nhelp: Movra Printer Help Mac_topics/M_accounting_dialog.htm\n"), 0u) << result.output;
}

TEST_F(PrintDialogRunTest, RefusedKeysBeep)
{
    ProgramRun result = run("show\ntype 302 \"a/b\"\ndump\ncancel\n", kMovraPPD, kExamples + "/settings/default-codes.plist");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_EQ(result.output.find("beep\n"), 0u) << result.output;
    EXPECT_NE(result.output.find("\"aliceab\""), std::string::npos) << result.output;
}

TEST_F(PrintDialogRunTest, GermanSettingsGiveTheGermanPane)
{
    environment = { { "LANGUAGE", "" }, { "LC_ALL", "" }, { "LC_MESSAGES", "" }, { "LANG", "de_DE.UTF-8" } };
    ProgramRun result = run("show\nchoose 100 3\nclick 300\nsummary\ndump\nprint\n");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_NE(result.output.find("summary:  Abrechnung =  Eingeschaltet\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("control 200 radio-button visible enabled 0"), std::string::npos);
    EXPECT_NE(result.output.find("\"Beim Drucken nach den Codes fragen\""), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("control 100 popup-button visible enabled 3 "), std::string::npos);
    EXPECT_NE(result.output.find("\"Abrechnung\""), std::string::npos);
    EXPECT_NE(result.output.find("notice: Abrechnung: Ihr Auftrag wurde nicht gedruckt"), std::string::npos) << result.output;
}

TEST_F(PrintDialogRunTest, GermanPromptAndCancelAlert)
{
    environment = { { "LANGUAGE", "de:en" }, { "LANG", "C.UTF-8" } };
    ProgramRun result = run("show\nchoose 100 3\nclick 200\nprint\ndump\nclick 1001\ncancel\n");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_NE(result.output.find("\"Geben Sie die Codes für diesen Auftrag ein.\""), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("\"Abbrechen\""), std::string::npos);
    EXPECT_NE(result.output.find("alert: Ihr Auftrag wurde nicht gedruckt."), std::string::npos) << result.output;
}

// Width and height from a PNG file's header; zero when the file is no PNG.
std::pair<unsigned, unsigned> pngSize(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    unsigned char header[24] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    static const unsigned char signature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    if (!file || !std::equal(signature, signature + 8, header))
        return { 0, 0 };
    auto word = [&](int at) { return unsigned(header[at]) << 24 | unsigned(header[at + 1]) << 16 | unsigned(header[at + 2]) << 8 | header[at + 3]; };
    return { word(16), word(20) };
}

TEST_F(PrintDialogRunTest, AScriptedRunLoadsNoGUIToolkit)
{
    environment.emplace_back("LD_DEBUG", "files");
    ProgramRun result = run("show\nchoose 100 3\nclick 200\nprint\ntype 501 \"a\"\ntype 503 \"b\"\nclick 1000\n");
    ASSERT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.errors.find("Accounting.plugin"), std::string::npos) << "the loader's report names what was loaded";
    EXPECT_EQ(result.errors.find("libQt6"), std::string::npos);
    EXPECT_EQ(result.errors.find("libScreenModule"), std::string::npos);
}

TEST_F(PrintDialogRunTest, AScreenThatCannotBeOpenedEndsTheRunWithQtsReasonAndNoCoreDump)
{
    const std::vector<std::vector<std::pair<std::string, std::string>>> screens = {
        { { "DISPLAY", ":0" }, { "QT_QPA_PLATFORM", "nosuch" } },
        { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "no-such-compositor" }, { "QT_QPA_PLATFORM", "" } },
    };
    for (const auto& screen : screens) {
        ProgramOptions options;
        options.environment = environment;
        options.environment.insert(options.environment.end(), screen.begin(), screen.end());
        ProgramRun result = runProgram({ PRINTDIALOG_PATH, "--ppd", kMovraPPD, "--save", savePath }, options);
        EXPECT_EQ(result.signal, 0) << result.errors;
        EXPECT_EQ(result.exitStatus, 2) << result.errors;
        EXPECT_NE(result.errors.find("printdialog: the window cannot go on screen: "), std::string::npos) << result.errors;
        EXPECT_FALSE(savedFileExists());
    }
}

TEST_F(PrintDialogRunTest, PicturesOfTheDialogAndThePromptWithoutADisplay)
{
    std::string dialogPicture = folder.path("dialog.png");
    std::string promptPicture = folder.path("prompt.png");
    ProgramRun result = run("show\nprint\nsnapshot \"" + promptPicture + "\"\nclick 1001\nsnapshot \""
            + dialogPicture + "\"\ncancel\n",
        kMovraPPD, kExamples + "/settings/talliant-prompt.plist");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    auto [promptWidth, promptHeight] = pngSize(promptPicture);
    EXPECT_EQ(promptWidth, 360u) << "the prompt is the front window while it is up";
    EXPECT_EQ(promptHeight, 204u);
    auto [dialogWidth, dialogHeight] = pngSize(dialogPicture);
    EXPECT_GT(dialogWidth, 360u);
    EXPECT_GT(dialogHeight, 204u);
}

TEST_F(PrintDialogRunTest, AnAdministratorListsTheCodesAPrinterAsksFor)
{
    auto list = [this](const std::string& ppd) {
        ProgramOptions options;
        options.environment = environment;
        return runProgram({ PRINTDIALOG_PATH, "--list-codes", "--ppd", ppd }, options);
    };
    // The administrators' guide's lines of privacy, the same for every queue: every value of a job
    // is private.
    const std::string policy = guidePrivacyLines();
    ASSERT_FALSE(policy.empty());
    ProgramRun movra = list(kMovraPPD);
    EXPECT_EQ(movra.exitStatus, 0) << movra.errors;
    EXPECT_EQ(movra.output, "com.movra.Act.trel.UID\tcharacters\t1-79\t-\tUser ID\ncom.movra.Act.trel.AID\tcharacters\t1-79\t-\tAccount ID\n" + policy);

    ProgramRun none = list(kOtherMakerPPD);
    EXPECT_EQ(none.exitStatus, 0) << none.errors;
    EXPECT_EQ(none.output + none.errors, "") << "a printer that asks for no code";

    std::string lockedPrint = write("locked.ppd", R"(*PPD-Adobe: "4.3"
*OpenUI *JobType/Job Type: PickOne
*JobType Normal/Normal: ""
*JobType LockedPrint/Locked Print: ""
*CloseUI: *JobType
*OpenUI *LockedPrintPassword/Locked Print Password (4-8 digits)]0;owned: PickOne
*FoomaticRIPOptionAllowedChars LockedPrintPassword: "0-9"
*CloseUI: *LockedPrintPassword
*ParamCustomLockedPrintPassword Password: 1 password 4 8
*OpenUI *UserCode/User Code: PickOne
*CloseUI: *UserCode
*ParamCustomUserCode UserCode/User Code: 1 passcode 1 8
)");
    ProgramRun locked = list(lockedPrint);
    EXPECT_EQ(locked.exitStatus, 0) << locked.errors;
    EXPECT_EQ(locked.output,
        "LockedPrintPassword\tcharacters[0-9]\t4-8\tJobType=LockedPrint\tLocked Print Password (4-8 digits)\\x1B]0;owned\\x07\n"
        "UserCode\tdigits\t1-8\t-\tUser Code\n"
            + policy);

    ProgramRun unreadable = list(write("text.ppd", "hello, world\n"));
    EXPECT_EQ(unreadable.exitStatus, 2);
    EXPECT_EQ(unreadable.output, "");
    EXPECT_EQ(unreadable.errors, "printdialog: " + folder.path("text.ppd") + ": not a PPD file (line 1 is not *PPD-Adobe: \"4.x\")\n");
}

struct BadRun {
    const char* name;
    std::string script;
    std::string ppd;
    std::string settings;
    const char* mentions;
};

class BadRunTest : public PrintDialogRunTest, public ::testing::WithParamInterface<BadRun> {
};

void PrintTo(const BadRun& bad, std::ostream* out)
{
    *out << bad.name;
}

TEST_P(BadRunTest, FailsWithOneClearLineAndSavesNothing)
{
    const BadRun& bad = GetParam();
    std::string settings = bad.settings.empty() ? "" : write("settings.plist", bad.settings);
    ProgramRun result = run(bad.script, bad.ppd.empty() ? kMovraPPD : bad.ppd, settings);
    EXPECT_EQ(result.exitStatus, 2) << result.output;
    EXPECT_NE(result.errors.find(bad.mentions), std::string::npos) << result.errors;
    EXPECT_EQ(result.errors.find("printdialog: "), result.errors.rfind("printdialog: ")) << "one line: " << result.errors;
    EXPECT_FALSE(savedFileExists());
}

INSTANTIATE_TEST_SUITE_P(Runs, BadRunTest,
    ::testing::Values(BadRun { "unknown_action", "show\nfly 3\n", "", "", "line 2: unknown action" },
        BadRun { "control_not_in_pane", "show\nclick 999\n", "", "", "line 2: no control 999" },
        BadRun { "disabled_control", "show\nchoose 100 3\nclick 300\nclick 202\n", "", "", "line 4: check box 'MVRa' 202 is disabled" },
        BadRun { "hidden_menu_item", "show\nchoose 100 2\n", "", "", "line 2: item 2 of popup button 'MVRa' 100 is hidden" },
        BadRun { "script_ends_in_prompt", "show\nchoose 100 3\nclick 200\nprint\ntype 501 \"x\"\n", "", "", "while the prompt is up" },
        BadRun { "dialog_action_in_prompt", "show\nchoose 100 3\nclick 200\nprint\ncancel\n", "", "", "behind the prompt" },
        BadRun { "unclosed_quote", "show\ntype 302 \"abc\n", "", "", "line 2: a quoted text is not closed" },
        BadRun { "missing_ppd", "show\n", "/no/such/printer.ppd", "", "printer.ppd" },
        BadRun { "malformed_settings", "show\n", "",
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>com.movra.Act.trel.On</key><dict><key>value</key><real>2.5</real></dict></dict></plist>",
            "\"com.movra.Act.trel.On\"" },
        BadRun { "action_after_the_job_went_on", "print\nsummary\n", "", "", "line 2: the Print dialog has closed" }),
    [](const auto& info) { return std::string(info.param.name); });

}
