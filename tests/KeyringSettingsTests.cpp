// The queues' default codes in the desktop's keyring, through printdialog and a private CUPS
// server, with a Secret Service of the test's own (GNOME Keyring on a session bus of its own,
// unlocked from standard input) so that nothing touches the machine's keyring: the settings window
// keeps the codes there and no file of the home holds them, a print takes them from there and a
// print that asks for them never loads the keyring, codes stored in a file before move in, the person may keep them in the file instead or forget them,
// and a keyring that is absent, locked, silent or holding something else is told of by name.
#include "tests/support/ClearError.h"
#include "tests/cups/PrivateCupsServer.h"
#include "queues/keyring/tests/PrivateSecretService.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/RunningProgram.h"
#include "tests/support/SettingsFileValues.h"
#include "tests/cups/SharedCupsServerTest.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

// Default codes typed into the pane and saved for the queue, the prompt off.
const std::string kSaveDefaultCodes = "show\nchoose 100 3\nclick 300\ntype 302 \"alice-SECRET\"\ntype 304 \"4711-SECRET\"\nprint\n";
const std::string kSchema = "com.movra.accounting-pane.QueueCodes";

enum class Session {
    WithKeyring,
    WithoutBus,
};

class KeyringSettingsTest : public SharedCupsServerTest {
protected:
    static void SetUpTestSuite()
    {
        PrivateCupsServer::Setup setup;
        setup.holdingQueues = true;
        startServer(setup);
    }

    void SetUp() override
    {
        SharedCupsServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (std::string why = PrivateSecretService::unavailable(); !why.empty())
            GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(m_session.startBus(&error) && m_session.startKeyring(&error)) << error;
    }

    // printdialog saving the queue's settings, in the test's session or in one without a bus.
    ProgramRun configure(const std::string& queue, const std::string& script, const std::vector<std::string>& more = {},
        Session session = Session::WithKeyring) const
    {
        std::vector<std::string> arguments { PRINTDIALOG_PATH, "--configure", "--printer", queue, "--server", gServer->socket(), "--settings-dir",
            folder() };
        arguments.insert(arguments.end(), more.begin(), more.end());
        if (!script.empty())
            arguments.insert(arguments.end(), { "--script", "-" });
        return checked(runProgram(arguments, in(session, script)));
    }

    // printdialog printing the server's test document on the queue.
    ProgramRun print(const std::string& queue, const std::string& script, const std::vector<std::string>& more = {},
        const std::vector<std::pair<std::string, std::string>>& environment = {}) const
    {
        std::vector<std::string> arguments = gServer->printCommand(queue);
        arguments.insert(arguments.end(), { "--settings-dir", folder(), "--script", "-" });
        arguments.insert(arguments.end(), more.begin(), more.end());
        ProgramOptions options = in(Session::WithKeyring, script);
        options.environment.insert(options.environment.end(), environment.begin(), environment.end());
        return checked(runProgram(arguments, options));
    }

    // What the settings window says, under the pane, of where the codes are kept: its dump shows
    // the default codes too, as the pane does.
    std::string windowLine(const std::string& queue, Session session = Session::WithKeyring) const
    {
        ProgramRun run = runProgram({ PRINTDIALOG_PATH, "--configure", "--printer", queue, "--server", gServer->socket(), "--settings-dir",
                                        folder(), "--script", "-" },
            in(session, "dump\ncancel\n"));
        const std::string prefix = "control 2000 static-text visible enabled 0 ";
        size_t at = run.output.find(prefix);
        if (at == std::string::npos)
            return "no line in: " + run.output + run.errors;
        size_t text = run.output.find('"', at);
        return run.output.substr(text, run.output.find('\n', at) - text);
    }

    ProgramOptions in(Session session, const std::string& script) const
    {
        ProgramOptions options = withInput(script);
        options.environment = englishLanguageSettings();
        if (session == Session::WithKeyring)
            options.environment.push_back(m_session.busVariable());
        return options;
    }

    // No code ever reaches what printdialog writes.
    static ProgramRun checked(ProgramRun run)
    {
        EXPECT_EQ(run.output.find("SECRET"), std::string::npos) << run.output;
        EXPECT_EQ(run.errors.find("SECRET"), std::string::npos) << run.errors;
        return run;
    }

    std::string folder() const { return m_home.path("home/.config/accounting-pane"); }
    std::string storedFile(const std::string& queue) const { return queueSettingsFile(folder(), queue, gServer->socket()); }

    // An entry of the queue's stored settings by its last name ("UID"); empty when there is none.
    std::string stored(const std::string& queue, const std::string& key) const
    {
        auto values = settingsFileValues(storedFile(queue));
        auto found = values.find("com.movra.Act.trel." + key);
        return found == values.end() ? "" : found->second;
    }

    // The keyring's items of the queues' codes, by queue, with their secrets.
    std::map<std::string, std::string> keyringCodes() const
    {
        std::map<std::string, std::string> codes;
        for (const KeyringEntry& entry : m_session.entries()) {
            if (entry.attributes.count("xdg:schema") && entry.attributes.at("xdg:schema") == kSchema)
                codes[entry.attributes.at("queue")] = entry.secret;
        }
        return codes;
    }

    static std::string secretOf(const std::string& userID, const std::string& accountID)
    {
        return kSchema + " 1\nUser ID: " + userID + "\nAccount ID: " + accountID + "\n";
    }

    // The server as the keyring's items name it: its socket by its real path.
    static std::string serverKey()
    {
        char real[PATH_MAX];
        return realpath(gServer->socket().c_str(), real) ? real : gServer->socket();
    }

    static std::string lastJobs() { return jobsAsSeenBy(*gServer, "root", 0); }

    TemporaryTree m_home;
    PrivateSecretService m_session { m_home };
};

TEST_F(KeyringSettingsTest, TheSettingsWindowKeepsTheCodesInTheKeyringAndNoFileOfTheHomeHoldsThem)
{
    ProgramRun run = configure("movra", kSaveDefaultCodes);
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "saved\n");
    EXPECT_EQ(run.errors.find("printdialog:"), std::string::npos) << run.errors;

    std::vector<KeyringEntry> entries = m_session.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].label, "Printer accounting codes for movra on " + serverKey());
    EXPECT_EQ(entries[0].attributes, (std::map<std::string, std::string> { { "xdg:schema", kSchema }, { "server", serverKey() }, { "queue", "movra" } }));
    EXPECT_EQ(entries[0].secret, secretOf("alice-SECRET", "4711-SECRET"));
    EXPECT_EQ(stored("movra", "Prm"), "0") << "the rest of the settings stays in the file";
    EXPECT_EQ(stored("movra", "Kept"), "keyring");
    for (const char* code : { "alice-SECRET", "4711-SECRET" })
        EXPECT_EQ(m_home.filesHolding(code), std::vector<std::string> {}) << code;
    EXPECT_EQ(windowLine("movra"), "\"The default codes are kept in the desktop's keyring.\"");

    // A print on the queue takes them from the keyring.
    ProgramRun printed = print("movra", "print\n");
    ASSERT_EQ(printed.exitStatus, 0) << printed.errors;
    int job = printedJobNumber(printed.output);
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "4711-SECRET");
    EXPECT_EQ(gServer->driverOptions(job).find("com.movra.Act.trel.Kept"), std::string::npos) << "where the codes are kept is no print setting";
    EXPECT_EQ(m_home.filesHolding("alice-SECRET"), std::vector<std::string> {});
}

TEST_F(KeyringSettingsTest, AJobThatAsksForItsCodesNeverLoadsTheKeyring)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);
    ASSERT_EQ(configure("movra", "show\nclick 200\nprint\n").exitStatus, 0) << "the prompt on, the default codes kept";

    ProgramRun run = print("movra", "print\ntype 501 \"bob-SECRET\"\ntype 503 \"77-SECRET\"\nclick 1000\n", {}, { { "LD_DEBUG", "files" } });
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_NE(run.errors.find("Accounting.plugin"), std::string::npos) << "the loader's report names what was loaded";
    EXPECT_EQ(run.errors.find("libKeyringModule"), std::string::npos) << "nothing of the keyring was needed";
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(run.output), "job-accounting-user-id"), "bob-SECRET");
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> { { "movra", secretOf("alice-SECRET", "4711-SECRET") } }));
}

TEST_F(KeyringSettingsTest, TheStoredCodesSurviveEveryPathThroughTheSettingsWindow)
{
    const std::map<std::string, std::string> kept { { "movra", secretOf("alice-SECRET", "4711-SECRET") } };
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);

    // Use these codes, then Ask: Save keeps the codes where they are.
    ASSERT_EQ(configure("movra", "show\nclick 200\nprint\n").exitStatus, 0);
    EXPECT_EQ(stored("movra", "Prm"), "1");
    EXPECT_EQ(keyringCodes(), kept);

    // Ask, then Use these codes: the window shows the codes the keyring holds, and Save keeps them.
    ProgramRun shown = runProgram({ PRINTDIALOG_PATH, "--configure", "--printer", "movra", "--server", gServer->socket(), "--settings-dir", folder(),
                                      "--script", "-" },
        in(Session::WithKeyring, "show\nclick 300\ndump\ncancel\n"));
    size_t field = shown.output.find("control 302 edit-text visible enabled 0 ");
    ASSERT_NE(field, std::string::npos) << shown.output;
    EXPECT_NE(shown.output.substr(field, shown.output.find('\n', field) - field).find("\"alice-SECRET\""), std::string::npos) << shown.output;
    ASSERT_EQ(configure("movra", "show\nclick 300\nprint\n").exitStatus, 0);
    EXPECT_EQ(stored("movra", "Prm"), "0");
    EXPECT_EQ(stored("movra", "Kept"), "keyring");
    EXPECT_EQ(keyringCodes(), kept);

    // A keyring that stops answering while the window is open fails the Save, and nothing is lost.
    std::string before = fileContents(storedFile("movra"));
    RunningProgram window({ PRINTDIALOG_PATH, "--configure", "--printer", "movra", "--server", gServer->socket(), "--settings-dir", folder(),
                              "--timeout", "1", "--script", "-" },
        in(Session::WithKeyring, ""));
    ASSERT_TRUE(window.waitForErrors("conceal accounting value")) << "the window opened, the codes read";
    m_session.pauseKeyring();
    window.type("show\nprint\n");
    ProgramRun unanswered = checked(window.finish());
    m_session.resumeKeyring();
    EXPECT_EQ(unanswered.exitStatus, 2) << unanswered.errors;
    EXPECT_NE(unanswered.errors.find("printdialog: the settings of queue movra were not stored: the codes for movra on " + serverKey()
                  + " were not stored in the keyring: the Secret Service did not answer within 1 s\n"),
        std::string::npos)
        << unanswered.errors;
    EXPECT_EQ(fileContents(storedFile("movra")), before);
    EXPECT_EQ(keyringCodes(), kept);
}

TEST_F(KeyringSettingsTest, CodesStoredInTheFileBeforeMoveToTheKeyringOnTheFirstSave)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes, {}, Session::WithoutBus).exitStatus, 0);
    ASSERT_EQ(stored("movra", "UID"), "alice-SECRET") << "kept as before the keyring";
    EXPECT_EQ(windowLine("movra"), "\"The default codes are in " + storedFile("movra") + "; Save moves them to the desktop's keyring.\"");

    // A print goes with them, and the settings stored after it move them.
    ProgramRun first = print("movra", "print\n");
    ASSERT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(first.output), "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> { { "movra", secretOf("alice-SECRET", "4711-SECRET") } }));
    EXPECT_EQ(stored("movra", "UID"), "");
    EXPECT_EQ(stored("movra", "AID"), "");
    EXPECT_EQ(stored("movra", "Kept"), "keyring");
    EXPECT_EQ(m_home.filesHolding("alice-SECRET"), std::vector<std::string> {});

    ProgramRun second = print("movra", "print\n");
    ASSERT_EQ(second.exitStatus, 0) << second.errors;
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(second.output), "job-account-id"), "4711-SECRET") << "now from the keyring";
}

TEST_F(KeyringSettingsTest, AMoveTheKeyringRefusesLeavesTheFileWithItsCodes)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes, {}, Session::WithoutBus).exitStatus, 0);
    std::string before = fileContents(storedFile("movra"));
    ASSERT_TRUE(m_session.lockDefaultKeyring());

    // The unlock prompt comes up, and is dismissed: the job prints all the same, and nothing is lost.
    ProgramRun run = print("movra", "print\n");
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(run.output), "job-accounting-user-id"), "alice-SECRET");
    EXPECT_NE(run.errors.find("printdialog: warning: the settings of queue movra were not stored: the codes for movra on " + serverKey()
                  + " were not stored in the keyring: the default keyring is locked, and the unlock prompt was dismissed\n"),
        std::string::npos)
        << run.errors;
    EXPECT_EQ(fileContents(storedFile("movra")), before);
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> {}));
}

TEST_F(KeyringSettingsTest, WithoutASessionBusTheCodesStayInTheFileAndALineSaysWhere)
{
    ProgramRun run = configure("movra", kSaveDefaultCodes, {}, Session::WithoutBus);
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "saved\n");
    EXPECT_NE(run.errors.find("printdialog: warning: the default codes of queue movra are kept in " + storedFile("movra")
                  + ", readable by you alone, for want of a keyring: there is no session bus (DBUS_SESSION_BUS_ADDRESS is not set, and the "
                    "runtime folder holds no bus socket)\n"),
        std::string::npos)
        << run.errors;
    EXPECT_EQ(stored("movra", "UID"), "alice-SECRET");
    EXPECT_EQ(stored("movra", "Kept"), "");
    struct stat info;
    ASSERT_EQ(stat(storedFile("movra").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(windowLine("movra", Session::WithoutBus),
        "\"No keyring answers on this desktop, so the default codes are kept in " + storedFile("movra") + ", which only you can read.\"");
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> {})) << "the keyring of another session is never asked";
}

TEST_F(KeyringSettingsTest, AKeyringThatCannotTakeTheCodesGetsNoFileInItsPlaceUnlessTheDesktopHasNone)
{
    // Chosen on a desktop without a session bus: nothing is written.
    ProgramRun chosen = configure("movra", kSaveDefaultCodes, { "--keep-codes", "keyring" }, Session::WithoutBus);
    EXPECT_TRUE(endsInOneClearError(chosen,
        "printdialog: the settings of queue movra were not stored: you chose the desktop's keyring for the codes, and there is no session bus"));
    EXPECT_FALSE(std::filesystem::exists(storedFile("movra")));

    // A Secret Service that does not answer in time, chosen or not: there is one, and the codes wait for it.
    m_session.pauseKeyring();
    for (bool chosen : { true, false }) {
        SCOPED_TRACE(chosen ? "chosen" : "not chosen");
        std::vector<std::string> more = { "--timeout", "1" };
        if (chosen)
            more.insert(more.end(), { "--keep-codes", "keyring" });
        ProgramRun run = configure("movra", kSaveDefaultCodes, more);
        EXPECT_TRUE(endsInOneClearError(run, "the Secret Service did not answer within 1 s"));
        EXPECT_EQ(run.output.find("saved"), std::string::npos) << run.output;
        EXPECT_FALSE(std::filesystem::exists(storedFile("movra")));
    }
    m_session.resumeKeyring();
}

TEST_F(KeyringSettingsTest, APersonMayKeepTheCodesInTheFileAndTakeThemBack)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);

    // Chosen on the command line: Save moves them out of the keyring into the file.
    ProgramRun toFile = configure("movra", "print\n", { "--keep-codes", "file" });
    ASSERT_EQ(toFile.exitStatus, 0) << toFile.errors;
    EXPECT_EQ(toFile.errors.find("printdialog:"), std::string::npos) << toFile.errors;
    EXPECT_EQ(stored("movra", "UID"), "alice-SECRET");
    EXPECT_EQ(stored("movra", "Kept"), "file");
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> {}));
    EXPECT_EQ(windowLine("movra"), "\"The default codes are kept in " + storedFile("movra") + ", which only you can read, as you chose.\"");

    // The choice stays, saved again or printed with.
    ASSERT_EQ(configure("movra", "print\n").exitStatus, 0);
    ASSERT_EQ(print("movra", "print\n").exitStatus, 0);
    EXPECT_EQ(stored("movra", "Kept"), "file");
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> {}));

    // The settings window's check box takes them back to the keyring.
    ProgramRun back = configure("movra", "click 2001\nprint\n");
    ASSERT_EQ(back.exitStatus, 0) << back.errors;
    EXPECT_EQ(stored("movra", "UID"), "");
    EXPECT_EQ(stored("movra", "Kept"), "keyring");
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> { { "movra", secretOf("alice-SECRET", "4711-SECRET") } }));
}

TEST_F(KeyringSettingsTest, ForgettingAQueueRemovesItsSettingsAndItsKeyringItem)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);
    ASSERT_EQ(configure("movra-hold", kSaveDefaultCodes).exitStatus, 0);

    ProgramRun run = checked(runProgram(
        { PRINTDIALOG_PATH, "--configure", "--forget", "--printer", "movra", "--server", gServer->socket(), "--settings-dir", folder() },
        in(Session::WithKeyring, "")));
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "forgotten\n");
    EXPECT_FALSE(std::filesystem::exists(storedFile("movra")));
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> { { "movra-hold", secretOf("alice-SECRET", "4711-SECRET") } }))
        << "another queue keeps its own";

    // The settings window's Forget does the same.
    ProgramRun window = configure("movra-hold", "forget\n");
    ASSERT_EQ(window.exitStatus, 0) << window.errors;
    EXPECT_EQ(window.output, "forgotten\n");
    EXPECT_FALSE(std::filesystem::exists(storedFile("movra-hold")));
    EXPECT_EQ(keyringCodes(), (std::map<std::string, std::string> {}));
}

TEST_F(KeyringSettingsTest, AKeyringItemNotInThisProductsFormatIsRefusedByNameAndNothingIsSent)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);
    // Another program stores its own secret under the queue's attributes, in the item's place.
    ASSERT_TRUE(m_session.addItem("Imported passwords", { { "xdg:schema", kSchema }, { "server", serverKey() }, { "queue", "movra" } }, "alice:4711"));
    std::vector<KeyringEntry> entries = m_session.entries();
    ASSERT_EQ(entries.size(), 1u);
    std::string jobsBefore = lastJobs();

    ProgramRun run = print("movra", "print\n");
    EXPECT_TRUE(endsInOneClearError(run, "the keyring item \"Imported passwords\" (" + entries[0].path + ") has the attributes of the codes for movra on " + serverKey() + ", but its secret is not in this product's format, so it is not used"));
    EXPECT_EQ(lastJobs(), jobsBefore) << "no job was sent";
}

TEST_F(KeyringSettingsTest, AKeyringThatDoesNotAnswerIsGivenUpAtTheTimeout)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);
    m_session.pauseKeyring();
    ProgramRun run = print("movra", "print\n", { "--timeout", "1" });
    m_session.resumeKeyring();
    EXPECT_EQ(run.exitStatus, 2) << run.errors;
    EXPECT_EQ(run.errors, "printdialog: the codes for movra on " + serverKey() + " could not be read from the keyring: the Secret Service did not answer within 1 s\n");
    EXPECT_GE(run.elapsed, 1s);
    EXPECT_LT(run.elapsed, 4s);
}

}
