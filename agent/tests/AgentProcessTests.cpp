// accounting-agent as a person's session runs it, against a private CUPS server with queues that
// hold every new job: jobs printed with lp are released with the stored or typed codes, cancelled,
// or left held for a reason, and every other job is left alone; the agent keeps watching while the
// server restarts, and ends at once when asked. No code ever reaches what it writes.
#include "agent/tests/AgentSessionTest.h"
#include "tests/support/RunningProgram.h"
#include "tests/cups/ServerSubscriptions.h"
#include "tests/support/TestPPDFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class AgentProcess : public AgentSessionTest {
protected:
    static void SetUpTestSuite()
    {
        startHoldingServer(PrivateCupsServer::JobOwners::Authenticated);
        // A holding queue with no driver, whose PPD the server cannot give.
        addHoldingQueue("raw-hold", "");
        // One of another maker's printer that asks for a user code, and a locked print's password.
        addHoldingQueue("lumio-codes-hold", "lumio-codes");
        // One whose PPD declares a code more than the 32 a window holds.
        std::string manyCodes = codeFloodPPD(33);
        manyCodes.insert(manyCodes.find('\n') + 1, "*cupsFilter: \"text/plain 0 accounting-test-filter\"\n");
        if (gServer)
            std::ofstream(gServer->path("many-codes.ppd")) << manyCodes;
        addHoldingQueue("many-codes-hold", "many-codes");
    }
};

TEST_F(AgentProcess, AJobFromLpIsReleasedWithTheStoredDefaultCodes)
{
    configure("movra-hold", kSaveDefaultCodes);
    int job = lp("movra-hold", { "-t", "report.pdf" });
    ASSERT_GT(job, 0);
    EXPECT_EQ(state(job), "pending-held") << "the queue holds it for the agent";
    ProgramRun run = once();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(job, "movra-hold") + "released\n");
    EXPECT_EQ(run.errors, "") << "nothing for the person to act on, and the pane's diagnostics go to the journal";
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "4711-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-hold-until"), "no-hold");
    std::string options = gServer->driverOptions(job);
    for (const char* entry : { "com.movra.Act.trel.On=3", "com.movra.Act.trel.Prm=0", "com.movra.Act.trel.UID=alice-SECRET",
             "com.movra.Act.trel.AID=4711-SECRET", "com.movra.Act.trel.CU=", "com.movra.Act.trel.CA=", "com.movra.Act.trel.AT=" })
        EXPECT_NE(options.find(entry), std::string::npos) << entry << " in " << options;
}

TEST_F(AgentProcess, ThePanesDiagnosticLinesAreShownOnlyWhenAskedFor)
{
    configure("movra-hold", kSaveDefaultCodes);
    int job = lp("movra-hold");
    ProgramRun run = checked(runProgram(agentCommand({ "--once", "--verbose" }), session()));
    EXPECT_EQ(run.output, prefix(job, "movra-hold") + "released\n");
    EXPECT_EQ(run.errors, "conceal user value = 1\nconceal accounting value = 1\n");
}

TEST_F(AgentProcess, WithoutStoredSettingsThePromptAsksAndTheScriptAnswers)
{
    int job = lp("movra-hold");
    ASSERT_GT(job, 0);
    ProgramRun run = once("dump\n" + kAnswerPrompt);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    std::string line = prefix(job, "movra-hold");
    EXPECT_EQ(run.output.rfind(line + "prompt: Accounting\n", 0), 0u) << run.output;
    EXPECT_NE(run.output.find(line + "control - static-text visible enabled 0 20,20,36,340 \"\u201Cdocument.txt\u201D on movra-hold\"\n"), std::string::npos)
        << "the body names the job, for a desktop without title bars: " << run.output;
    EXPECT_NE(run.output.find(line + "control 501 edit-text visible enabled 0 84,128,106,340 (concealed, 0 characters)\n"), std::string::npos)
        << "both codes asked for, concealed: " << run.output;
    EXPECT_NE(run.output.find(line + "control 503 edit-text visible enabled 0 118,128,140,340 (concealed, 0 characters)\n"), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.substr(run.output.size() - (line + "released\n").size()), line + "released\n");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "bob-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "77-SECRET");
    EXPECT_NE(gServer->driverOptions(job).find("com.movra.Act.trel.Prm=1"), std::string::npos);
    EXPECT_NE(access(storedFile("movra-hold").c_str(), F_OK), 0) << "the agent stores nothing of its own";
}

TEST_F(AgentProcess, TheSettingsWindowShowsAndSavesWhatTheAgentDoesWithNothingStored)
{
    // The person opens the queue's accounting settings and saves them as they came up.
    ProgramRun window = checked(runProgram(
        { PRINTDIALOG_PATH, "--configure", "--printer", "movra-hold", "--server", gServer->socket(), "--settings-dir", folder(), "--script", "-" },
        withInput("show\ndump\nprint\n")));
    ASSERT_EQ(window.exitStatus, 0) << window.errors;
    for (const char* shown : { "control 100 popup-button visible enabled 3 ", "control 200 radio-button visible enabled 1 ",
             "control 202 check-box visible enabled 1 ", "control 203 check-box visible enabled 1 " })
        EXPECT_NE(window.output.find(shown), std::string::npos) << "accounting on, the codes asked for, concealed: " << window.output;
    int job = lp("movra-hold");
    ProgramRun run = once();
    EXPECT_EQ(run.output, prefix(job, "movra-hold") + "left held: it needs the prompt, and there is no screen to show it on and no --script to answer it\n")
        << "never released without codes";
    EXPECT_EQ(state(job), "pending-held");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "");
}

TEST_F(AgentProcess, CodesTypedIntoThePromptNeverReachTheStore)
{
    // Prompting on, with default codes stored before: the store keeps those.
    configure("movra-hold", kSaveDefaultCodes);
    configure("movra-hold", "show\nclick 200\nprint\n");
    std::string before = fileContents(storedFile("movra-hold"));
    ASSERT_NE(before.find("alice-SECRET"), std::string::npos);
    int job = lp("movra-hold");
    ProgramRun run = once(kAnswerPrompt);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "bob-SECRET");
    EXPECT_EQ(fileContents(storedFile("movra-hold")), before);
}

TEST_F(AgentProcess, CancelInThePromptCancelsTheJobAndSaysSoOnceTheServerHas)
{
    int job = lp("movra-hold");
    ASSERT_GT(job, 0);
    ProgramRun run = once("click 1001\n");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    std::string line = prefix(job, "movra-hold");
    EXPECT_EQ(run.output, line + "prompt: Accounting\n" + line + "notice: Accounting \u2014 document.txt \u2014 movra-hold: \u201Cdocument.txt\u201D on movra-hold was cancelled; print it again from your program to get the prompt back.\n" + line + "cancelled\n")
        << "the agent's own words say what became of the job";
    EXPECT_EQ(state(job), "canceled");

    // A server that refuses the cancel keeps the job held, and the person reads that it does.
    ASSERT_TRUE(gServer->addQueue("movra-kept", "movra", "refusing-cancels", PrivateCupsServer::JobHold::Indefinite));
    int kept = lp("movra-kept");
    ASSERT_GT(kept, 0);
    ProgramRun refused = once("click 1001\n");
    EXPECT_EQ(refused.exitStatus, 2) << refused.errors;
    std::string keptLine = prefix(kept, "movra-kept");
    std::string notice = keptLine + "notice: Accounting \u2014 document.txt \u2014 movra-kept: \u201Cdocument.txt\u201D on movra-kept was not cancelled: the print server refused (";
    EXPECT_EQ(refused.output.rfind(keptLine + "prompt: Accounting\n" + notice, 0), 0u) << refused.output;
    EXPECT_NE(refused.output.find("). It stays held on the queue.\n" + keptLine + "left held: the server refused to cancel it\n"), std::string::npos)
        << refused.output;
    EXPECT_EQ(refused.output.find("was cancelled"), std::string::npos) << refused.output;
    EXPECT_EQ(state(kept), "pending-held");
    EXPECT_TRUE(gServer->removeQueue("movra-kept"));
}

TEST_F(AgentProcess, MissingDefaultCodesLeaveTheJobHeldUntilTheQueuesSettingsChange)
{
    configure("movra-hold", kSaveNoCodes);
    int job = lp("movra-hold");
    ASSERT_GT(job, 0);
    RunningProgram agent(agentCommand({}), session());
    std::string line = prefix(job, "movra-hold");
    ASSERT_TRUE(agent.waitForOutput(line + "left held: a default code is missing; it is offered again when the queue's settings change\n"));
    EXPECT_EQ(state(job), "pending-held");
    configure("movra-hold", kSaveDefaultCodes);
    ASSERT_TRUE(agent.waitForOutput(line + "released\n"));
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output.rfind(line
                      + "notice: Accounting \u2014 document.txt \u2014 movra-hold: \u201Cdocument.txt\u201D is waiting on the printer's queue movra-hold and "
                        "prints as soon as its codes are stored: Printer Accounting Settings.\n",
                  0),
        0u)
        << "the notice comes first, in the agent's own words: " << run.output;
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
}

TEST_F(AgentProcess, AJobLeftHeldIsOfferedAgainWhenTheAgentStartsAgain)
{
    configure("movra-hold", kSaveNoCodes);
    int job = lp("movra-hold");
    ProgramRun first = once();
    EXPECT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_NE(first.output.find(prefix(job, "movra-hold") + "left held: a default code is missing"), std::string::npos) << first.output;
    ProgramRun second = once();
    EXPECT_NE(second.output.find(prefix(job, "movra-hold") + "left held: a default code is missing"), std::string::npos) << second.output;
    EXPECT_EQ(state(job), "pending-held");
}

TEST_F(AgentProcess, AccountingOffReleasesTheJobWithoutCodes)
{
    configure("movra-hold", kSaveDefaultCodes);
    configure("movra-hold", kSaveAccountingOff);
    int job = lp("movra-hold");
    ProgramRun run = once();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(job, "movra-hold") + "released\n");
    std::string options = gServer->driverOptions(job);
    EXPECT_NE(options.find("com.movra.Act.trel.On=1"), std::string::npos) << options;
    EXPECT_EQ(options.find("com.movra.Act.trel.UID"), std::string::npos) << options;
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "");
}

TEST_F(AgentProcess, AQueueWhosePrinterAsksForCodesGetsThemTypedOrStoredAndNoneWithAccountingOff)
{
    const std::string queue = "lumio-codes-hold";
    int typed = lp(queue, { "-t", "report.pdf" });
    ProgramRun prompted = once("type UserCode \"13579\"\ntype LockedPrintPassword \"24680\"\nclick OK\n");
    EXPECT_EQ(prompted.exitStatus, 0) << prompted.errors;
    EXPECT_NE(prompted.output.find(prefix(typed, queue) + "released\n"), std::string::npos) << prompted.output;
    std::string options = gServer->driverOptions(typed);
    for (const char* option : { "UserCode=Custom.13579", "LockedPrintPassword=Custom.24680", "JobType=LockedPrint" })
        EXPECT_NE(options.find(option), std::string::npos) << option << " in " << options;
    EXPECT_EQ(gServer->jobAttribute(typed, "job-hold-until"), "no-hold");

    // Stored, the user code goes without a question; the password left blank makes no locked print.
    configure(queue, "check prompt off\ntype UserCode \"13579\"\nclick Save\n");
    int stored = lp(queue);
    ProgramRun silent = once();
    EXPECT_EQ(silent.output, prefix(stored, queue) + "released\n") << silent.errors;
    options = gServer->driverOptions(stored);
    EXPECT_NE(options.find("UserCode=Custom.13579"), std::string::npos) << options;
    EXPECT_EQ(options.find("LockedPrint"), std::string::npos) << options;

    configure(queue, "check accounting off\nclick Save\n");
    int plain = lp(queue);
    ProgramRun off = once();
    EXPECT_EQ(off.output, prefix(plain, queue) + "goes as it came: accounting is off for its queue\n" + prefix(plain, queue) + "released\n");
    EXPECT_EQ(gServer->driverOptions(plain).find("UserCode"), std::string::npos) << gServer->driverOptions(plain);
    for (const ProgramRun& run : { prompted, silent, off }) {
        for (const char* code : { "13579", "24680" })
            EXPECT_EQ((run.output + run.errors).find(code), std::string::npos) << code << " in " << run.output << run.errors;
    }
}

TEST_F(AgentProcess, ACodeThePrinterWouldNotTakeIsNeverSent)
{
    const std::string queue = "lumio-codes-hold";
    // Typed: the window takes no OK, and the job waits; the script, stopped there, answers no
    // other job's window with the lines after.
    int typed = lp(queue);
    int next = lp(queue);
    ProgramRun refused = once("type UserCode \"12;rm -rf\"\nclick OK\ntype UserCode \"13579\"\nclick OK\n");
    EXPECT_NE(refused.output.find(prefix(typed, queue) + "left held"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find(prefix(next, queue) + "left held"), std::string::npos) << refused.output;
    EXPECT_EQ((refused.output + refused.errors).find("rm -rf"), std::string::npos) << refused.output << refused.errors;
    EXPECT_EQ(state(typed), "pending-held");
    EXPECT_EQ(state(next), "pending-held");
    gServer->cancelAllJobs();

    // Stored by hand, with a quote that would end the driver's PJL value: left held, never sent.
    std::string settings = fileContents(EXAMPLES_DIR "/settings/user-code.plist");
    settings.replace(settings.find("13579"), 5, "1\"35");
    m_home.addFile("settings/" + queue + ".plist", settings);
    int stored = lp(queue);
    ProgramRun held = once();
    EXPECT_NE(held.output.find(prefix(stored, queue) + "left held: a default code is missing or is not one its printer takes"), std::string::npos)
        << held.output << held.errors;
    EXPECT_EQ(state(stored), "pending-held");
}

TEST_F(AgentProcess, AQueueWhosePrinterAsksForMoreCodesThanAWindowHoldsLeavesItsJobsHeldSayingWhy)
{
    int job = lp("many-codes-hold");
    ProgramRun run = once("click OK\n");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(job, "many-codes-hold") + "left held: its printer asks for 33 codes, more than the 32 a codes window holds\n")
        << run.errors;
    EXPECT_EQ(state(job), "pending-held");
}

TEST_F(AgentProcess, EveryOtherJobIsLeftAsItIs)
{
    for (const char* queue : { "movra-hold", "movra" })
        configure(queue, kSaveDefaultCodes);
    int otherMaker = lp("lumio-hold");
    int carrying = lp("movra-hold", { "-o", "job-accounting-user-id=carol" });
    int othersJob = lp("movra-hold", {}, "nobody");
    int heldOnPurpose = lp("movra", { "-H", "indefinite" });
    ASSERT_GT(otherMaker * carrying * othersJob * heldOnPurpose, 0);
    ProgramRun run = once();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output,
        prefix(otherMaker, "lumio-hold") + "left alone: the Accounting pane does not serve its printer\n" + prefix(carrying, "movra-hold")
            + "left alone: it carries accounting codes already\n" + prefix(heldOnPurpose, "movra")
            + "left alone: it was held on purpose, on a queue that does not hold jobs for accounting\n")
        << "only what a holding queue of a Movra printer held for the user is the agent's";
    for (int job : { otherMaker, carrying, othersJob, heldOnPurpose })
        EXPECT_EQ(state(job), "pending-held") << "job " << job;
    EXPECT_EQ(gServer->jobAttribute(carrying, "job-accounting-user-id"), "carol");

    // A holding queue whose printer cannot be told, as the server gives no PPD for it: its job
    // stays held, and the run says why.
    int noDriver = lp("raw-hold");
    ProgramRun untold = once();
    EXPECT_EQ(untold.exitStatus, 2);
    EXPECT_NE(untold.output.find(prefix(noDriver, "raw-hold") + "left held: its printer's PPD cannot be had\n"), std::string::npos) << untold.output;
    EXPECT_NE(untold.errors.find("accounting-agent: raw-hold: cannot get the printer's PPD: "), std::string::npos) << untold.errors;
    EXPECT_EQ(state(noDriver), "pending-held");
}

TEST_F(AgentProcess, AJobHeldUntilASetTimeWaitsForItsTime)
{
    configure("movra-hold", kSaveDefaultCodes);
    // Half a day from now, in UTC as the server reads it: never the minute the test runs in.
    time_t later = time(nullptr) + 12 * 60 * 60;
    char until[8];
    strftime(until, sizeof until, "%H:%M", gmtime(&later));
    int job = lp("movra-hold", { "-o", std::string("job-hold-until=") + until });
    ASSERT_GT(job, 0);
    ProgramRun run = once();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(state(job), "pending-held");
    EXPECT_EQ(gServer->jobAttribute(job, "job-hold-until"), until);
}

TEST_F(AgentProcess, AnOrdinaryUsersAgentReleasesThatUsersJobsAndNoOneElses)
{
    // The session of nobody, an ordinary local user: its own folder for its settings and lock.
    chmod(m_home.root().c_str(), 0711);
    m_home.addFolder("nobody");
    const passwd* nobody = getpwnam("nobody");
    ASSERT_TRUE(nobody);
    ASSERT_EQ(chown(m_home.path("nobody").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    std::string settings = m_home.path("nobody/settings");
    ProgramOptions asNobody = withInput(kSaveDefaultCodes);
    asNobody.user = "nobody";
    ProgramRun configured = checked(runProgram(
        { PRINTDIALOG_PATH, "--configure", "--printer", "movra-hold", "--server", gServer->socket(), "--settings-dir", settings, "--script", "-" },
        asNobody));
    ASSERT_EQ(configured.exitStatus, 0) << configured.errors;
    int theirs = lp("movra-hold", {}, "nobody");
    int roots = lp("movra-hold");
    ASSERT_GT(theirs * roots, 0);
    ProgramOptions session = this->session();
    session.user = "nobody";
    session.environment.push_back({ "XDG_RUNTIME_DIR", m_home.path("nobody") });
    ProgramRun run = checked(
        runProgram({ AGENT_PATH, "--once", "--server", gServer->socket(), "--settings-dir", settings }, session));
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(theirs, "movra-hold") + "released\n");
    EXPECT_EQ(gServer->jobAttribute(theirs, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(state(roots), "pending-held");
}

TEST_F(AgentProcess, WithNobodyToAskAJobThatNeedsThePromptStaysHeldWithOneLine)
{
    int job = lp("movra-hold");
    ProgramRun run = once();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output,
        prefix(job, "movra-hold") + "left held: it needs the prompt, and there is no screen to show it on and no --script to answer it\n");
    EXPECT_EQ(state(job), "pending-held");
}

TEST_F(AgentProcess, JobsHeldBeforeTheStartAndAfterItAreHandledAndTheEndIsPrompt)
{
    configure("movra-hold", kSaveDefaultCodes);
    int before = lp("movra-hold");
    RunningProgram agent(agentCommand({}), session());
    ASSERT_TRUE(agent.waitForOutput(prefix(before, "movra-hold") + "released\n"));
    int after = lp("movra-hold");
    ASSERT_TRUE(agent.waitForOutput(prefix(after, "movra-hold") + "released\n")) << "told by the server, not found by polling";
    EXPECT_EQ(subscriptionsOf(gServer->socket(), "root").size(), 2u);
    auto stopped = std::chrono::steady_clock::now();
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_TRUE(subscriptionsOf(gServer->socket(), "root").empty()) << "its subscriptions go with it";
    EXPECT_EQ(gServer->jobAttribute(after, "job-accounting-user-id"), "alice-SECRET");
}

TEST_F(AgentProcess, CtrlCEndsItToo)
{
    RunningProgram agent(agentCommand({}), session());
    for (int tries = 0; tries < 100 && subscriptionsOf(gServer->socket(), "root").empty(); ++tries)
        usleep(20000);
    agent.sendSignal(SIGINT);
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_TRUE(subscriptionsOf(gServer->socket(), "root").empty());
}

TEST_F(AgentProcess, ASecondAgentLeavesTheJobsToTheOneAlreadyWatching)
{
    int job = lp("movra-hold");
    ASSERT_GT(job, 0);
    RunningProgram watching(agentCommand({}), session());
    ASSERT_TRUE(watching.waitForOutput(prefix(job, "movra-hold") + "left held: it needs the prompt"));
    // The same server however its socket is spelled.
    std::string spelled = gServer->socket();
    spelled.insert(spelled.rfind('/'), "/.");
    ProgramRun second = checked(runProgram({ AGENT_PATH, "--once", "--server", spelled, "--settings-dir", folder(), "--script", "-" }, session(kAnswerPrompt)));
    EXPECT_EQ(second.exitStatus, 0) << second.errors;
    EXPECT_EQ(second.output, "");
    EXPECT_EQ(second.errors, "accounting-agent: another accounting agent (process " + std::to_string(watching.pid()) + ") handles your jobs on the CUPS server at " + spelled + " already; this one ends\n");
    EXPECT_EQ(state(job), "pending-held") << "left to the agent that watches";
    watching.sendSignal(SIGTERM);
    ProgramRun first = checked(watching.finish());
    EXPECT_EQ(first.exitStatus, 0) << first.errors;
}

TEST_F(AgentProcess, TheAgentWatchesOnWhileTheServerRestartsAndHandlesWhatWasHeldMeanwhile)
{
    configure("movra-hold", kSaveDefaultCodes);
    RunningProgram agent(agentCommand({}), session());
    for (int tries = 0; tries < 100 && subscriptionsOf(gServer->socket(), "root").empty(); ++tries)
        usleep(20000);
    gServer->stop();
    // Long enough for the agent to miss the server and try once in vain.
    usleep(1500000);
    std::string error;
    ASSERT_TRUE(gServer->restart(&error)) << error;
    int job = lp("movra-hold");
    ASSERT_GT(job, 0);
    ASSERT_TRUE(agent.waitForOutput(prefix(job, "movra-hold") + "released\n"));
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    std::string server = "the CUPS server at " + gServer->socket();
    // Why it cannot be reached depends on how far the server had gone, and on what the agent was
    // doing as it went: gone from under a request, its socket gone, refused, or no answer.
    size_t missed = run.errors.find("accounting-agent: " + server + " ");
    ASSERT_NE(missed, std::string::npos) << run.errors;
    std::string line = run.errors.substr(missed, run.errors.find('\n', missed) - missed);
    EXPECT_EQ(line.substr(line.find(';')), "; trying again in 1 s, then less and less often") << line;
    EXPECT_NE(run.errors.find("accounting-agent: " + server + " is back\n"), std::string::npos) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
}

TEST_F(AgentProcess, WithoutARuntimeFolderItsLockLiesInTheSettingsFolderMadeForTheUserAndGoesWithTheAgent)
{
    ProgramOptions options = session();
    options.environment.push_back({ "XDG_RUNTIME_DIR", "" });
    RunningProgram agent(agentCommand({}), options);
    for (int tries = 0; tries < 100 && subscriptionsOf(gServer->socket(), "root").empty(); ++tries)
        usleep(20000);
    struct stat info;
    ASSERT_EQ(stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(folder()))
        kept.push_back(entry.path().filename());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].rfind("accounting-agent-", 0), 0u) << kept[0];
    EXPECT_EQ(kept[0].substr(kept[0].size() - 5), ".lock") << kept[0];
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_TRUE(std::filesystem::is_empty(folder())) << "the lock goes with the agent";
}

TEST_F(AgentProcess, ALockThatAnotherUserCouldTakeIsRefused)
{
    // Another user's file in the lock's place, or one that the user's group may change; and a
    // runtime folder that everyone, or the group, may change.
    std::string runtime = m_home.path("runtime");
    m_home.addFolder("runtime");
    chmod(runtime.c_str(), 0700);
    ProgramOptions options = session();
    options.environment.push_back({ "XDG_RUNTIME_DIR", runtime });
    ProgramRun made = runProgram(agentCommand({ "--once" }), options);
    ASSERT_EQ(made.exitStatus, 0) << made.errors;
    std::string lock;
    for (const auto& entry : std::filesystem::directory_iterator(runtime))
        lock = entry.path();
    ASSERT_FALSE(lock.empty()) << "the lock of the runtime folder stays there";
    const passwd* nobody = getpwnam("nobody");
    ASSERT_TRUE(nobody);
    ASSERT_EQ(chown(lock.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ProgramRun owned = runProgram(agentCommand({ "--once" }), options);
    EXPECT_EQ(owned.exitStatus, 2);
    EXPECT_EQ(owned.errors, "accounting-agent: " + lock + ": the agent's lock file, which belongs to another user, cannot be trusted; this agent ends\n");
    ASSERT_EQ(chown(lock.c_str(), geteuid(), getegid()), 0);
    chmod(lock.c_str(), 0660);
    ProgramRun shared = runProgram(agentCommand({ "--once" }), options);
    EXPECT_EQ(shared.exitStatus, 2);
    EXPECT_EQ(shared.errors, "accounting-agent: " + lock + ": the agent's lock file, which other users may change, cannot be trusted; this agent ends\n");

    ASSERT_EQ(unlink(lock.c_str()), 0);
    // A link in the lock's place is not followed, even to a file of the user's own, which stays
    // as it was.
    m_home.addFile("notes.txt", "mine\n");
    ASSERT_EQ(symlink(m_home.path("notes.txt").c_str(), lock.c_str()), 0);
    EXPECT_EQ(runProgram(agentCommand({ "--once" }), options).exitStatus, 2);
    EXPECT_EQ(fileContents(m_home.path("notes.txt")), "mine\n");
    ASSERT_EQ(unlink(lock.c_str()), 0);
    for (mode_t mode : { 01777, 0770 }) {
        chmod(runtime.c_str(), mode);
        ProgramRun open = runProgram(agentCommand({ "--once" }), options);
        EXPECT_EQ(open.exitStatus, 2) << std::oct << mode;
        EXPECT_EQ(open.errors, "accounting-agent: " + runtime + ": the agent's lock would lie in this folder, which other users may change; this agent ends\n");
    }
}

TEST_F(AgentProcess, AnUpdateWhileItRunsStartsItAgainFromTheNewFilesAndARemovalEndsIt)
{
    configure("movra-hold", kSaveDefaultCodes);
    // The agent runs from an installed tree of its own, which an upgrade or a removal then changes.
    std::string built = std::filesystem::path(AGENT_PATH).parent_path().parent_path();
    TemporaryTree installed;
    ASSERT_EQ(system(("cp -a '" + built + "/bin' '" + built + "/lib' '" + installed.root() + "'").c_str()), 0);
    std::string program = installed.path("bin/accounting-agent");
    RunningProgram agent({ program, "--server", gServer->socket(), "--settings-dir", folder(), "--script", "-" }, session());
    int before = lp("movra-hold");
    ASSERT_TRUE(agent.waitForOutput(prefix(before, "movra-hold") + "released\n"));

    ASSERT_EQ(system(("cp -a '" + program + "' '" + program + ".new' && mv '" + program + ".new' '" + program + "'").c_str()), 0);
    int updated = lp("movra-hold");
    EXPECT_TRUE(agent.waitForOutput(prefix(updated, "movra-hold") + "released\n")) << "the job is handled by the new files";

    // Removed while a prompt waits for its person: the agent ends then and there, not at the next
    // print, and says that the job stays held.
    ASSERT_EQ(unlink(storedFile("movra-hold").c_str()), 0);
    int removed = lp("movra-hold");
    ASSERT_TRUE(agent.waitForOutput(prefix(removed, "movra-hold") + "prompt: Accounting\n"));
    // The agent sleeps once the prompt's process has said what it had to say.
    std::this_thread::sleep_for(500ms);
    auto removal = std::chrono::steady_clock::now();
    ASSERT_EQ(unlink(program.c_str()), 0);
    EXPECT_TRUE(agent.waitForErrors("this agent ends\n"));
    EXPECT_LT(std::chrono::steady_clock::now() - removal, 1s);
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.errors,
        "accounting-agent: its program files were replaced; it starts again from them\naccounting-agent: its program files were removed; this "
        "agent ends\n");
    EXPECT_NE(run.output.find(prefix(removed, "movra-hold") + "left held: its prompt closed as the agent's program files were removed\n"),
        std::string::npos)
        << run.output;
    EXPECT_EQ(state(removed), "pending-held") << "left for an agent that can handle it";
}

// Why a prompt could not come up is shown escaped, whatever it quotes: here the path of an
// installed tree, of a name that holds a terminal's orders, whose screen module is gone.
TEST_F(AgentProcess, WhyThePromptCouldNotComeUpForgesNoLine)
{
    std::string built = std::filesystem::path(AGENT_PATH).parent_path().parent_path();
    TemporaryTree tree;
    const std::string installed = tree.path("opt\x1b]0;owned\x07");
    ASSERT_EQ(system(("mkdir '" + installed + "' && cp -a '" + built + "/bin' '" + built + "/lib' '" + installed + "'").c_str()), 0);
    ASSERT_EQ(unlink((installed + "/lib/accounting-pane/libScreenModule.so").c_str()), 0);
    int job = lp("lumio-codes-hold");
    ASSERT_GT(job, 0);
    ProgramOptions onAScreen = session();
    for (auto& [name, value] : onAScreen.environment) {
        if (name == "DISPLAY")
            value = ":99";
    }
    ProgramRun run = checked(runProgram({ installed + "/bin/accounting-agent", "--once", "--server", gServer->socket(), "--settings-dir", folder() }, onAScreen));
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    const std::string line = prefix(job, "lumio-codes-hold") + "left held: the codes window cannot go on screen: the screen module cannot be loaded: ";
    EXPECT_NE(run.output.find(line + tree.path("opt\\x1B]0;owned\\x07/bin/../lib/accounting-pane/libScreenModule.so: ")), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find('\x1b'), std::string::npos) << run.output;
    EXPECT_EQ(state(job), "pending-held");
}

TEST_F(AgentProcess, AnUnreachableServerIsOneClearError)
{
    ProgramRun run = checked(runProgram(
        { AGENT_PATH, "--once", "--server", m_home.path("nosuch.sock"), "--settings-dir", folder() }, session()));
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "accounting-agent: the CUPS server at " + m_home.path("nosuch.sock") + " cannot be reached: there is no such socket\n");
}

TEST_F(AgentProcess, ABadCommandLineSaysHowToUseIt)
{
    ProgramRun run = runProgram({ AGENT_PATH, "--printer", "movra" }, session());
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.errors,
        "accounting-agent: unknown option \"--printer\"\nusage: accounting-agent [--server HOST:PORT|SOCKET] [--once] [--script FILE|-] "
        "[--settings-dir DIR] [--verbose]\n       accounting-agent --check [--server HOST:PORT|SOCKET] [--settings-dir DIR]\n"
        "       accounting-agent --help | --version\n");
}

TEST_F(AgentProcess, HelpAndVersionAreAnsweredBeforeAnythingIsChecked)
{
    ProgramRun help = runProgram({ AGENT_PATH, "--printer", "movra", "--help" }, session());
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.errors, "");
    EXPECT_EQ(help.output.rfind("usage: accounting-agent ", 0), 0u) << help.output;
    ProgramRun version = runProgram({ AGENT_PATH, "--version" }, session());
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.output, std::string("accounting-agent ") + ACCOUNTING_VERSION + "\n");
}

// A server of many desktops gives out all the subscriptions it allows (100 by default): the
// agent that comes after the last one still releases its person's jobs, by listing them.
class AgentWithoutASystemBus : public AgentSessionTest {
protected:
    static void SetUpTestSuite()
    {
        PrivateCupsServer::Setup setup = holdingServer(PrivateCupsServer::JobOwners::Authenticated);
        setup.systemBus = false;
        startServer(setup);
    }
};

// A desktop without a system bus (a container, a minimal system) hears no bell from its own
// server: a program connecting to the server's socket tells the agent to look, as this
// computer's connections to a server on another machine do, and the agent asks for the server's
// events every second, since a quick print's connection is often over before a look sees it.
TEST_F(AgentWithoutASystemBus, EachJobPrintedHereIsReleasedWithinASecond)
{
    configure("movra-hold", kSaveDefaultCodes);
    ProgramOptions options = session();
    for (auto& [name, value] : options.environment) {
        if (name == "DBUS_SYSTEM_BUS_ADDRESS")
            value = "unix:path=" + m_home.path("no-bus");
    }
    RunningProgram agent(agentCommand({}), options);
    ASSERT_TRUE(agent.waitForErrors("accounting-agent: cannot listen on the system bus: "));
    ASSERT_TRUE(agent.waitForErrors("; jobs sent from this computer are looked for as they go, others are seen within 1 s\n"));
    for (int print = 0; print < 5; ++print) {
        int job = lp("movra-hold");
        auto submitted = std::chrono::steady_clock::now();
        ASSERT_TRUE(agent.waitForOutput(prefix(job, "movra-hold") + "released\n"));
        // A second's pace, and room for a loaded machine: the server's own pace is a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - submitted, 3s) << "print " << print;
    }
    agent.sendSignal(SIGTERM);
    EXPECT_EQ(checked(agent.finish()).exitStatus, 0);
}

class AgentOnAServerWithNoSubscriptionLeft : public AgentSessionTest {
protected:
    static void SetUpTestSuite() { startHoldingServer(PrivateCupsServer::JobOwners::Authenticated, "MaxSubscriptions 1\n"); }
};

TEST_F(AgentOnAServerWithNoSubscriptionLeft, SaysSoAndReleasesTheJobsItListsAtASteadyPace)
{
    ASSERT_GT(subscribeToJobEvents(gServer->socket()), 0) << "another desktop's agent takes the last subscription";
    configure("movra-hold", kSaveDefaultCodes);
    RunningProgram agent(agentCommand({}), session());
    std::string server = "the CUPS server at " + gServer->socket();
    ASSERT_TRUE(agent.waitForErrors("accounting-agent: " + server + " gives no subscription to its events ("));
    ASSERT_TRUE(agent.waitForErrors("): your jobs are listed every 5 s instead; a subscription is asked for again every 600 s\n"));
    int job = lp("movra-hold");
    auto submitted = std::chrono::steady_clock::now();
    ASSERT_TRUE(agent.waitForOutput(prefix(job, "movra-hold") + "released\n"));
    EXPECT_LT(std::chrono::steady_clock::now() - submitted, 6s) << "the next listing finds it";
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
    agent.sendSignal(SIGTERM);
    EXPECT_EQ(checked(agent.finish()).exitStatus, 0);
}

}
